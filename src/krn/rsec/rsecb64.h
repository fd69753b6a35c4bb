// In-place Base64 codec of the ticket text: standard alphabet with "="
// padding, bytes and text sharing one caller buffer. Results are 0 or the
// small positive codes named at each function; nothing is ever read or
// written outside [buffer, buffer + size) (encoder) or [buffer, buffer + len)
// (decoder).
#pragma once

#include <stdint.h>

// Base64 length of `len` bytes (the padded length). 1 for a zero length,
// 2 without `out`; also 1 when the length does not fit 32 bits.
int32_t rseceb64l_encbase64_length(uint32_t len, uint32_t* out);

// Decoded length of the Base64 text of `len` characters: len - len/4, less
// one per trailing "=" (at most two). 1 for len below 4, 2 without `text`,
// 3 without `out`.
int32_t rsecdb64l_decbase64_length(uint32_t len, const unsigned char* text, uint32_t* out);

// Encodes the first `len` bytes of the `size`-byte buffer in place; the text
// starts at the buffer's start, without a terminating zero. 1 null buffer or
// size below 4, 2 zero length or size below len, 4 length function failed
// (also for a null `out_len`), 3 size below the encoded length.
int32_t rseceb64_encode_base64(unsigned char* buffer, uint32_t len, uint32_t size, uint32_t* out_len);

// Decodes the `len`-character text in place from the buffer's start; a pad
// ends decoding. `out_len` gets the decoded length computed from the text's
// length and trailing pads. 1 null buffer or len below 4, 2 without
// `out_len`, 3 a character outside the alphabet.
int32_t rsecdb64_decode_base64(unsigned char* buffer, uint32_t len, uint32_t* out_len);
