// The signature of a compact token (RFC 7515 section 5.2): HMAC, RSA
// PKCS#1 v1.5 through the SSF table, the newer algorithms through the JWS
// verifier, or the one key of a JWK Set that the token chooses.
#include "sec/jwt/jwtverify.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "base/dptrc/dptrc.h"
#include "crypto/hash/hashapi.h"
#include "crypto/sig/jws.h"
#include "sec/jwt/jwtalg.h"
#include "sec/mac/hmac.h"

namespace {

constexpr size_t kMacBufferSize = 1024;
constexpr char kPkcs1Format[] = "PKCS1-V1.5";
constexpr char kChainX509[] = "x509v3";
constexpr char kChainRawPubKey[] = "RAWPUBKEY";
constexpr char kSignatureFailed[] = "JWT signature validation failed";

struct SigBytes {
  const unsigned char* p;
  size_t n;
};

// A length for "%*.*s" in a trace line.
int trace_len(size_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int>(n); }

bool is_rsa_pkcs1(JWT_ALG_TYPE a) { return a == JWT_ALG_RS256 || a == JWT_ALG_RS384 || a == JWT_ALG_RS512; }

// Whether the key last checked on this thread is public material; the
// check decodes the key as certificate and public key, which would cost
// more than the MAC itself on every call. Compared in full.
struct PublicKeyVerdict {
  std::vector<unsigned char> key;
  bool is_public = false;
  ~PublicKeyVerdict() { clear(); }
  void clear() {
    crypt_cleanse(key.data(), key.size());
    key.clear();
  }
};
thread_local PublicKeyVerdict t_verdict;
constexpr size_t kMaxVerdictKey = 8192;

// The key may be an HMAC secret, so it is compared in constant time.
bool key_is_public(const unsigned char* key, size_t n) {
  if (t_verdict.key.size() == n && !t_verdict.key.empty() && crypt_mac_equal(t_verdict.key.data(), key, n))
    return t_verdict.is_public;
  const bool is_public = crypt_key_is_public(key, n);
  if (n <= kMaxVerdictKey) {
    t_verdict.clear();
    t_verdict.key.assign(key, key + n);
    t_verdict.is_public = is_public;
  }
  return is_public;
}

// The certificate DER that the RS key last normalised to on this thread
// (empty when it is no certificate), so a verifier that uses one
// certificate over and over decodes it once. Compared in full.
struct NormalizedKey {
  std::vector<unsigned char> key;
  std::vector<unsigned char> der;
  bool valid = false;
};
thread_local NormalizedKey t_normalized;

// True with the DER in `der` when `key` reads as a certificate.
bool normalized_certificate(SsfLib* ssf, const unsigned char* key, size_t n, const std::vector<unsigned char>** der) {
  NormalizedKey& c = t_normalized;
  if (!(c.valid && c.key.size() == n && crypt_mac_equal(c.key.data(), key, n))) {
    unsigned char* out = nullptr;
    int32_t out_len = 0;
    const bool is_cert = SsfSupNormalizeCertificate(ssf, key, static_cast<int32_t>(n), &out, &out_len) == 0 &&
                         out != nullptr && out_len > 0;
    c.valid = false;
    c.der.assign(is_cert ? out : nullptr, is_cert ? out + out_len : nullptr);
    free(out);
    c.key.assign(key, key + n);
    c.valid = n <= kMaxVerdictKey;
  }
  *der = &c.der;
  return !c.der.empty();
}

// The key of an RS token as passed, when it is public material. Anything
// else (an HMAC secret sent along with a token that claims RS) is shown
// only by its length.
void trace_rs_key(bool is_cert, const unsigned char* key, size_t key_len) {
  if (tf.load() == nullptr || ct_level.load() < 3) return;
  if (is_cert)
    DPTRC_INFO(tf.load(), 3, "X509 cert. is the following: >>>%*.*s<<<.\n", trace_len(key_len),
               trace_len(key_len), reinterpret_cast<const char*>(key));
  else if (key != nullptr && key_is_public(key, key_len))
    DPTRC_INFO(tf.load(), 3, "Public Key is the following: >>>%*.*s<<<.\n", trace_len(key_len),
               trace_len(key_len), reinterpret_cast<const char*>(key));
  else
    DPTRC_INFO(tf.load(), 3, "Public Key is the following: %zu bytes, no public key or certificate (not shown).\n",
               key != nullptr ? key_len : 0);
}

// The MAC object of the secret last used on this thread, keyed once: a
// verifier that checks many tokens with one secret pays only a restart per
// token. The secret is compared in constant time and wiped when replaced.
// It also remembers whether the secret was found to be no public key, so a
// passed key that it holds needs neither that check nor a second compare.
struct KeyedMac {
  std::vector<unsigned char> key;
  const char* hash = nullptr;
  HMac_CTX* ctx = nullptr;
  bool checked_secret = false;
  ~KeyedMac() { clear(); }
  void clear() {
    if (ctx != nullptr) hmacRelease(&ctx);
    crypt_cleanse(key.data(), key.size());
    key.clear();
    hash = nullptr;
    checked_secret = false;
  }
  bool holds(const unsigned char* k, size_t n, const char* h) const {
    return ctx != nullptr && hash != nullptr && (hash == h || strcmp(hash, h) == 0) && key.size() == n &&
           crypt_mac_equal(key.data(), k, n);
  }
};
thread_local KeyedMac t_mac;

// A MAC object keyed with `key` for `hash`, restarted; null when none can
// be made. It stays with the thread. `held` says the caller has already
// found that t_mac holds this key and hash.
HMac_CTX* keyed_mac(const unsigned char* key, size_t key_len, const char* hash, bool held) {
  if (hash == nullptr) return nullptr;
  if (held || t_mac.holds(key, key_len, hash)) return hmacReset(t_mac.ctx) == kMacOk ? t_mac.ctx : nullptr;
  t_mac.clear();
  if (key_len > kMaxVerdictKey) return nullptr;
  try {
    t_mac.key.assign(key, key + key_len);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (hmacInitR(&t_mac.ctx, key, key_len, hash) != kMacOk) {
    t_mac.clear();
    return nullptr;
  }
  t_mac.hash = hash;
  return t_mac.ctx;
}

bool mac_ok(const JwtSignatureCheck& c, const unsigned char* key, size_t key_len, ByteReader signing_input,
            const SigBytes& sig, bool held = false) {
  unsigned char mac[kMacBufferSize];
  size_t mac_len = sizeof mac;
  bool ok = false;
  if (HMac_CTX* kept = keyed_mac(key, key_len, c.hash, held)) {
    ok = hmacUpdate(kept, signing_input.data(), signing_input.remaining()) == kMacOk &&
         hmacFinal(kept, mac, &mac_len) == kMacOk;
  } else {
    // A secret too long to keep is keyed for this call only.
    HMac_CTX* ctx = nullptr;
    ok = hmacInitR(&ctx, key, key_len, c.hash) == kMacOk &&
         hmacUpdate(ctx, signing_input.data(), signing_input.remaining()) == kMacOk &&
         hmacFinal(ctx, mac, &mac_len) == kMacOk;
    if (ctx != nullptr) hmacRelease(&ctx);
  }
  // Constant time, so the comparison does not tell how many bytes matched.
  return ok && mac_len == sig.n && crypt_mac_equal(mac, sig.p, mac_len);
}

bool hmac_ok(const JwtSignatureCheck& c, const unsigned char* key, size_t key_len, ByteReader signing_input,
                         const SigBytes& sig) {
  DPTRC_INFO(tf.load(), 3, "HMAC is not traced here.\n");
  // A certificate or public key is public: using it as a secret would let
  // anyone who has it sign (the RS/HS key confusion). An empty secret
  // would let anyone sign when no key was configured.
  if (key == nullptr || key_len == 0) return false;
  const bool held = t_mac.checked_secret && t_mac.holds(key, key_len, c.hash);
  if (!held && key_is_public(key, key_len)) return false;
  const bool ok = mac_ok(c, key, key_len, signing_input, sig, held);
  // Only a key that passed the check above is marked, never a JWK Set's secret.
  if (!held && t_mac.ctx != nullptr && t_mac.holds(key, key_len, c.hash)) t_mac.checked_secret = true;
  return ok;
}

bool rsa_ok(const JwtSignatureCheck& c, const unsigned char* key, size_t key_len, ByteReader signing_input,
                        const SigBytes& sig) {
  if (c.ssf == nullptr || !c.ssf->bSsfVerifyEx || c.ssf->fp_SsfVerifyEx == nullptr || key_len > INT32_MAX ||
      sig.n > INT32_MAX || signing_input.remaining() > INT32_MAX)
    return false;
  const std::vector<unsigned char>* der = nullptr;
  const bool is_cert = key != nullptr && normalized_certificate(c.ssf, key, key_len, &der);
  const char* chain = is_cert ? kChainX509 : kChainRawPubKey;
  const unsigned char* certs = is_cert ? der->data() : key;
  const int32_t certs_len = is_cert ? static_cast<int32_t>(der->size()) : static_cast<int32_t>(key_len);
  trace_rs_key(is_cert, key, key_len);
  SigRcpSsfInformationList results = nullptr;
  SsfOctetstring out = nullptr;
  SsfOctetlen out_len = 0;
  const int32_t rc = c.ssf->fp_SsfVerifyEx(
      kPkcs1Format, static_cast<SsfCharlen>(strlen(kPkcs1Format)), c.hash, static_cast<SsfCharlen>(strlen(c.hash)),
      0, sig.p, static_cast<SsfOctetlen>(sig.n), signing_input.data(),
      static_cast<SsfOctetlen>(signing_input.remaining()), kSsfNoCertificateCheck,
      static_cast<SsfCharlen>(strlen(kSsfNoCertificateCheck)), nullptr, 0, nullptr, 0, nullptr, 0, chain,
      static_cast<SsfCharlen>(strlen(chain)), certs, certs_len, &results, &out, &out_len);
  if (results != nullptr) SsfLibDELSigRcpSsfInfoList(c.ssf, &results);
  if (out != nullptr) SsfLibDELSsfOctetstring(c.ssf, &out, &out_len);
  return rc == 0;
}

// The one key of the set for this token's algorithm and "kid" (RFC 7515
// section 4.1.4), then its check; null when valid, else the error text.
const char* set_ok(const JwtSignatureCheck& c, const JwkSet& set, ByteReader signing_input, const SigBytes& sig) {
  const Jwk* jwk = nullptr;
  const JwkPick pick = c.kid_bad ? JwkPick::kUnknownKid
                                       : JwkSetSelect(set, c.alg, c.kid_seen ? c.kid : nullptr,
                                                      c.kid_len, &jwk);
  switch (pick) {
    case JwkPick::kFound:
      break;
    case JwkPick::kUnknownKid:
      return "JWT key id not found in the JWK Set";
    case JwkPick::kKidDoesNotFit:
      return "JWT key id names a key of the JWK Set that does not fit the JWT algorithm";
    case JwkPick::kNoneFits:
      return "No key of the JWK Set fits the JWT algorithm";
    case JwkPick::kSeveralFit:
      return "Several keys of the JWK Set fit the JWT algorithm and key id";
  }
  bool ok = false;
  JwsAlg jws;
  if (JwtAlgIsHmac(c.alg)) {
    DPTRC_INFO(tf.load(), 3, "HMAC is not traced here.\n");
    ok = mac_ok(c, jwk->secret.data(), jwk->secret.size(), signing_input, sig);
  } else {
    ok = JwtAlgJws(c.alg, &jws) && JwsVerify(*jwk->key, jws, signing_input.data(), signing_input.remaining(),
                                            sig.p, sig.n);
  }
  return ok ? nullptr : kSignatureFailed;
}

}  // namespace

const char* JwtCheckSignature(const JwtSignatureCheck& c, const unsigned char* key, size_t key_len,
                              const JwkSet* set, ByteReader signing_input, const unsigned char* sig_p,
                              size_t sig_n) {
  const SigBytes sig{sig_p, sig_n};
  // Key bytes that are a JSON object are a JWK Set: never an HMAC secret,
  // so a published set cannot sign tokens as one.
  JwkSetRef passed;
  if (set == nullptr && key != nullptr && JwkSetIsJson(key, key_len)) {
    passed = JwkSetFromKeyBytes(key, key_len);
    if (!passed) return "JWT verification key is a JSON text but no usable JWK Set";
    set = passed.get();
  }
  if (set != nullptr) return set_ok(c, *set, signing_input, sig);
  bool ok = false;
  JwsAlg jws;
  if (JwtAlgIsHmac(c.alg)) {
    ok = hmac_ok(c, key, key_len, signing_input, sig);
  } else if (is_rsa_pkcs1(c.alg)) {
    ok = rsa_ok(c, key, key_len, signing_input, sig);
  } else if (JwtAlgJws(c.alg, &jws)) {
    // Certificate or public key, decoded once and kept ready; its type
    // and curve must be those of the algorithm.
    const JwsKeyRef k = JwsKeyFromBytes(key, key_len);
    ok = k && JwsVerify(*k, jws, signing_input.data(), signing_input.remaining(), sig.p, sig.n);
  }
  return ok ? nullptr : kSignatureFailed;
}
