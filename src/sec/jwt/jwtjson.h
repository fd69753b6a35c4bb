// Values read out of a tokenized token part: byte ranges, names and
// claim numbers, all bounded by the part they come from.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "base/bytes/reader.h"
#include "sec/jwt/jwtparse.h"

namespace jwtjson {

// A byte range inside a decoded part; `seen` tells an empty value from none.
struct Range {
  const unsigned char* p = nullptr;
  size_t n = 0;
  bool seen = false;
};

// Equality of a few bytes with a name, written out: claim and header names
// are three to five bytes long, and a call to memcmp costs more than that.
inline bool same_name(const unsigned char* p, const char* lit, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != static_cast<unsigned char>(lit[i])) return false;
  return true;
}

// One tokenized JSON part.
struct Json {
  const unsigned char* data;
  size_t len;
  const jwtok_t* toks;
  int32_t count;

  Range range(int32_t i) const {
    ByteReader v;
    const jwtok_t& t = toks[i];
    Range r;
    if (t.begin < 0 || t.end < t.begin ||
        !ByteReader(data, len).view(static_cast<size_t>(t.begin), static_cast<size_t>(t.end - t.begin), &v))
      return r;
    r.p = v.data();
    r.n = v.remaining();
    r.seen = true;
    return r;
  }
  // The first bytes of token `i` equal `lit`; the token's own length is not looked at.
  bool starts(int32_t i, const char* lit, size_t n) const {
    ByteReader v;
    return toks[i].begin >= 0 && ByteReader(data, len).view(static_cast<size_t>(toks[i].begin), n, &v) &&
           same_name(v.data(), lit, n);
  }
  bool is(int32_t i, const char* lit, size_t n) const {
    const Range r = range(i);
    return r.n == n && same_name(r.p, lit, n);
  }
  // An object as first token that covers every byte of the part.
  bool whole_object() const {
    return count > 0 && toks[0].type == JWT_OBJECT && toks[0].begin == 0 &&
           static_cast<size_t>(toks[0].end) == len;
  }
};

inline bool same(const Range& a, const Range& b) { return a.n == b.n && (a.n == 0 || memcmp(a.p, b.p, a.n) == 0); }

// A claim number: at most its first 63 characters, read as a decimal
// number as strtol does (a quoted number included).
int64_t read_number(const Range& r);

}  // namespace jwtjson
