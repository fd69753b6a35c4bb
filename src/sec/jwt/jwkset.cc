// JWK Set parsing over the JWT tokenizer: the set's JSON is tokenized once,
// every key object is read member by member, and each usable key becomes a
// ready key of the crypto library (or, for "oct", secret bytes).
#include "sec/jwt/jwkset.h"

#include <string.h>

#include <mutex>
#include <new>
#include <string_view>

#include "base/bytes/reader.h"
#include "crypto/hash/hashapi.h"
#include "krn/ha/habase64.h"
#include "sec/jwt/jwtalg.h"
#include "sec/jwt/jwtparse.h"

namespace {

constexpr size_t kMaxSetBytes = 1 << 20;  // providers publish a few kilobytes
constexpr int kMinRsaBits = 2048;
constexpr size_t kCacheEntries = 8;
constexpr size_t kMaxCachedInput = 64 * 1024;
// Base64url without padding (RFC 7515 section 2).
constexpr int32_t kB64Flags = HA_DEC_LENIENT | HA_DEC_PAD_OPTIONAL;

// The tokenized set.
struct Doc {
  ByteReader text;
  std::vector<jwtok_t> toks;

  std::string_view str(int32_t i) const {
    const jwtok_t& t = toks[static_cast<size_t>(i)];
    ByteReader v;
    if (t.type != JWT_STRING || t.begin < 0 || t.end < t.begin ||
        !text.view(static_cast<size_t>(t.begin), static_cast<size_t>(t.end - t.begin), &v))
      return {};
    return {reinterpret_cast<const char*>(v.data()), v.remaining()};
  }
  bool is_string(int32_t i) const { return toks[static_cast<size_t>(i)].type == JWT_STRING; }
  int32_t count() const { return static_cast<int32_t>(toks.size()); }

