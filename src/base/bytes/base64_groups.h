// Whole Base64 groups in four lookups: for each place in a group of four
// characters, every digit's six bits already shifted to that place in the
// group's 24-bit value. A character that is no digit carries
// kNotBase64Digit, which the OR of the four keeps.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr uint32_t kNotBase64Digit = 1u << 31;
constexpr size_t kBase64GroupChars = 4;

struct Base64GroupTables {
  uint32_t at[kBase64GroupChars][256];
};

// `digit(c)` is the value 0..63 of character c; anything else is no digit.
template <typename DigitOf>
constexpr Base64GroupTables MakeBase64GroupTables(DigitOf digit) {
  Base64GroupTables t{};
  for (size_t k = 0; k < kBase64GroupChars; ++k)
    for (int c = 0; c < 256; ++c) {
      const int v = digit(c);
      t.at[k][c] = v < 0 || v > 63 ? kNotBase64Digit
                                   : static_cast<uint32_t>(v) << (6 * (kBase64GroupChars - 1 - k));
    }
  return t;
}

// The 24 bits of the group at `g`, or a value with kNotBase64Digit set.
inline uint32_t Base64GroupBits(const Base64GroupTables& t, const uint8_t* g) {
  return t.at[0][g[0]] | t.at[1][g[1]] | t.at[2][g[2]] | t.at[3][g[3]];
}
