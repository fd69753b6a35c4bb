// Decoded key store contents: lookups and the trust decision.
#include <string.h>

#include <openssl/err.h>

#include <stdint.h>

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

// Strict mode also checks the RFC 5280 profile. A finding that only says an
// optional part is missing, or that a CA's basicConstraints is not marked
// critical, changes nothing a certificate may do, and enterprise CAs issue
// such certificates: key identifiers, a CA's key usage (and so keyCertSign
// beside a path length). Every other finding refuses the path: constraints
// that contradict each other, empty names or subjectAltName, inconsistent
// signature algorithms, extensions in a version 1 certificate, explicit EC
// parameters.
bool tolerated(int err, X509* cert) {
  switch (err) {
    case X509_V_ERR_MISSING_AUTHORITY_KEY_IDENTIFIER:
    case X509_V_ERR_MISSING_SUBJECT_KEY_IDENTIFIER:
    case X509_V_ERR_CA_CERT_MISSING_KEY_USAGE:
    case X509_V_ERR_CA_BCONS_NOT_CRITICAL:
      return true;
    case X509_V_ERR_PATHLEN_WITHOUT_KU_KEY_CERT_SIGN:
      // A key usage that is present must still allow certificate signing.
      return cert != nullptr && (X509_get_extension_flags(cert) & EXFLAG_KUSAGE) == 0;
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
  if (tolerated(err, X509_STORE_CTX_get_current_cert(ctx))) return 1;
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
  c->der_.resize(certs.size());
  for (size_t i = 0; i < certs.size(); ++i) {
    X509* x = certs[i].get();
    unsigned char* der = nullptr;
    const int n = i2d_X509(x, &der);
    SslBuf<unsigned char> owned(der);
    if (n > 0) c->der_[i].assign(der, der + n);  // left empty, it matches no carried certificate
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
  if (!c->BuildIndexes()) return false;
  *out = std::move(c);
  return true;
}

bool PseContents::KnownStrong(const X509* x) const {
  return std::binary_search(strong_.begin(), strong_.end(), x);
}

namespace {

// The issuer by its canonical name hash, and the serial number's bytes.
std::string issuer_serial_key(const X509_NAME* issuer, const ASN1_INTEGER* serial, bool* ok) {
  int hashed = 0;
  const unsigned long h = X509_NAME_hash_ex(issuer, nullptr, nullptr, &hashed);
  *ok = hashed == 1;
  std::string key(reinterpret_cast<const char*>(&h), sizeof h);
  key += std::to_string(ASN1_STRING_type(serial));
  key.append(reinterpret_cast<const char*>(ASN1_STRING_get0_data(serial)),
             static_cast<size_t>(ASN1_STRING_length(serial)));
  return key;
}

std::string key_id_of(const unsigned char* id, size_t len) {
  return std::string(reinterpret_cast<const char*>(id), len);
}

// The first position of a multimap range (store order).
template <typename Range, typename Pred>
size_t first_match(Range range, Pred pred) {
  size_t best = SIZE_MAX;
  for (auto it = range.first; it != range.second; ++it)
    if (it->second < best && pred(it->second)) best = it->second;
  return best;
}

}  // namespace

bool PseContents::BuildIndexes() {
  for (size_t i = 0; i < certs_.size(); ++i) {
    X509* x = certs_[i].get();
    if (der_[i].empty()) return false;
    by_der_.emplace(std::string_view(reinterpret_cast<const char*>(der_[i].data()), der_[i].size()), i);
    bool ok = false;
    std::string is = issuer_serial_key(X509_get_issuer_name(x), X509_get0_serialNumber(x), &ok);
    if (!ok) return false;
    by_issuer_serial_.emplace(std::move(is), i);
    if (const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(x))
      by_key_id_.emplace(key_id_of(ASN1_STRING_get0_data(skid),
                                   static_cast<size_t>(ASN1_STRING_length(skid))), i);
    by_subject_.emplace(X509_NAME_hash_ex(X509_get_subject_name(x), nullptr, nullptr, nullptr), i);
  }
  OpenSslErrorsDrop();
  return true;
}

X509* PseContents::FindByDer(const unsigned char* der, size_t len) const {
  auto it = by_der_.find(std::string_view(reinterpret_cast<const char*>(der), len));
  return it == by_der_.end() ? nullptr : certs_[it->second].get();
}

X509* PseContents::FindByIssuerSerial(const X509_NAME* issuer, const ASN1_INTEGER* serial) const {
  bool ok = false;
  const std::string key = issuer_serial_key(issuer, serial, &ok);
  OpenSslErrorsDrop();
  if (!ok) return nullptr;
  const size_t i = first_match(by_issuer_serial_.equal_range(key), [&](size_t n) {
    X509* x = certs_[n].get();
    return X509_NAME_cmp(X509_get_issuer_name(x), issuer) == 0 &&
           ASN1_INTEGER_cmp(X509_get0_serialNumber(x), serial) == 0;
  });
  return i == SIZE_MAX ? nullptr : certs_[i].get();
}

X509* PseContents::FindBySubjectKeyId(const unsigned char* id, size_t len) const {
  auto it = by_key_id_.find(key_id_of(id, len));
  return it == by_key_id_.end() ? nullptr : certs_[it->second].get();
}

std::vector<X509*> PseContents::FindBySubject(const X509_NAME* subject) const {
  const unsigned long h = X509_NAME_hash_ex(subject, nullptr, nullptr, nullptr);
  OpenSslErrorsDrop();
  std::vector<size_t> at;
  auto range = by_subject_.equal_range(h);
  for (auto it = range.first; it != range.second; ++it)
    if (X509_NAME_cmp(X509_get_subject_name(certs_[it->second].get()), subject) == 0)
      at.push_back(it->second);
  std::sort(at.begin(), at.end());
  std::vector<X509*> found;
  for (size_t i : at) found.push_back(certs_[i].get());
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