  // Calls f(child) for each direct child of `parent`, in order. The
  // children lie inside the parent's range, so the walk stops there.
  template <typename F>
  void children(int32_t parent, F f) const {
    const int32_t end = toks[static_cast<size_t>(parent)].end;
    for (int32_t j = parent + 1; j < count() && toks[static_cast<size_t>(j)].begin < end; ++j)
      if (toks[static_cast<size_t>(j)].parent == parent) f(j);
  }
  // The value of member key `k`: the token right after it, whose parent it is.
  int32_t value_of(int32_t k) const {
    if (!is_string(k) || toks[static_cast<size_t>(k)].size != 1 || k + 1 >= count() ||
        toks[static_cast<size_t>(k) + 1].parent != k)
      return -1;
    return k + 1;
  }
};

// One object and exactly one value per member; false for anything else.
bool tokenize(const unsigned char* json, size_t len, Doc* d) {
  if (json == nullptr || len == 0 || len > kMaxSetBytes) return false;
  jwt_parser p;
  jwtInit(&p);
  const int32_t n = jwtParse(&p, reinterpret_cast<const char*>(json), len, nullptr, 0);
  if (n <= 0) return false;
  d->text = ByteReader(json, len);
  d->toks.resize(static_cast<size_t>(n));
  jwtInit(&p);
  if (jwtParse(&p, reinterpret_cast<const char*>(json), len, d->toks.data(), static_cast<uint32_t>(n)) != n)
    return false;
  if (d->toks[0].type != JWT_OBJECT) return false;
  for (int32_t i = 1; i < n; ++i)
    if (d->toks[static_cast<size_t>(i)].parent < 0) return false;  // a second value at top level
  return true;
}

bool b64url(std::string_view text, std::vector<unsigned char>* out) {
  out->assign(text.size() * 3 / 4 + 3, 0);
  size_t n = 0;
  if (text.empty() || haDecBase64SB(text.data(), text.size(), ALPHABET_B7_BASE64URL, kB64Flags, out->data(),
                                    out->size(), &n, nullptr) != HA_DEC_OK || n == 0)
    return false;
  out->resize(n);
  return true;
}

// The members of one JWK that matter here; -1 when absent.
struct Members {
  int32_t kty = -1, kid = -1, alg = -1, use = -1, key_ops = -1, crv = -1, n = -1, e = -1, x = -1, y = -1,
          k = -1;
  bool duplicate = false;
};

Members read_members(const Doc& d, int32_t obj) {
  Members m;
  struct Name {
    const char* text;
    int32_t Members::*slot;
  };
  static constexpr Name kNames[] = {{"kty", &Members::kty}, {"kid", &Members::kid}, {"alg", &Members::alg},
                                    {"use", &Members::use}, {"key_ops", &Members::key_ops}, {"crv", &Members::crv},
                                    {"n", &Members::n},     {"e", &Members::e},     {"x", &Members::x},
                                    {"y", &Members::y},     {"k", &Members::k}};
  d.children(obj, [&](int32_t key) {
    const int32_t v = d.value_of(key);
    if (v < 0) {
      m.duplicate = true;  // a member without value: not a sound key
      return;
    }
    for (const Name& nm : kNames) {
      if (d.str(key) != nm.text) continue;
      // RFC 7517 section 4: member names are unique within a JWK.
      if (m.*nm.slot >= 0) m.duplicate = true;
      m.*nm.slot = v;
    }
  });
  return m;
}

// A string member's text; false when absent or of another type.
bool text_of(const Doc& d, int32_t v, std::string_view* out) {
  if (v < 0 || !d.is_string(v)) return false;
  *out = d.str(v);
  return true;
}

// RFC 7517 sections 4.2 and 4.3: "use" and "key_ops", when present, must
// allow verification.
bool allows_verify(const Doc& d, const Members& m) {
  std::string_view use;
  if (m.use >= 0 && !(text_of(d, m.use, &use) && use == "sig")) return false;
  if (m.key_ops < 0) return true;
  if (d.toks[static_cast<size_t>(m.key_ops)].type != JWT_ARRAY) return false;
  bool verify = false;
  d.children(m.key_ops, [&](int32_t op) { verify = verify || (d.is_string(op) && d.str(op) == "verify"); });
  return verify;
}

enum class Read { kUsable, kUnusable, kWeakRsa };

Read read_key(const Doc& d, const Members& m, Jwk* out) {
  std::string_view kty, crv, s;
  if (m.duplicate || !text_of(d, m.kty, &kty)) return Read::kUnusable;
  std::vector<unsigned char> a, b;
  if (kty == "RSA") {
    if (!text_of(d, m.n, &s) || !b64url(s, &a) || !text_of(d, m.e, &s) || !b64url(s, &b)) return Read::kUnusable;
    out->key = JwsKeyFromRsa(a.data(), a.size(), b.data(), b.size());
    if (out->key && JwsKeyBits(*out->key) < kMinRsaBits) return Read::kWeakRsa;
  } else if (kty == "EC" || kty == "OKP") {
    if (!text_of(d, m.crv, &crv) || !text_of(d, m.x, &s) || !b64url(s, &a)) return Read::kUnusable;
    if (kty == "EC") {
      const JwsKeyKind kind = crv == "P-256"   ? JwsKeyKind::kP256
                              : crv == "P-384" ? JwsKeyKind::kP384
                              : crv == "P-521" ? JwsKeyKind::kP521
                                               : JwsKeyKind::kOther;
      if (kind == JwsKeyKind::kOther || !text_of(d, m.y, &s) || !b64url(s, &b)) return Read::kUnusable;
      out->key = JwsKeyFromEc(kind, a.data(), a.size(), b.data(), b.size());
    } else {
      // X25519 and X448 keys agree on secrets; they do not sign.
      const JwsKeyKind kind = crv == "Ed25519" ? JwsKeyKind::kEd25519
                              : crv == "Ed448" ? JwsKeyKind::kEd448
                                               : JwsKeyKind::kOther;
      if (kind == JwsKeyKind::kOther) return Read::kUnusable;
      out->key = JwsKeyFromOkp(kind, a.data(), a.size());
    }
  } else if (kty == "oct") {
    if (!text_of(d, m.k, &s) || !b64url(s, &out->secret)) return Read::kUnusable;
  } else {
    return Read::kUnusable;
  }
  if (!out->key && out->secret.empty()) return Read::kUnusable;
  if (out->key && !JwsKeySound(*out->key)) return Read::kUnusable;
  if (!allows_verify(d, m)) return Read::kUnusable;
  if (m.alg >= 0) {
    // An "alg" we do not know, or one the key cannot serve, leaves the key nothing to do.
    if (!text_of(d, m.alg, &s)) return Read::kUnusable;
    out->alg = JwtAlgByName(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    JwsAlg jws;
    const bool fits = out->key ? JwtAlgJws(out->alg, &jws) && JwsKeyFits(*out->key, jws)
                               : JwtAlgIsHmac(out->alg) && out->secret.size() >= JwtAlgHmacLen(out->alg);
    if (!fits) return Read::kUnusable;
  }
  return Read::kUsable;
}

JwkSetStatus parse(const unsigned char* json, size_t len, JwkSetRef* out) {
  Doc d;
  if (!tokenize(json, len, &d)) return JwkSetStatus::kBadJson;
  int32_t keys = -1;
  bool twice = false;
  d.children(0, [&](int32_t k) {
    if (d.str(k) != "keys") return;
    twice = twice || keys >= 0;
    keys = d.value_of(k);
  });
  if (twice || keys < 0 || d.toks[static_cast<size_t>(keys)].type != JWT_ARRAY) return JwkSetStatus::kBadJson;
  auto set = std::make_shared<JwkSet>();
  bool not_objects = false, weak = false;
  d.children(keys, [&](int32_t obj) {
    if (d.toks[static_cast<size_t>(obj)].type != JWT_OBJECT) {
      not_objects = true;
      return;
    }
    const Members m = read_members(d, obj);
    Jwk jwk;
    std::string_view kid;
    jwk.has_kid = !m.duplicate && text_of(d, m.kid, &kid);
    jwk.kid.assign(kid.data(), kid.size());
    switch (read_key(d, m, &jwk)) {
      case Read::kUsable:
        set->keys.push_back(std::move(jwk));
        break;
      case Read::kUnusable:
        if (jwk.has_kid) set->unusable_kids.push_back(jwk.kid);
        break;
      case Read::kWeakRsa:
        weak = true;
        break;
    }
  });
  if (not_objects) return JwkSetStatus::kBadJson;
  if (weak) return JwkSetStatus::kWeakRsa;
  if (set->keys.empty()) return JwkSetStatus::kNoUsableKey;
  *out = std::move(set);
  return JwkSetStatus::kOk;
}

bool fits(const Jwk& k, JWT_ALG_TYPE alg) {
  if (alg == JWT_ALG_UNDEFINED || (k.alg != JWT_ALG_UNDEFINED && k.alg != alg)) return false;
  // RFC 7518 section 3.2: an HMAC key at least as long as the hash;
  // public keys never serve as HMAC secrets, nor secrets as public keys.
  if (JwtAlgIsHmac(alg)) return !k.key && !k.secret.empty() && k.secret.size() >= JwtAlgHmacLen(alg);
  JwsAlg jws;
  return k.key && JwtAlgJws(alg, &jws) && JwsKeyFits(*k.key, jws);
}

// Recent passed sets by their bytes. The bytes may hold "oct" secrets, so
// they are wiped when an entry goes.
struct CacheEntry {
  std::vector<unsigned char> bytes;
  JwkSetRef set;
  CacheEntry(std::vector<unsigned char> b, JwkSetRef s) : bytes(std::move(b)), set(std::move(s)) {}
  CacheEntry(CacheEntry&&) = default;
  CacheEntry& operator=(CacheEntry&& o) {
    crypt_cleanse(bytes.data(), bytes.size());
    bytes = std::move(o.bytes);
    set = std::move(o.set);
    return *this;
  }
  ~CacheEntry() { crypt_cleanse(bytes.data(), bytes.size()); }
};

struct Cache {
  std::mutex mtx;
  std::vector<CacheEntry> entries;  // oldest first
};

Cache& cache() {
  static Cache* c = new Cache;  // outlives threads that verify during exit
  return *c;
}

}  // namespace

Jwk::~Jwk() { crypt_cleanse(secret.data(), secret.size()); }

JwkSetStatus JwkSetParse(const unsigned char* json, size_t len, JwkSetRef* out) {
  try {
    return parse(json, len, out);
  } catch (const std::bad_alloc&) {
    return JwkSetStatus::kNoMemory;
  }
}

bool JwkSetIsJson(const unsigned char* key, size_t len) {
  ByteReader r(key, len);
  size_t first = 0, last = len;
  uint8_t c = 0;
  auto blank = [](uint8_t b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n'; };
  while (r.peek_at(first, &c) && blank(c)) ++first;
  while (last > first && r.peek_at(last - 1, &c) && blank(c)) --last;
  uint8_t open = 0, close = 0;
  return last > first + 1 && r.peek_at(first, &open) && r.peek_at(last - 1, &close) && open == '{' &&
         close == '}';
}

JwkSetRef JwkSetFromKeyBytes(const unsigned char* key, size_t len) {
  Cache& c = cache();
  {
    std::lock_guard<std::mutex> lock(c.mtx);
    for (const CacheEntry& e : c.entries)
      if (e.bytes.size() == len && memcmp(e.bytes.data(), key, len) == 0) return e.set;
  }
  JwkSetRef set;
  if (JwkSetParse(key, len, &set) != JwkSetStatus::kOk) return nullptr;
  if (len <= kMaxCachedInput) {
    try {
      std::vector<unsigned char> bytes(key, key + len);
      std::lock_guard<std::mutex> lock(c.mtx);
      if (c.entries.size() >= kCacheEntries) c.entries.erase(c.entries.begin());
      c.entries.emplace_back(std::move(bytes), set);
    } catch (const std::bad_alloc&) {
      // Not kept; the next call parses again.
    }
  }
  return set;
}

JwkPick JwkSetSelect(const JwkSet& set, JWT_ALG_TYPE alg, const unsigned char* kid, size_t kid_len,
                     const Jwk** out) {
  const std::string_view want(reinterpret_cast<const char*>(kid), kid ? kid_len : 0);
  const Jwk* found = nullptr;
  size_t fitting = 0;
  bool named = false;
  for (const Jwk& k : set.keys) {
    if (kid != nullptr && !(k.has_kid && k.kid == want)) continue;
    named = true;
    if (!fits(k, alg)) continue;
    found = &k;
    ++fitting;
  }
  if (fitting == 1) {
    *out = found;
    return JwkPick::kFound;
  }
  if (fitting > 1) return JwkPick::kSeveralFit;
  if (kid == nullptr) return JwkPick::kNoneFits;
  if (named) return JwkPick::kKidDoesNotFit;
  for (const std::string& u : set.unusable_kids)
    if (u == want) return JwkPick::kKidDoesNotFit;
  return JwkPick::kUnknownKid;
}
