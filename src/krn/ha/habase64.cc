// Table-driven Base64 decoding: one lookup per character.
#include "krn/ha/habase64.h"

#include <string.h>

#include <algorithm>
#include <initializer_list>

#include "base/bytes/base64_groups.h"
#include "base/bytes/reader.h"

namespace {

constexpr int8_t kNotInAlphabet = -1;
constexpr int8_t kWhiteSpace = -2;
constexpr int8_t kPad = -3;
constexpr size_t kSelectors = 9;
constexpr size_t kGroupChars = 4;

constexpr char kStd[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr char kHex[] = "0123456789ABCDEF";

struct ReverseTables {
  int8_t t[kSelectors][256];
};

constexpr void fill(int8_t* table, const char* alphabet, bool pad) {
  for (int i = 0; alphabet[i] != '\0'; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  for (unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = kWhiteSpace;
  if (pad) table[static_cast<unsigned char>('=')] = kPad;
}

// Built at compile time, so there is nothing to initialise or race on.
constexpr ReverseTables build() {
  ReverseTables r{};
  for (auto& table : r.t)
    for (auto& e : table) e = kNotInAlphabet;
  // Index = selector - 1: b64 b7, b64url b7, b64 utf8, b64url utf8, b64 uc, b64url uc, b16 x3.
  const char* alphabets[kSelectors] = {kStd, kUrl, kStd, kUrl, kStd, kUrl, kHex, kHex, kHex};
  for (size_t i = 0; i < kSelectors; ++i) fill(r.t[i], alphabets[i], i < 6);
  // Hexadecimal digits in either case.
  for (size_t i = 6; i < kSelectors; ++i)
    for (int d = 0; d < 6; ++d) r.t[i][static_cast<unsigned char>('a' + d)] = static_cast<int8_t>(10 + d);
  return r;
}

constexpr ReverseTables kTables = build();

constexpr Base64GroupTables kStdGroups = MakeBase64GroupTables([](int c) { return kTables.t[ALPHABET_B7_BASE64 - 1][c]; });
constexpr Base64GroupTables kUrlGroups =
    MakeBase64GroupTables([](int c) { return kTables.t[ALPHABET_B7_BASE64URL - 1][c]; });

// Decodes whole groups of `groups` from the start while they hold only
// digits; each takes one 4-byte store (three separate byte stores cost a
// third of the decoder's time), so `dst` has a byte of room beyond them.
// Returns how many groups were decoded.
size_t decode_groups(const Base64GroupTables& t, const ByteReader& groups, unsigned char* dst) {
  const uint8_t* g = groups.data();
  const size_t most = groups.remaining() / kGroupChars;
  size_t done = 0;
  for (; done < most; ++done, g += kGroupChars, dst += 3) {
    const uint32_t bits = Base64GroupBits(t, g);
    if (bits & kNotBase64Digit) break;
    const uint32_t bytes = __builtin_bswap32(bits << 8);  // the three bytes first in memory order
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "group words are stored lowest byte first");
    memcpy(dst, &bytes, sizeof bytes);
  }
  return done;
}

}  // namespace

int32_t haDecBase64SB(const void* p_src, size_t p_src_len, int32_t p_alphabet_sel, int32_t p_flags,
                      void* p_dst, size_t p_dst_max, size_t* pp_dst_len,
                      const void** pp_src_stop) {
  if (pp_dst_len) *pp_dst_len = 0;
  const auto* src = static_cast<const unsigned char*>(p_src);
  if (pp_src_stop) *pp_src_stop = src;
  if (src == nullptr && p_src_len != 0) return HA_DEC_NO_SOURCE;
  if (p_alphabet_sel < ALPHABET_B7_BASE64 || p_alphabet_sel > ALPHABET_UTF8_BASE64URL)
    return HA_DEC_BAD_ALPHABET;
  const int8_t* table = kTables.t[p_alphabet_sel - 1];
  const bool url = p_alphabet_sel == ALPHABET_B7_BASE64URL || p_alphabet_sel == ALPHABET_UTF8_BASE64URL;
  const Base64GroupTables* group_tables = url ? &kUrlGroups : &kStdGroups;
  const bool lenient = (p_flags & HA_DEC_LENIENT) != 0;
  const bool skip_foreign = lenient && (p_flags & HA_DEC_SKIP_FOREIGN) != 0;
  const bool pad_optional = lenient && (p_flags & HA_DEC_PAD_OPTIONAL) != 0;
  auto* dst = static_cast<unsigned char*>(p_dst);
  if (dst == nullptr) p_dst_max = 0;

  ByteReader in(src, p_src_len);
  auto consumed = [&] { return p_src_len - in.remaining(); };
  size_t out = 0, group_start = 0, n = 0;
  uint32_t bits = 0;
  auto fail = [&](int32_t rc, size_t at) {
    if (pp_src_stop) *pp_src_stop = src + at;
    return rc;
  };

  bool padded = false;
  uint8_t c = 0;
  for (;;) {
    // Whole groups of four digits with room for their three bytes take
    // one step; anything else goes character by character below.
    // A group's 4-byte store needs one byte of room beyond its three.
    ByteReader groups;
    const size_t room = p_dst_max - out;
    const size_t most = n != 0 || room == 0 ? 0 : std::min(in.remaining() / kGroupChars, (room - 1) / 3);
    if (most > 0 && in.view(0, most * kGroupChars, &groups)) {
      const size_t done = decode_groups(*group_tables, groups, dst + out);
      if (done > 0) {
        out += 3 * done;
        in.skip(done * kGroupChars);
        group_start = consumed();
      }
    }
    if (!in.get_u8(&c)) break;
    const int8_t v = table[c];
    if (v >= 0) {
      bits = (bits << 6) | static_cast<uint32_t>(v);
      if (++n < kGroupChars) continue;
      if (p_dst_max - out < 3) return fail(HA_DEC_DST_TOO_SMALL, group_start);
      dst[out++] = static_cast<unsigned char>(bits >> 16);
      dst[out++] = static_cast<unsigned char>(bits >> 8);
      dst[out++] = static_cast<unsigned char>(bits);
      bits = 0;
      n = 0;
      group_start = consumed();
    } else if (v == kWhiteSpace) {
      if (!lenient) return fail(HA_DEC_BAD_CHAR, group_start);
    } else if (v == kPad) {
      padded = true;
      break;
    } else if (!skip_foreign) {
      return fail(HA_DEC_BAD_CHAR, group_start);
    }
  }

  if (padded || pad_optional) {
    if (n == 2) {
      if (p_dst_max - out < 1) return fail(HA_DEC_DST_TOO_SMALL, group_start);
      dst[out++] = static_cast<unsigned char>(bits >> 4);
      // "xx=" needs its second pad, unless padding is optional anyway.
      if (padded && !in.match_u8('=') && !pad_optional) return fail(HA_DEC_BAD_FINAL, group_start);
    } else if (n == 3) {
      if (p_dst_max - out < 2) return fail(HA_DEC_DST_TOO_SMALL, group_start);
      dst[out++] = static_cast<unsigned char>(bits >> 10);
      dst[out++] = static_cast<unsigned char>(bits >> 2);
    }
  } else if (n != 0) {
    return fail(HA_DEC_BAD_FINAL, group_start);
  }
  if (!lenient && !in.empty()) return fail(HA_DEC_BAD_CHAR, consumed());
  if (pp_dst_len) *pp_dst_len = out;
  if (pp_src_stop) *pp_src_stop = src + consumed();
  return HA_DEC_OK;
}
