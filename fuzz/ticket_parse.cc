// Reaches HRazuParseTicket, the content list operations (HRazuContentNew,
// HRazuInsertContent, HRazuReleaseContents), HRazuMakeTicketByteStream and
// HRazuExtractSignature on raw bytes. What parses is built again, and the
// built signed part is a fixed point of parse and build; without duplicate
// identifiers it parses to the same list.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "sec/tavrisso/engine/byte_stream.h"

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

// The signed part of `list`; it is always one byte shorter than the
// processed count of the stream it came from.
std::vector<unsigned char> build(ContentList list, const char* cp, int32_t processed) {
  std::vector<unsigned char> out(static_cast<size_t>(processed));
  int32_t len = processed;
  if (HRazuMakeTicketByteStream(list, cp, out.data(), &len) != 0 || len != processed - 1) abort();
  out.resize(static_cast<size_t>(len));
  return out;
}

bool reparse(std::vector<unsigned char> signed_part, ContentList* list, char* cp, int32_t processed) {
  signed_part.push_back(cIUnitSgn);
  int32_t processed2 = 0;
  return HRazuParseTicket(signed_part.data(), static_cast<int32_t>(signed_part.size()), list,
                          &processed2, cp) == 0 &&
         processed2 == processed;
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

  // The signed part comes out as long as it went in; built again from its
  // own parse it stays the same bytes. Equal identifiers swap places on
  // every pass, so with duplicates two passes restore the bytes.
  std::vector<unsigned char> first = build(list, cp, processed);
  ContentList again = nullptr;
  if (!reparse(first, &again, cp, processed)) abort();
  std::vector<unsigned char> second = build(again, cp, processed);
  if (!strictly_ascending(list)) {
    HRazuReleaseContents(&again);
    if (!reparse(second, &again, cp, processed)) abort();
    second = build(again, cp, processed);
  } else if (!same_lists(list, again)) {
    abort();
  }
  if (second != first) abort();
  HRazuReleaseContents(&again);
  HRazuReleaseContents(&list);
  return 0;
}
