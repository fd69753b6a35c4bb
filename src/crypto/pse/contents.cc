// Decoded key store contents: lookups and the trust decision.
#include <string.h>

#include <openssl/err.h>

#include <algorithm>

#include "crypto/cert/certcheck.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

// What the path validation found; the worst finding decides.
struct PathNotes {
  const char* why = nullptr;  // first reason the path is not trusted
  X509* out_of_period = nullptr;
  const char* what = "";
};

// Strict mode also wants key identifiers everywhere and a key usage on
// every CA; neither makes a path less sound, and many issuing CAs predate
// them. A key usage that is present must still allow certificate signing.
bool tolerated(int err) {
  switch (err) {
    case X509_V_ERR_MISSING_AUTHORITY_KEY_IDENTIFIER:
    case X509_V_ERR_MISSING_SUBJECT_KEY_IDENTIFIER:
    case X509_V_ERR_CA_CERT_MISSING_KEY_USAGE:
      return true;
    default:
      return false;
  }
}

// Every finding is noted and the validation goes on, so that an untrusted
// path is told apart from a trusted one with an expired certificate.
int note_finding(int ok, X509_STORE_CTX* ctx) {
  if (ok == 1) return 1;
  auto* notes = static_cast<PathNotes*>(X509_STORE_CTX_get_app_data(ctx));
  const int err = X509_STORE_CTX_get_error(ctx);
  if (tolerated(err)) return 1;
  if (err == X509_V_ERR_CERT_HAS_EXPIRED || err == X509_V_ERR_CERT_NOT_YET_VALID) {
    if (notes->out_of_period == nullptr) {
      notes->out_of_period = X509_STORE_CTX_get_current_cert(ctx);
      notes->what = err == X509_V_ERR_CERT_HAS_EXPIRED ? "expired" : "not yet valid";
    }
  } else if (notes->why == nullptr) {
    notes->why = X509_verify_cert_error_string(err);
  }
  return 1;
}

}  // namespace

uint32_t PseStatusCode(PseStatus s) {
  switch (s) {
    case PseStatus::kOk: return 0;
    case PseStatus::kNotFound: return 0xa1e00201u;
    case PseStatus::kWrongPin: return 0xa1e0020au;
    case PseStatus::kCorrupt: return 0xa1e00210u;
    case PseStatus::kNoMemory: return 0xa0000004u;
    case PseStatus::kExists: return 0xa1e00214u;
    case PseStatus::kIoError: return 0xa1e00220u;
    case PseStatus::kDuplicateCert: return 0xa1d0011eu;
  }
  return 0xa0000001u;
}

const char* PseStatusText(PseStatus s) {
  switch (s) {
    case PseStatus::kOk: return "ok";
    case PseStatus::kNotFound: return "key store not found";
    case PseStatus::kWrongPin: return "wrong or missing PIN";
    case PseStatus::kCorrupt: return "key store image is defective";
    case PseStatus::kNoMemory: return "out of memory";
    case PseStatus::kExists: return "key store exists already";
    case PseStatus::kIoError: return "key store file cannot be read or written";
    case PseStatus::kDuplicateCert: return "certificate is already in the key store";
  }
  return "unknown key store error";
}

bool PseContents::Build(SslPtr<EVP_PKEY> key, std::vector<SslPtr<X509>> certs,
                        const std::vector<bool>& marked, std::shared_ptr<const PseContents>* out) {
  auto c = std::make_shared<PseContents>();
  c->trust_.reset(X509_STORE_new());
  c->helpers_.reset(sk_X509_new_null());
  if (!c->trust_ || !c->helpers_) return false;
  for (const auto& x : certs) {
    if (!key || c->own_ != nullptr) break;
    ERR_set_mark();
    if (X509_check_private_key(x.get(), key.get()) == 1) c->own_ = x.get();
    ERR_pop_to_mark();
  }
  c->anchor_.resize(certs.size());
  for (size_t i = 0; i < certs.size(); ++i) {
    X509* x = certs[i].get();
    const KeyStrength strength = KeyCheck(X509_get0_pubkey(x));
    if (strength == KeyStrength::kUnknown) return false;
    const bool strong = strength == KeyStrength::kStrong;
    if (strong) c->strong_.push_back(x);
    c->anchor_[i] = !key || x == c->own_ || (i < marked.size() && marked[i]);
    // A degenerate key never anchors trust (the store takes a duplicate as done).
    if (c->anchor_[i] && strong) {
      if (!X509_STORE_add_cert(c->trust_.get(), x)) return false;
    } else if (!c->anchor_[i]) {
      if (!sk_X509_push(c->helpers_.get(), x)) return false;
      X509_up_ref(x);
    }
  }
  std::sort(c->strong_.begin(), c->strong_.end());
  OpenSslErrorsDrop();
  c->certs_ = std::move(certs);
  c->key_ = std::move(key);
  *out = std::move(c);
  return true;
}

