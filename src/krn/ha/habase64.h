// General Base64 decoder between separate source and destination buffers,
// standard and URL-safe alphabets (RFC 4648 sections 4 and 5), with
// selectable strictness.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Alphabet selector; B7 = 7-bit bytes, UTF8 = UTF-8 bytes, UC = the
// library's text characters. haDecBase64SB takes 1 to 4.
enum ha_alphabet_e : int32_t {
  ALPHABET_B7_BASE64 = 1,
  ALPHABET_B7_BASE64URL = 2,
  ALPHABET_UTF8_BASE64 = 3,
  ALPHABET_UTF8_BASE64URL = 4,
  ALPHABET_UC_BASE64 = 5,
  ALPHABET_UC_BASE64URL = 6,
  ALPHABET_B7_BASE16 = 7,
  ALPHABET_UTF8_BASE16 = 8,
  ALPHABET_UC_BASE16 = 9,
};

// Strictness flags. Bits 2 and 4 only count together with bit 1.
constexpr int32_t HA_DEC_LENIENT = 1;       // skip white space, tolerate data after the padding
constexpr int32_t HA_DEC_SKIP_FOREIGN = 2;  // skip characters outside the alphabet
constexpr int32_t HA_DEC_PAD_OPTIONAL = 4;  // accept a final group without padding

enum : int32_t {
  HA_DEC_OK = 0,
  HA_DEC_NO_SOURCE = -1,
  HA_DEC_BAD_ALPHABET = -2,
  HA_DEC_DST_TOO_SMALL = -3,
  HA_DEC_BAD_CHAR = -4,
  HA_DEC_BAD_FINAL = -5,
};

// Decodes `p_src_len` Base64 bytes into at most `p_dst_max` bytes of
// `p_dst`. `*pp_dst_len` is 0 on failure and the decoded length on success.
// `pp_src_stop`, when given, receives where decoding stopped: the end of
// what was consumed, or the start of the group that holds the fault.
int32_t haDecBase64SB(const void* p_src, size_t p_src_len, int32_t p_alphabet_sel, int32_t p_flags,
                      void* p_dst, size_t p_dst_max, size_t* pp_dst_len,
                      const void** pp_src_stop);
