// Fixed-field text routines of the ticket engine: blank-padded fields of n
// characters and bounded copies that never truncate silently.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Copies the blank-padded field `src` of `n` characters into `dst` (room for
// n + 1), trailing blanks removed, zero-terminated. Returns dst.
char* strzcpy(char* dst, const char* src, size_t n);

// Length of the blank-padded field of `n` characters without trailing blanks.
size_t strflen(const char* field, size_t n);

// 0 when the trimmed field and the trimmed zero-terminated `text` have the
// same length and characters; otherwise the sign of the first difference
// (a shorter text counts as smaller).
int strfcmp(const char* field, size_t n, const char* text);

// Copies `src` with its terminator into `dst` of `dstSize` bytes. When it
// does not fit, `dst` is left empty (when dstSize > 0) and -1 is returned;
// 0 otherwise.
int strcpy_sRFB(char* dst, size_t dstSize, const char* src);

// Copy rule for texts returned to callers: copies from `src` until a zero
// byte, `srcLen` bytes or `capacity` is reached; returns the length up to the
// last character that is not a blank and writes a zero there when it is
// below the capacity (an exactly fitting value has no terminator).
int32_t strz2cpyU(unsigned char* dst, int32_t capacity, const unsigned char* src, int32_t srcLen);