bool PseContents::KnownStrong(const X509* x) const {
  return std::binary_search(strong_.begin(), strong_.end(), x);
}

X509* PseContents::FindByIssuerSerial(const X509_NAME* issuer, const ASN1_INTEGER* serial) const {
  for (const auto& x : certs_) {
    if (X509_NAME_cmp(X509_get_issuer_name(x.get()), issuer) == 0 &&
        ASN1_INTEGER_cmp(X509_get0_serialNumber(x.get()), serial) == 0)
      return x.get();
  }
  return nullptr;
}

X509* PseContents::FindBySubjectKeyId(const unsigned char* id, size_t len) const {
  for (const auto& x : certs_) {
    const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(x.get());
    if (skid != nullptr && static_cast<size_t>(ASN1_STRING_length(skid)) == len &&
        memcmp(ASN1_STRING_get0_data(skid), id, len) == 0)
      return x.get();
  }
  return nullptr;
}

std::vector<X509*> PseContents::FindBySubject(const X509_NAME* subject) const {
  std::vector<X509*> found;
  for (const auto& x : certs_)
    if (X509_NAME_cmp(X509_get_subject_name(x.get()), subject) == 0) found.push_back(x.get());
  return found;
}

TrustVerdict PseContents::CheckTrust(X509* cert, STACK_OF(X509) * intermediates,
                                     time_t at) const {
  TrustVerdict v;
  if (cert == nullptr) {
    v.kind = TrustVerdict::Kind::kUntrusted;
    v.what = "no certificate";
    return v;
  }
  // The caller's certificates and the store's non-anchors both help build the path.
  std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> helpers(
      sk_X509_dup(helpers_.get()), [](STACK_OF(X509)* s) { sk_X509_free(s); });
  for (int i = 0; helpers && intermediates != nullptr && i < sk_X509_num(intermediates); ++i)
    if (!sk_X509_push(helpers.get(), sk_X509_value(intermediates, i))) helpers.reset();
  SslPtr<X509_STORE_CTX> ctx(X509_STORE_CTX_new());
  if (!helpers || !ctx || !X509_STORE_CTX_init(ctx.get(), trust_.get(), cert, helpers.get())) {
    ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, "CheckTrust", "cannot set up the chain check");
    return v;
  }
  PathNotes notes;
  X509_STORE_CTX_set_app_data(ctx.get(), &notes);
  X509_STORE_CTX_set_verify_cb(ctx.get(), &note_finding);
  X509_STORE_CTX_set_flags(ctx.get(), X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_X509_STRICT);
  X509_STORE_CTX_set_time(ctx.get(), 0, at);
  const int ran = X509_verify_cert(ctx.get());
  OpenSslErrorsDrop();
  if (ran < 0) {
    ErrorPush(SSF_API_UNKNOWN_SECTK_ERROR, "CheckTrust", "the chain check failed to run");
    return v;
  }
  STACK_OF(X509)* path = X509_STORE_CTX_get0_chain(ctx.get());
  KeyStrength strength = KeyStrength::kStrong;
  for (int i = 0; notes.why == nullptr && path != nullptr && i < sk_X509_num(path); ++i) {
    X509* x = sk_X509_value(path, i);
    if (!CertTimesStrict(x))
      notes.why = "validity time is not a DER time";
    else if (!KnownStrong(x) && (strength = KeyCheck(X509_get0_pubkey(x))) != KeyStrength::kStrong)
      notes.why = "degenerate public key";
    else if (i == 0 && !CertMaySign(x))
      notes.why = "key usage does not allow signing";
  }
  if (ran != 1 && notes.why == nullptr && notes.out_of_period == nullptr)
    notes.why = "certificate path not verified";
  if (strength == KeyStrength::kUnknown) {
    ErrorPush(SSF_API_UNKNOWN_SECTK_ERROR, "CheckTrust", "out of memory checking a key");
    return v;
  }
  if (notes.why != nullptr) {
    v.kind = TrustVerdict::Kind::kUntrusted;
    v.what = notes.why;
  } else if (notes.out_of_period != nullptr) {
    v.kind = TrustVerdict::Kind::kOutOfPeriod;
    v.cert = notes.out_of_period;
    v.what = notes.what;
  } else {
    v.kind = TrustVerdict::Kind::kTrusted;
  }
  return v;
}

}  // namespace qorcr
