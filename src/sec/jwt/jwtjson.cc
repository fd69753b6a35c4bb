// Claim numbers read as strtol reads them, without its copy for the usual
// short run of digits.
#include <stdlib.h>
#include <string.h>

#include "sec/jwt/jwtjson.h"

namespace jwtjson {
namespace {
constexpr size_t kMaxNumberChars = 63;
constexpr size_t kPlainDigits = 18;  // below 10^18, far from the 64-bit limit
}  // namespace

// A claim number: at most its first 63 characters, read as a decimal
// number as strtol does (a quoted number included).
int64_t read_number(const Range& r) {
  const size_t n = r.n < kMaxNumberChars ? r.n : kMaxNumberChars;
  // The usual claim is a plain run of digits too short to overflow: strtol
  // would read it to the same value, so it is read here without the copy.
  const ByteReader in(r.p, n);
  const uint8_t* p = in.data();
  const size_t plain = in.remaining() < kPlainDigits ? in.remaining() : kPlainDigits;
  int64_t v = 0;
  size_t digits = 0;
  for (unsigned d = 0; digits < plain && (d = p[digits] - unsigned{'0'}) <= 9; ++digits) v = v * 10 + d;
  uint8_t next = 0;
  if (digits > 0 && !(in.peek_at(digits, &next) && next >= '0' && next <= '9')) return v;
  char buf[kMaxNumberChars + 1];
  if (n) memcpy(buf, r.p, n);
  buf[n] = '\0';
  return strtol(buf, nullptr, 10);
}

}  // namespace jwtjson
