// Reaches ReplaceExclMarkAndURLEncoding, rsecdb64l_decbase64_length,
// rsecdb64_decode_base64, HRazuParseTicket and HRazuExtractSignature: the
// path of a received ticket text to its content list, in a buffer of exactly
// the text's size.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "krn/rsec/rsecb64.h"
#include "sec/tavrisso/engine/byte_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kTicketTextMax) return 0;
  std::vector<char> text(data, data + size);
  int32_t n = static_cast<int32_t>(size);
  ReplaceExclMarkAndURLEncoding(text.data(), &n);
  if (n < 0 || static_cast<size_t>(n) > size) abort();
  uint32_t dec = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(text.data());
  if (rsecdb64_decode_base64(bytes, static_cast<uint32_t>(n), &dec) != 0) return 0;
  if (dec > static_cast<uint32_t>(n)) abort();
  ContentList list = nullptr;
  int32_t processed = 0;
  char cp[kTicketCodepageSize];
  if (HRazuParseTicket(bytes, static_cast<int32_t>(dec), &list, &processed, cp) == 0) {
    const unsigned char* sig = nullptr;
    int32_t sig_len = 0;
    HRazuExtractSignature(bytes, static_cast<int32_t>(dec), processed, &sig, &sig_len);
  }
  HRazuReleaseContents(&list);
  return 0;
}
