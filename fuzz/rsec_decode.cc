// Reaches rsecdb64_decode_base64, rsecdb64l_decbase64_length,
// rseceb64_encode_base64 and rseceb64l_encbase64_length. The input is decoded
// in a buffer of exactly its size (ASan catches any overrun); what decodes is
// encoded again and must decode back to the same bytes.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "krn/rsec/rsecb64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::vector<unsigned char> buf(data, data + size);
  uint32_t dec = 0;
  if (rsecdb64_decode_base64(buf.data(), static_cast<uint32_t>(size), &dec) != 0 || dec == 0) return 0;
  if (dec > size) abort();

  uint32_t enc = 0;
  if (rseceb64l_encbase64_length(dec, &enc) != 0) abort();
  std::vector<unsigned char> text(buf.begin(), buf.begin() + dec);
  text.resize(enc);
  uint32_t text_len = 0;
  if (rseceb64_encode_base64(text.data(), dec, enc, &text_len) != 0 || text_len != enc) abort();
  uint32_t back = 0;
  if (rsecdb64_decode_base64(text.data(), text_len, &back) != 0 || back != dec) abort();
  if (memcmp(text.data(), buf.data(), dec) != 0) abort();
  return 0;
}
