// Reaches jwtParse on arbitrary bytes, with a token array of a size the
// input picks and without one. Invariants: counting alone gives the same
// number as tokenizing, and every token is a range inside the input whose
// parent comes before it; whatever the result, no token handed out shows
// an end below -1 (open containers end at -1).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "sec/jwt/jwtparse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t cap = data[0];
  const char* json = reinterpret_cast<const char*>(data + 1);
  const size_t n = size - 1;
  std::vector<jwtok_t> toks(cap + 1);
  jwt_parser p;
  jwtInit(&p);
  const int32_t r = jwtParse(&p, json, n, toks.data(), cap);
  for (uint32_t i = 0; i < p.toknext; ++i)
    if (toks[i].end < -1) abort();
  if (r >= 0) {
    jwtInit(&p);
    if (jwtParse(&p, json, n, nullptr, 0) != r) abort();
    for (int32_t i = 0; i < r; ++i) {
      const jwtok_t& t = toks[i];
      if (t.begin < 0 || t.end < t.begin || static_cast<size_t>(t.end) > n) abort();
      if (t.parent >= i) abort();
    }
  } else if (r < -3) {
    abort();
  }
  return 0;
}
