// Arbitrary bytes through the content conversion: _ConvertCodepages between
// UTF-8 and 1100 and between UTF-8 and a code page chosen by the first byte,
// HRazuConvertContent on a node, HRazuGetUTFEncodedContent, and the UTF-8
// helpers UcnToUtf8nCP / Utf8nToUcnCP, all reaching rscpCConvert and the C
// library's decoders. Output buffers are heap blocks of exactly their size,
// so any write past the output end is caught; counts must stay within them,
// and 1100 -> UTF-8 -> 1100 must give the input back.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "krn/rscp/rscp.h"
#include "krn/rscp/rscptab.h"
#include "sec/tavrisso/engine/content_codepage.h"

namespace {

void Check(bool ok) {
  if (!ok) abort();
}

void ConvertInto(const uint8_t* data, size_t size, const char* toCP, const char* fromCP) {
  std::vector<unsigned char> out(kContentMaxBytes);
  int16_t count = -1;
  int32_t rc = _ConvertCodepages(out.data(), out.data() + out.size(), data, data + size, toCP, fromCP,
                                 &count);
  Check(rc == 0 || rc == kConvFailed);
  if (rc == 0) Check(count >= 0 && count <= kContentMaxBytes);
}

void RoundTripLatin1(const uint8_t* data, size_t size) {
  std::vector<unsigned char> utf8(2 * size + 1), back(size + 1);
  unsigned char* o = utf8.data();
  const unsigned char* i = data;
  Check(UcnToUtf8nCP("1100", &o, utf8.data() + utf8.size(), &i, data + size) == RSCP_OK);
  size_t utf8_len = static_cast<size_t>(o - utf8.data());
  o = back.data();
  i = utf8.data();
  Check(Utf8nToUcnCP("1100", &o, back.data() + back.size(), &i, utf8.data() + utf8_len) == RSCP_OK);
  Check(static_cast<size_t>(o - back.data()) == size && (size == 0 || memcmp(back.data(), data, size) == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* cp = kRscpCodepages[data[0] % kRscpCodepageCount].id;
  data++;
  size--;

  ConvertInto(data, size, "1100", "4110");
  ConvertInto(data, size, "4110", "1100");
  ConvertInto(data, size, "4110", cp);
  ConvertInto(data, size, cp, "4110");
  RoundTripLatin1(data, size);

  PCookieContent node = nullptr;
  int16_t len = static_cast<int16_t>(std::min<size_t>(size, kContentMaxBytes));
  Check(HRazuContentNew(data, len, cIUnitUser, &node) == 0);
  int32_t rc = HRazuConvertContent(cp, "4110", node);
  Check(rc == 0 || rc == kRcInvalid);
  Check(node->iContentLBytes >= 0 && node->iContentLBytes <= kContentMaxBytes);
  ContentList list = node;
  HRazuReleaseContents(&list);

  node = nullptr;
  uint16_t text_len = static_cast<uint16_t>(std::min<size_t>(size, 1024));
  if (HRazuGetUTFEncodedContent(&node, reinterpret_cast<const char*>(data), text_len, cIUnitPortalUser, cp) ==
      0) {
    Check(node->iContentLBytes <= kContentMaxBytes);
    list = node;
    HRazuReleaseContents(&list);
  }
  return 0;
}
