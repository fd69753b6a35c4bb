// Reaches HRazuParseTicket, the content list operations (HRazuContentNew,
// HRazuInsertContent, HRazuReleaseContents), HRazuMakeTicketByteStream and
// HRazuExtractSignature on raw bytes. What parses is built again: with
// strictly ascending identifiers, version 2 and a 7-bit code page the signed
// part comes back byte for byte; in every case the built stream parses to
// the same list.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "sec/tavrisso/ticketstream.h"

namespace {

bool same_lists(ContentList a, ContentList b) {
  for (; a && b; a = a->pNextCtnt, b = b->pNextCtnt) {
    if (a->InfoId != b->InfoId || a->iContentLBytes != b->iContentLBytes ||
        memcmp(a->ByteContent, b->ByteContent, sizeof a->ByteContent) != 0)
      return false;
  }
  return a == nullptr && b == nullptr;
}

bool strictly_ascending(ContentList l) {
  for (; l && l->pNextCtnt; l = l->pNextCtnt) {
    if (l->InfoId >= l->pNextCtnt->InfoId) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::vector<unsigned char> in(data, data + size);
  ContentList list = nullptr;
  int32_t processed = 0;
  char cp[kTicketCodepageSize];
  const int32_t rc = HRazuParseTicket(in.data(), static_cast<int32_t>(size), &list, &processed, cp);
  if (rc != 0) {
    if (list != nullptr) abort();
    return 0;
  }
  if (processed < 7 || static_cast<size_t>(processed) > size) abort();
  const unsigned char* sig = nullptr;
  int32_t sig_len = 0;
  if (HRazuExtractSignature(in.data(), static_cast<int32_t>(size), processed, &sig, &sig_len) == 0 &&
      (sig < in.data() || sig + sig_len > in.data() + size))
    abort();

  std::vector<unsigned char> out(static_cast<size_t>(processed));
  int32_t out_len = processed;
  if (HRazuMakeTicketByteStream(list, cp, out.data(), &out_len) != 0) abort();
  bool seven_bit = true;
  for (char c : cp) seven_bit = seven_bit && (static_cast<unsigned char>(c) < 0x80);
  if (strictly_ascending(list) && in[0] == kTicketVersion && seven_bit &&
      (out_len != processed - 1 || memcmp(out.data(), in.data(), static_cast<size_t>(out_len)) != 0))
    abort();

  out.resize(static_cast<size_t>(out_len));
  out.push_back(cIUnitSgn);
  ContentList again = nullptr;
  int32_t processed2 = 0;
  if (HRazuParseTicket(out.data(), static_cast<int32_t>(out.size()), &again, &processed2, cp) != 0 ||
      processed2 != processed)
    abort();
  // Equal identifiers swap places on every pass; two passes restore them.
  if (strictly_ascending(list) && !same_lists(list, again)) abort();
  HRazuReleaseContents(&again);
  HRazuReleaseContents(&list);
  return 0;
}
