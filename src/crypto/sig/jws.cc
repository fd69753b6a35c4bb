// JWS signature checks with ready keys. The digests are fetched once per
// process, so a check costs one DigestVerify and no algorithm lookups.
#include "crypto/sig/jws.h"

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/rsa.h>

#include <mutex>
#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/cert/certcheck.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pse.h"
#include "crypto/sig/sigint.h"

struct JwsKey {
  qorcr::SslPtr<EVP_PKEY> pkey;
  JwsKeyKind kind = JwsKeyKind::kOther;
  int bits = 0;
  bool sound = false;  // passed KeyCheck; an unsound key serves no algorithm
};

namespace {

using qorcr::SslBuf;
using qorcr::SslPtr;

constexpr int kMinPssBits = 2048;
constexpr size_t kCacheEntries = 16;
constexpr size_t kMaxCachedInput = 64 * 1024;
constexpr unsigned char kUncompressedPoint = 0x04;
constexpr size_t kEd25519Len = 32;
constexpr size_t kEd448Len = 57;

struct CurveRow {
  JwsKeyKind kind;
  const char* group;  // OpenSSL group name
  size_t field_len;   // bytes of one coordinate, and of R and of S
};
constexpr CurveRow kCurves[] = {
    {JwsKeyKind::kP256, SN_X9_62_prime256v1, 32},
    {JwsKeyKind::kP384, SN_secp384r1, 48},
    {JwsKeyKind::kP521, SN_secp521r1, 66},
};

const CurveRow* curve_row(JwsKeyKind k) {
  for (const CurveRow& c : kCurves)
    if (c.kind == k) return &c;
  return nullptr;
}

// The digests of the SHA-2 family, fetched once.
const EVP_MD* sha(int bits) {
  static EVP_MD* const s256 = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  static EVP_MD* const s384 = EVP_MD_fetch(nullptr, "SHA2-384", nullptr);
  static EVP_MD* const s512 = EVP_MD_fetch(nullptr, "SHA2-512", nullptr);
  return bits == 256 ? s256 : bits == 384 ? s384 : s512;
}

struct AlgInfo {
  const EVP_MD* md;  // null for EdDSA, which hashes inside
  bool pss;
  JwsKeyKind curve;  // kOther for the RSA algorithms
};

AlgInfo alg_info(JwsAlg a) {
  switch (a) {
    case JwsAlg::kRS256: return {sha(256), false, JwsKeyKind::kRsa};
    case JwsAlg::kRS384: return {sha(384), false, JwsKeyKind::kRsa};
    case JwsAlg::kRS512: return {sha(512), false, JwsKeyKind::kRsa};
    case JwsAlg::kPS256: return {sha(256), true, JwsKeyKind::kRsa};
    case JwsAlg::kPS384: return {sha(384), true, JwsKeyKind::kRsa};
    case JwsAlg::kPS512: return {sha(512), true, JwsKeyKind::kRsa};
    case JwsAlg::kES256: return {sha(256), false, JwsKeyKind::kP256};
    case JwsAlg::kES384: return {sha(384), false, JwsKeyKind::kP384};
    case JwsAlg::kES512: return {sha(512), false, JwsKeyKind::kP521};
    case JwsAlg::kEdDSA: return {nullptr, false, JwsKeyKind::kEd25519};
  }
  return {nullptr, false, JwsKeyKind::kOther};
}

// Kind, size and soundness of a decoded key; a curve we do not name stays
// kOther. The key checks run once here, not on every call. Null when the
// key is missing or its check ran out of memory.
JwsKeyRef make_ready(SslPtr<EVP_PKEY> pkey) {
  if (!pkey) return nullptr;
  const qorcr::KeyStrength strength = qorcr::KeyCheck(pkey.get());
  if (strength == qorcr::KeyStrength::kUnknown) return nullptr;
  auto k = std::make_shared<JwsKey>();
  k->sound = strength == qorcr::KeyStrength::kStrong;
  k->bits = EVP_PKEY_get_bits(pkey.get());
  switch (EVP_PKEY_get_base_id(pkey.get())) {
    case EVP_PKEY_RSA:
      k->kind = JwsKeyKind::kRsa;
      break;
    case EVP_PKEY_ED25519:
      k->kind = JwsKeyKind::kEd25519;
      break;
    case EVP_PKEY_ED448:
      k->kind = JwsKeyKind::kEd448;
      break;
    case EVP_PKEY_EC: {
      char group[64] = {0};
      size_t len = 0;
      if (EVP_PKEY_get_group_name(pkey.get(), group, sizeof group, &len) != 1) break;
      for (const CurveRow& c : kCurves)
        if (strcmp(group, c.group) == 0) k->kind = c.kind;
      break;
    }
    default:
      break;
  }
  qorcr::OpenSslErrorsDrop();
  k->pkey = std::move(pkey);
  return k;
}

SslPtr<EVP_PKEY> decode_bytes(const unsigned char* key, size_t len) {
  SslPtr<X509> cert;
  SslPtr<EVP_PKEY> pkey;
  if (len <= INT32_MAX && qorcr::CertDecode(key, static_cast<int32_t>(len), &cert) == SSF_API_OK)
    pkey.reset(X509_get_pubkey(cert.get()));
  else
    qorcr::ParsePublicKey(qorcr::Bytes{key, len}, &pkey);
  qorcr::OpenSslErrorsDrop();
  return pkey;
}

// Recent inputs and their keys, oldest first.
struct Cache {
  std::mutex mtx;
  std::vector<std::pair<std::vector<unsigned char>, JwsKeyRef>> entries;
  JwsKeyRef find(const unsigned char* p, size_t n) {
    std::lock_guard<std::mutex> lock(mtx);
    for (const auto& e : entries)
      if (e.first.size() == n && memcmp(e.first.data(), p, n) == 0) return e.second;
    return nullptr;
  }
  void add(const unsigned char* p, size_t n, const JwsKeyRef& k) {
    std::vector<unsigned char> bytes(p, p + n);
    std::lock_guard<std::mutex> lock(mtx);
    if (entries.size() >= kCacheEntries) entries.erase(entries.begin());
    entries.emplace_back(std::move(bytes), k);
  }
};

Cache& cache() {
  static Cache* c = new Cache;  // outlives threads that verify during exit
  return *c;
}

SslPtr<EVP_PKEY> from_params(const char* type, OSSL_PARAM_BLD* bld) {
  SslPtr<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(bld));
  SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
  EVP_PKEY* raw = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
    raw = nullptr;
  return SslPtr<EVP_PKEY>(raw);
}

