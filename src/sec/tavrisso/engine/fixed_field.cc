#include "sec/tavrisso/engine/fixed_field.h"

#include <string.h>

size_t strflen(const char* field, size_t n) {
  if (field == nullptr) return 0;
  while (n > 0 && field[n - 1] == ' ') --n;
  return n;
}

char* strzcpy(char* dst, const char* src, size_t n) {
  if (dst == nullptr) return dst;
  const size_t len = strflen(src, n);
  if (len) memcpy(dst, src, len);
  dst[len] = '\0';
  return dst;
}

int strfcmp(const char* field, size_t n, const char* text) {
  const size_t flen = strflen(field, n);
  const size_t tlen = text ? strflen(text, strlen(text)) : 0;
  const size_t common = flen < tlen ? flen : tlen;
  if (common) {
    const int c = memcmp(field, text, common);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (flen == tlen) return 0;
  return flen < tlen ? -1 : 1;
}

int strcpy_sRFB(char* dst, size_t dstSize, const char* src) {
  if (dst == nullptr || dstSize == 0) return -1;
  const size_t len = src ? strlen(src) : 0;
  if (len + 1 > dstSize) {
    dst[0] = '\0';
    return -1;
  }
  if (len) memcpy(dst, src, len);
  dst[len] = '\0';
  return 0;
}

int32_t strz2cpyU(unsigned char* dst, int32_t capacity, const unsigned char* src, int32_t srcLen) {
  if (dst == nullptr || capacity <= 0) return 0;
  int32_t i = 0;
  int32_t used = 0;
  if (src != nullptr) {
    for (; i < srcLen && i < capacity && src[i] != 0; ++i) {
      dst[i] = src[i];
      if (src[i] != ' ') used = i + 1;
    }
  }
  if (used < capacity) dst[used] = 0;
  return used;
}
