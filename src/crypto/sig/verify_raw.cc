// Raw signature values: "PKCS1-V1.5" (RSASSA-PKCS1-v1_5, RFC 8017 8.2.2)
// and the DSA formats (DER Dss-Sig-Value, or r || s for "DSA-FLAT"), with
// the key from the caller or the key store's candidates.
#include <vector>

#include "crypto/base/digest.h"
#include "crypto/base/verify_ready.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"

namespace qorcr {
namespace {

constexpr char kFlatError[] = "Invalid Signature BitString for fixed OctetString r||s";
constexpr size_t kFlatBitMultiple = 32;
constexpr size_t kBitsPerByte = 8;
constexpr char kKeyIdPrefix[] = "/Keyid=";
constexpr char kDegenerateKey[] = "degenerate public key";

// How far a candidate got; a later one replaces an earlier only when it got further.
enum class Progress { kNone, kKeyUnusable, kSignatureWrong, kExpired, kVerified };

struct Candidate {
  EVP_PKEY* key;
  X509* cert;
};

struct Outcome {
  Progress progress = Progress::kNone;
  uint32_t result = SSF_API_UNKNOWN_SIGNER;
  X509* cert = nullptr;
};

bool digest_allowed(const VerifyCall& c) {
  if (c.format.number == SSF_FORMAT_DSA)
    return c.digest == SSF_DIGEST_SHA1 || c.digest == SSF_DIGEST_SHA224 ||
           c.digest == SSF_DIGEST_SHA256;
  return c.digest >= SSF_DIGEST_MD5 && c.digest <= SSF_DIGEST_RIPEMD128;
}

// An RSA key needs PKCS#1, a DSA key a DSA format; an ECDSA value looks
// like a DSA one but is no DSA signature.
bool key_suits(const VerifyCall& c, EVP_PKEY* key) {
  const int id = EVP_PKEY_get_base_id(key);
  if (c.format.number == SSF_FORMAT_PKCS1_V15) return id == EVP_PKEY_RSA;
  return id == EVP_PKEY_DSA;
}

// r || s, each half a big-endian integer, as DER Dss-Sig-Value.
bool flat_to_der(Bytes sig, std::vector<unsigned char>* der) {
  if (sig.n == 0 || (sig.n * kBitsPerByte) % kFlatBitMultiple != 0) return false;
  const int half = static_cast<int>(sig.n / 2);
  SslPtr<DSA_SIG> ds(DSA_SIG_new());
  SslPtr<BIGNUM> r(BN_bin2bn(sig.p, half, nullptr));
  SslPtr<BIGNUM> s(BN_bin2bn(sig.p + half, half, nullptr));
  if (!ds || !r || !s || DSA_SIG_set0(ds.get(), r.get(), s.get()) != 1) return false;
  r.release();
  s.release();
  unsigned char* p = nullptr;
  const int n = i2d_DSA_SIG(ds.get(), &p);
  SslBuf<unsigned char> owned(p);
  if (n <= 0) return false;
  der->assign(p, p + n);
  return true;
}

bool signature_ok(const VerifyCall& c, EVP_PKEY* key, const std::vector<unsigned char>& digest,
                  const std::vector<unsigned char>& sig) {
  const bool ok = PkeyVerifyReady(key, DigestMd(c.digest), sig.data(), sig.size(), digest.data(), digest.size());
  OpenSslErrorsDrop();
  return ok;
}

Outcome try_candidate(const VerifyCall& c, const Candidate& k,
                      const std::vector<unsigned char>& digest,
                      const std::vector<unsigned char>& sig) {
  Outcome o;
  o.cert = k.cert;
  if (k.key == nullptr || !key_suits(c, k.key)) {
    o.progress = Progress::kKeyUnusable;
    o.result = SSF_API_ALG_MISMATCH;
    return o;
  }
  if (!signature_ok(c, k.key, digest, sig)) {
    o.progress = Progress::kSignatureWrong;
    o.result = SSF_API_SIGNER_NOT_OK;
    return o;
  }
  const char* what = "";
  if (c.pse && k.cert && CertValidAt(k.cert, c.now, &what) != SSF_API_OK) {
    Trace(kTrcDetail, c.func, "%-15s: Signer Certificate expired", c.func);
    o.progress = Progress::kExpired;
    o.result = SSF_API_CERT_EXPIRED;
    return o;
  }
  o.progress = Progress::kVerified;
  o.result = SSF_API_OK;
  return o;
}

std::string signer_id(const VerifyCall& c, X509* cert) {
  std::string id;
  if (cert) id = SubjectOf(cert);
  if (id.empty()) id = c.signer_name_text;
  if (id.empty() && !c.key_id.empty()) id = kKeyIdPrefix + HexPairs(c.key_id.p, c.key_id.n);
  return id;  // AppendSigner writes "<unknown>" for an empty one
}

// `caller` (when given) holds the encoding of its own certificates.
int32_t finish(VerifyCall* c, X509* cert, uint32_t result, int32_t rc_on_failure,
               const CallerKeys* caller = nullptr) {
  SigRcpSsfInformation* rec = nullptr;
  const Bytes der = caller != nullptr && cert != nullptr ? caller->DerOf(cert) : Bytes{};
  const int32_t rc = AppendSigner(*c, signer_id(*c, cert), std::string(), cert, result, &rec, der);
  if (rc != SSF_API_OK) return rc;
  return result == SSF_API_OK ? SSF_API_OK : rc_on_failure;
}

// Key store certificates that match every criterion the caller gave.
std::vector<X509*> store_candidates(const VerifyCall& c) {
  std::vector<X509*> found;
  const bool by_name = c.signer_name != nullptr, by_id = !c.key_id.empty();
  if (by_name || by_id) {
    for (size_t i = 0; i < c.pse->certs().size(); ++i) {
      const auto& x = c.pse->certs()[i];
      // Only trusted certificates with sound keys are candidates; their
      // validity period is looked at once the signature verifies.
      if (!c.pse->IsAnchor(i)) continue;
      if (by_name && X509_NAME_cmp(X509_get_subject_name(x.get()), c.signer_name.get()) != 0)
        continue;
      if (by_id) {
        const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(x.get());
        if (skid == nullptr || static_cast<size_t>(ASN1_STRING_length(skid)) != c.key_id.n ||
            memcmp(ASN1_STRING_get0_data(skid), c.key_id.p, c.key_id.n) != 0)
          continue;
      }
      if (c.pse->CheckTrust(x.get(), nullptr, c.now).kind == TrustVerdict::Kind::kUntrusted)
        continue;
      found.push_back(x.get());
    }
  }
  const char* how = found.empty()       ? "also found none"
                    : found.size() == 1 ? "but found one"
                                        : "but found some";
  Trace(kTrcDetail, c.func,
        "Signer certificate not in message nor supplied as parameter, %s when searching in PSE "
        "with these parameters:%s%s",
        how, by_id ? " SubjectKeyId" : "", by_name ? " SubjectName" : "");
  return found;
}

}  // namespace

int32_t VerifyRaw(VerifyCall* c) {
  if (!digest_allowed(*c)) {
    c->reason = "digest not allowed for this format";
    return SSF_API_INVALID_MDALG;
  }
  // Keys the caller passes come first.
  CallerKeysRef caller;
  std::vector<Candidate> cands;
  if (c->chain != SSF_CHAIN_NONE) {
    const int32_t rc = CallerKeysGet(c->chain, c->certs, &caller);
    if (rc != SSF_API_OK) {
      const bool key_format = c->chain == SSF_CHAIN_RAWPUBKEY || c->chain == SSF_CHAIN_KEYVALUE;
      c->reason = key_format ? "public key cannot be read" : "certificates cannot be read";
      ErrorPushOpenSsl(rc, c->func, c->reason);
      // A key that cannot be read is the signer's result; certificates are the call's.
      if (key_format)
        return finish(c, nullptr, static_cast<uint32_t>(rc), SSF_API_SIGNER_ERRORS);
      return rc;
    }
    X509* cert = caller->key ? nullptr : sk_X509_value(caller->certs.get(), 0);
    if (cert != nullptr && c->pse) {
      const int32_t check = CertCheck(*c, cert, caller->certs.get());
      if (check != SSF_API_OK)
        return finish(c, cert, static_cast<uint32_t>(check), SSF_API_SIGNER_ERRORS, caller.get());
    } else if (cert != nullptr ? !caller->CertSound(cert) : !caller->key_sound) {
      // Without a key store nothing else stands between a degenerate key
      // and a signature that needs no private key.
      c->reason = kDegenerateKey;
      ErrorPush(SSF_API_UNKNOWN_SIGNER, c->func, c->reason);
      return finish(c, cert, SSF_API_UNKNOWN_SIGNER, SSF_API_SIGNER_ERRORS, caller.get());
    }
    cands.push_back({cert != nullptr ? X509_get0_pubkey(cert) : caller->key.get(), cert});
  }
  // Without them, the key store's certificates are the candidates.
  if (cands.empty() && c->pse) {
    for (X509* x : store_candidates(*c)) cands.push_back({X509_get0_pubkey(x), x});
    OpenSslErrorsDrop();
  }
  if (cands.empty()) {
    c->reason = "no signer certificate";
    return finish(c, nullptr, SSF_API_NOCERTIFICATE, SSF_API_SIGNER_ERRORS);
  }
  // The signed bytes are hashed once for all candidates.
  std::vector<unsigned char> digest;
  if (!DigestCompute(c->digest,
                     c->input.p ? c->input.p : reinterpret_cast<const unsigned char*>(""),
                     c->input.n, &digest)) {
    c->reason = "digest cannot be computed";
    ErrorPush(SSF_API_UNKNOWN_SECTK_ERROR, c->func, c->reason);
    return finish(c, cands[0].cert, SSF_API_SIGNER_NOT_OK, SSF_API_UNKNOWN_SECTK_ERROR, caller.get());
  }
  // The key type decides before the value's form is looked at.
  bool usable = false;
  for (const Candidate& k : cands) usable = usable || (k.key != nullptr && key_suits(*c, k.key));
  if (!usable) {
    c->reason = "key type does not suit the format";
    ErrorPush(SSF_API_ALG_MISMATCH, c->func, c->reason);
    return finish(c, cands[0].cert, SSF_API_ALG_MISMATCH, SSF_API_SIGNER_ERRORS, caller.get());
  }
  std::vector<unsigned char> sig(c->signature.p, c->signature.p + c->signature.n);
  if (c->format.flat && !flat_to_der(c->signature, &sig)) {
    OpenSslErrorsDrop();
    c->reason = kFlatError;
    ErrorPush(SSF_API_SIGNER_NOT_OK, c->func, kFlatError);
    return finish(c, cands[0].cert, SSF_API_SIGNER_NOT_OK, SSF_API_SIGNER_ERRORS, caller.get());
  }
  // The first candidate that verifies wins; otherwise the one that got furthest tells the reason.
  Outcome best;
  for (const Candidate& k : cands) {
    Outcome o = try_candidate(*c, k, digest, sig);
    if (o.progress > best.progress) best = o;
    if (best.progress == Progress::kVerified) break;
  }
  if (best.result == SSF_API_SIGNER_NOT_OK) {
    c->reason = "signature wrong";
    ErrorPush(SSF_API_SIGNER_NOT_OK, c->func, "signature value does not verify");
  }
  return finish(c, best.cert, best.result, SSF_API_SIGNER_ERRORS, caller.get());
}

}  // namespace qorcr