// R || S of RFC 7518 section 3.4 as the DER ECDSA-Sig-Value OpenSSL takes;
// any other length is refused, a DER signature included.
bool rs_to_der(const unsigned char* sig, size_t sig_len, size_t field_len, std::vector<unsigned char>* der) {
  if (sig_len != 2 * field_len) return false;
  const int half = static_cast<int>(field_len);
  SslPtr<BIGNUM> r(BN_bin2bn(sig, half, nullptr));
  SslPtr<BIGNUM> s(BN_bin2bn(sig + half, half, nullptr));
  ECDSA_SIG* es = ECDSA_SIG_new();
  if (!r || !s || es == nullptr || ECDSA_SIG_set0(es, r.get(), s.get()) != 1) {
    ECDSA_SIG_free(es);
    return false;
  }
  r.release();
  s.release();
  unsigned char* p = nullptr;
  const int n = i2d_ECDSA_SIG(es, &p);
  ECDSA_SIG_free(es);
  SslBuf<unsigned char> owned(p);
  if (n <= 0) return false;
  der->assign(p, p + n);
  return true;
}

// This thread's verification context, ready for `pkey`. Setting a context
// up for a key costs more than an ECDSA or EdDSA check's overhead should,
// so it is kept between calls. A used context keeps its key for the next
// init (the key passed then is not looked at), so it is reset when the key
// differs; the key it holds a reference to cannot go away meanwhile, which
// makes the pointer comparison sound.
EVP_MD_CTX* thread_ctx(EVP_PKEY* pkey) {
  thread_local SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  if (!ctx) return nullptr;
  EVP_PKEY_CTX* pctx = EVP_MD_CTX_get_pkey_ctx(ctx.get());
  if (pctx != nullptr && EVP_PKEY_CTX_get0_pkey(pctx) != pkey) EVP_MD_CTX_reset(ctx.get());
  return ctx.get();
}

bool verify(const JwsKey& key, JwsAlg alg, const unsigned char* input, size_t input_len,
            const unsigned char* sig, size_t sig_len) {
  if (!JwsKeyFits(key, alg)) return false;
  const AlgInfo a = alg_info(alg);
  std::vector<unsigned char> der;
  if (const CurveRow* c = curve_row(a.curve)) {
    if (!rs_to_der(sig, sig_len, c->field_len, &der)) return false;
    sig = der.data();
    sig_len = der.size();
  }
  EVP_MD_CTX* ctx = thread_ctx(key.pkey.get());
  EVP_PKEY_CTX* pctx = nullptr;  // owned by ctx
  if (ctx == nullptr || EVP_DigestVerifyInit(ctx, &pctx, a.md, nullptr, key.pkey.get()) != 1) return false;
  // RFC 7518 section 3.5: MGF1 with the same hash, salt as long as the hash.
  if (a.pss && (EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING) != 1 ||
                EVP_PKEY_CTX_set_rsa_mgf1_md(pctx, a.md) != 1 ||
                EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_DIGEST) != 1))
    return false;
  if (!a.pss && key.kind == JwsKeyKind::kRsa && EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) != 1)
    return false;
  return EVP_DigestVerify(ctx, sig, sig_len, input, input_len) == 1;
}

}  // namespace

