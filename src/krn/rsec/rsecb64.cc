#include "krn/rsec/rsecb64.h"

#include <string.h>

#include "base/bytes/base64_groups.h"
#include "base/bytes/reader.h"

namespace {

// The 64 digits followed by the pad as 65th character.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr int kPadIndex = 64;
constexpr unsigned char kPad = '=';
constexpr uint32_t kGroupBytes = 3;
constexpr uint32_t kGroupChars = 4;

// Position of every byte in the 65-character alphabet, or -1, built at
// compile time: decoding is on the path of every evaluated ticket.
struct ReverseAlphabet {
  signed char index[256];
  constexpr ReverseAlphabet() : index() {
    for (int c = 0; c < 256; ++c) index[c] = -1;
    for (int i = 0; i <= kPadIndex; ++i) index[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};
constexpr ReverseAlphabet kReverse;

int alphabet_index(unsigned char c) { return kReverse.index[c]; }

constexpr Base64GroupTables kGroups = MakeBase64GroupTables([](int c) { return int{kReverse.index[c]}; });

}  // namespace

int32_t rseceb64l_encbase64_length(uint32_t len, uint32_t* out) {
  if (len == 0) return 1;
  if (out == nullptr) return 2;
  const uint64_t n = len;
  uint64_t enc = n + n / 3;
  if (n % 3 == 1) enc += 3;
  if (n % 3 == 2) enc += 2;
  if (enc > UINT32_MAX) return 1;
  *out = static_cast<uint32_t>(enc);
  return 0;
}

int32_t rsecdb64l_decbase64_length(uint32_t len, const unsigned char* text, uint32_t* out) {
  if (len < kGroupChars) return 1;
  if (text == nullptr) return 2;
  if (out == nullptr) return 3;
  uint32_t dec = len - len / kGroupChars;
  ByteReader tail(text, len);
  uint8_t last2 = 0, last = 0;
  if (!tail.skip(len - 2) || !tail.get_u8(&last2) || !tail.get_u8(&last)) return 1;
  if (last == kPad) dec -= last2 == kPad ? 2 : 1;
  *out = dec;
  return 0;
}

int32_t rseceb64_encode_base64(unsigned char* buffer, uint32_t len, uint32_t size, uint32_t* out_len) {
  if (buffer == nullptr || size < kGroupChars) return 1;
  if (len == 0 || size < len) return 2;
  uint32_t enc = 0;
  if (rseceb64l_encbase64_length(len, &enc) != 0 || out_len == nullptr) return 4;
  if (size < enc) return 3;

  // With the data at the end, the text written from the start never
  // overtakes the bytes still to be read (enc <= size).
  uint32_t rd = size - len;
  memmove(buffer + rd, buffer, len);
  uint32_t wr = 0;
  while (rd < size) {
    const uint32_t take = size - rd < kGroupBytes ? size - rd : kGroupBytes;
    uint32_t bits = 0;
    for (uint32_t k = 0; k < kGroupBytes; ++k) {
      bits = (bits << 8) | (k < take ? buffer[rd + k] : 0u);
    }
    rd += take;
    buffer[wr++] = static_cast<unsigned char>(kAlphabet[(bits >> 18) & 63]);
    buffer[wr++] = static_cast<unsigned char>(kAlphabet[(bits >> 12) & 63]);
    buffer[wr++] = take > 1 ? static_cast<unsigned char>(kAlphabet[(bits >> 6) & 63]) : kPad;
    buffer[wr++] = take > 2 ? static_cast<unsigned char>(kAlphabet[bits & 63]) : kPad;
  }
  *out_len = enc;
  return 0;
}

int32_t rsecdb64_decode_base64(unsigned char* buffer, uint32_t len, uint32_t* out_len) {
  if (buffer == nullptr || len < kGroupChars) return 1;
  if (out_len == nullptr) return 2;
  uint32_t dec = 0;
  if (rsecdb64l_decbase64_length(len, buffer, &dec) != 0) return 1;

  // Writing three bytes per four characters read keeps the write position
  // behind the read position.
  uint32_t wr = 0;
  uint32_t bits = 0;
  uint32_t digits = 0;
  ByteReader in(buffer, len);
  // Whole groups of four digits; the first group holding a pad or a foreign
  // character is left to the loop below.
  const uint8_t* text = nullptr;
  const size_t whole = in.remaining() / kGroupChars;
  ByteReader ahead = in;
  ahead.get_bytes(whole * kGroupChars, &text);
  size_t done = 0;
  for (; done < whole; ++done) {
    const uint8_t* g = text + done * kGroupChars;
    bits = Base64GroupBits(kGroups, g);
    if ((bits & kNotBase64Digit) != 0) break;
    buffer[wr] = static_cast<unsigned char>(bits >> 16);
    buffer[wr + 1] = static_cast<unsigned char>(bits >> 8);
    buffer[wr + 2] = static_cast<unsigned char>(bits);
    wr += 3;
  }
  in.skip(done * kGroupChars);
  bits = 0;
  for (uint8_t c = 0; in.get_u8(&c);) {
    const int v = alphabet_index(c);
    if (v < 0) return 3;
    if (v == kPadIndex) break;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++digits == kGroupChars) {
      buffer[wr++] = static_cast<unsigned char>(bits >> 16);
      buffer[wr++] = static_cast<unsigned char>(bits >> 8);
      buffer[wr++] = static_cast<unsigned char>(bits);
      bits = 0;
      digits = 0;
    }
  }
  // An unfinished group: two digits carry one byte, three carry two.
  if (digits == 2) {
    buffer[wr++] = static_cast<unsigned char>(bits >> 4);
  } else if (digits == 3) {
    buffer[wr++] = static_cast<unsigned char>(bits >> 10);
    buffer[wr++] = static_cast<unsigned char>(bits >> 2);
  }
  *out_len = dec;
  return 0;
}
