// Reaches haDecBase64SB with every alphabet selector and flag set on
// arbitrary bytes. Invariants: nothing is read or written outside the
// buffers (the destination is a heap block of exactly its capacity), a
// failure leaves the length 0, and the stop position lies in the source.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "krn/ha/habase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t alphabet = data[0] % 6;  // 0 and 5 are rejected
  const int32_t flags = data[1] & 7;
  const uint8_t* src = data + 2;
  const size_t n = size - 2;
  for (size_t cap : {n, n * 3 / 4, size_t{1}}) {
    std::vector<uint8_t> dst(cap);
    size_t len = 12345;
    const void* stop = nullptr;
    const int32_t rc = haDecBase64SB(src, n, alphabet, flags, dst.data(), cap, &len, &stop);
    const auto* s = static_cast<const uint8_t*>(stop);
    if (s < src || s > src + n) abort();
    if (rc != 0 && len != 0) abort();
    if (rc == 0 && (len > cap || len > (n + 3) / 4 * 3)) abort();
  }
  return 0;
}
