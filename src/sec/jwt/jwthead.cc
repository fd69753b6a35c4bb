// Header facts: "alg", "typ", "crit" and "kid" out of the tokenized header,
// with the last header of each thread kept.
#include "sec/jwt/jwthead.h"

#include <string.h>

#include "sec/jwt/jwt.h"
#include "sec/jwt/jwtalg.h"
#include "sec/jwt/jwtparse.h"

namespace {
using jwtjson::Json;
using jwtjson::Range;
using jwtjson::same;

struct AlgRow {
  const char* name;
  JWT_ALG_TYPE alg;
  const char* hash;
};
// Tried in this order; the first five bytes of the value decide. The
// algorithms added later (ES, PS, EdDSA) are matched by their whole name.
constexpr AlgRow kAlgs[] = {
    {"RS256", JWT_ALG_RS256, "SHA256"}, {"HS256", JWT_ALG_HS256, "SHA256"},
    {"HS384", JWT_ALG_HS384, "SHA384"}, {"HS512", JWT_ALG_HS512, "SHA512"},
    {"RS384", JWT_ALG_RS384, "SHA384"}, {"RS512", JWT_ALG_RS512, "SHA512"},
};

constexpr size_t kClaimNameLen = 3;
constexpr size_t kAlgNameLen = 5;
constexpr size_t kCritNameLen = 4;

JwtHeaderFacts failed(int32_t rc, const char* error) {
  JwtHeaderFacts f;
  f.rc = rc;
  f.error = error;
  return f;
}

// Reads the value of "alg" at token `i`, advancing past it when it names an algorithm.
void read_alg(const Json& h, int32_t* i, JwtHeaderFacts* f) {
  for (const AlgRow& row : kAlgs) {
    if (h.starts(*i, row.name, kAlgNameLen)) {
      f->alg = row.alg;
      f->hash = row.hash;
      ++*i;
      return;
    }
  }
  const Range v = h.range(*i);
  const JWT_ALG_TYPE added = JwtAlgByName(v.p, v.n);
  if (added != JWT_ALG_UNDEFINED) {
    f->alg = added;
    f->hash = nullptr;
    ++*i;
  }
}

// The walk over the header's tokens: names are matched by their first
// three bytes, only "crit" by its whole length.
JwtHeaderFacts walk(const Json& h, bool kid_wanted) {
  JwtHeaderFacts f;
  if (h.count <= 1 || !h.whole_object()) return f;
  for (int32_t i = 1; i < h.count; i++) {
    if (h.toks[i].type != JWT_STRING) continue;
    const bool has_value = i + 1 < h.count;
    if (h.starts(i, "alg", kClaimNameLen)) {
      if (!has_value || h.toks[i + 1].type != JWT_STRING) continue;
      int32_t value = i + 1;
      read_alg(h, &value, &f);
      i = value - 1;
    } else if (h.starts(i, "typ", kClaimNameLen)) {
      if (!has_value) continue;
      if (!h.starts(i + 1, "JWT", kClaimNameLen)) return failed(JWT_RC_HEADER, "JWT signature type is not JWT");
      i++;
    } else if (h.toks[i].parent == 0 && h.is(i, "crit", kCritNameLen)) {
      // RFC 7515 section 4.1.11: "crit" lists extensions the recipient must
      // understand, and this evaluation understands none.
      return failed(JWT_RC_HEADER, "JWT header lists critical extensions (crit), none is supported");
    } else if (h.starts(i, "kid", kClaimNameLen)) {
      if (!has_value) continue;
      const Range v = h.range(i + 1);
      f.select_kid_bad = f.select_kid_bad || h.toks[i + 1].type != JWT_STRING ||
                         (f.select_kid.seen && !same(f.select_kid, v));
      f.select_kid = v;
      if (!kid_wanted) continue;
      if (f.kid.seen && !same(f.kid, v)) return failed(JWT_RC_DUPLICATE, "Invalid JWT attribute KeyId already parsed");
      f.kid = v;
      i++;
    }
  }
  return f;
}

JwtHeaderFacts read(const unsigned char* p, size_t n, bool kid_wanted) {
  constexpr uint32_t kHeaderTokens = 128;
  jwtok_t toks[kHeaderTokens];
  jwt_parser parser;
  jwtInit(&parser);
  const int32_t count = jwtParse(&parser, reinterpret_cast<const char*>(p), n, toks, kHeaderTokens);
  if (count <= 0) return failed(JWT_RC_MALFORMED, "Invalid JWT header parsed");
  return walk(Json{p, n, toks, count}, kid_wanted);
}

// `r` moved from `from` to the same offset in `to`.
Range moved(Range r, const unsigned char* from, const unsigned char* to) {
  if (r.p != nullptr) r.p = to + (r.p - from);
  return r;
}

// The last header this thread read, its facts pointing into `bytes`. A
// fixed array, so keeping a header never allocates and the thread's copy
// needs no set-up on first use. Headers are a few dozen bytes; a longer
// one is read but not kept.
constexpr size_t kMaxKeptHeader = 256;
struct KeptHeader {
  unsigned char bytes[kMaxKeptHeader] = {};
  size_t n = 0;
  bool kid_wanted = false;
  bool valid = false;
  JwtHeaderFacts facts;
};
thread_local KeptHeader t_kept;

bool kept_matches(const unsigned char* p, size_t n, bool kid_wanted) {
  return t_kept.valid && t_kept.kid_wanted == kid_wanted && t_kept.n == n && (n == 0 || memcmp(t_kept.bytes, p, n) == 0);
}

JwtHeaderFacts moved_facts(JwtHeaderFacts f, const unsigned char* from, const unsigned char* to) {
  f.kid = moved(f.kid, from, to);
  f.select_kid = moved(f.select_kid, from, to);
  return f;
}

// Keeps the facts of `p` for the next token; a longer header is simply read again.
void keep(const unsigned char* p, size_t n, bool kid_wanted, const JwtHeaderFacts& f) {
  t_kept.valid = false;
  if (n > kMaxKeptHeader) return;
  if (n != 0) memcpy(t_kept.bytes, p, n);
  t_kept.n = n;
  t_kept.kid_wanted = kid_wanted;
  t_kept.facts = moved_facts(f, p, t_kept.bytes);
  t_kept.valid = true;
}

}  // namespace

JwtHeaderFacts JwtReadHeader(const unsigned char* p, size_t n, bool kid_wanted) {
  if (kept_matches(p, n, kid_wanted)) return moved_facts(t_kept.facts, t_kept.bytes, p);
  const JwtHeaderFacts f = read(p, n, kid_wanted);
  keep(p, n, kid_wanted, f);
  return f;
}