JwsKeyRef JwsKeyFromBytes(const unsigned char* key, size_t len) {
  if (key == nullptr || len == 0) return nullptr;
  if (JwsKeyRef hit = cache().find(key, len)) return hit;
  JwsKeyRef k = make_ready(decode_bytes(key, len));
  if (k && len <= kMaxCachedInput) cache().add(key, len, k);
  return k;
}

JwsKeyRef JwsKeyFromRsa(const unsigned char* n, size_t n_len, const unsigned char* e, size_t e_len) {
  if (n_len == 0 || e_len == 0 || n_len > INT32_MAX || e_len > INT32_MAX) return nullptr;
  SslPtr<BIGNUM> bn_n(BN_bin2bn(n, static_cast<int>(n_len), nullptr));
  SslPtr<BIGNUM> bn_e(BN_bin2bn(e, static_cast<int>(e_len), nullptr));
  SslPtr<OSSL_PARAM_BLD> bld(OSSL_PARAM_BLD_new());
  // An even modulus or exponent, or an exponent of 1, is no RSA key.
  if (!bn_n || !bn_e || !bld || !BN_is_odd(bn_n.get()) || !BN_is_odd(bn_e.get()) || BN_is_one(bn_e.get()) ||
      OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, bn_n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, bn_e.get()) != 1) {
    qorcr::OpenSslErrorsDrop();
    return nullptr;
  }
  JwsKeyRef k = make_ready(from_params("RSA", bld.get()));
  qorcr::OpenSslErrorsDrop();
  return k;
}

JwsKeyRef JwsKeyFromEc(JwsKeyKind curve, const unsigned char* x, size_t x_len, const unsigned char* y,
                       size_t y_len) {
  const CurveRow* c = curve_row(curve);
  // RFC 7518 section 6.2.1.2: each coordinate has the full length of the field.
  if (c == nullptr || x_len != c->field_len || y_len != c->field_len) return nullptr;
  std::vector<unsigned char> point;
  point.reserve(1 + 2 * c->field_len);
  point.push_back(kUncompressedPoint);
  point.insert(point.end(), x, x + x_len);
  point.insert(point.end(), y, y + y_len);
  SslPtr<OSSL_PARAM_BLD> bld(OSSL_PARAM_BLD_new());
  if (!bld || OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, c->group, 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()) != 1)
    return nullptr;
  JwsKeyRef k = make_ready(from_params("EC", bld.get()));
  qorcr::OpenSslErrorsDrop();
  return k && k->sound && k->kind == curve ? k : nullptr;
}

JwsKeyRef JwsKeyFromOkp(JwsKeyKind curve, const unsigned char* x, size_t x_len) {
  const int id = curve == JwsKeyKind::kEd25519 ? EVP_PKEY_ED25519 : curve == JwsKeyKind::kEd448 ? EVP_PKEY_ED448 : 0;
  const size_t want = curve == JwsKeyKind::kEd25519 ? kEd25519Len : kEd448Len;
  if (id == 0 || x_len != want) return nullptr;
  JwsKeyRef k = make_ready(SslPtr<EVP_PKEY>(EVP_PKEY_new_raw_public_key(id, nullptr, x, x_len)));
  qorcr::OpenSslErrorsDrop();
  return k;
}

JwsKeyKind JwsKeyKindOf(const JwsKey& key) { return key.kind; }

bool JwsKeySound(const JwsKey& key) { return key.sound; }

int JwsKeyBits(const JwsKey& key) { return key.bits; }

bool JwsKeyFits(const JwsKey& key, JwsAlg alg) {
  if (!key.sound) return false;
  const AlgInfo a = alg_info(alg);
  if (alg == JwsAlg::kEdDSA) return key.kind == JwsKeyKind::kEd25519 || key.kind == JwsKeyKind::kEd448;
  if (key.kind != a.curve) return false;
  return !a.pss || key.bits >= kMinPssBits;
}

bool JwsVerify(const JwsKey& key, JwsAlg alg, const unsigned char* input, size_t input_len,
               const unsigned char* sig, size_t sig_len) {
  if (sig == nullptr || input == nullptr) return false;
  const bool ok = verify(key, alg, input, input_len, sig, sig_len);
  qorcr::OpenSslErrorsDrop();
  return ok;
}
