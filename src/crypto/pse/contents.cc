// Decoded key store contents: lookups and the trust decision.
#include <string.h>

#include <openssl/err.h>

#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace qorcr {

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
                        std::shared_ptr<const PseContents>* out) {
  auto c = std::make_shared<PseContents>();
  c->trust_.reset(X509_STORE_new());
  if (!c->trust_) return false;
  for (const auto& x : certs) {
    // Duplicates are refused by the store; they are harmless here.
    X509_STORE_add_cert(c->trust_.get(), x.get());
    if (key && c->own_ == nullptr) {
      ERR_set_mark();
      if (X509_check_private_key(x.get(), key.get()) == 1) c->own_ = x.get();
      ERR_pop_to_mark();
    }
  }
  OpenSslErrorsDrop();
  c->certs_ = std::move(certs);
  c->key_ = std::move(key);
  *out = std::move(c);
  return true;
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

int32_t PseContents::CheckTrust(X509* cert, STACK_OF(X509) * intermediates) const {
  if (cert == nullptr) return SSF_API_UNKNOWN_SIGNER;
  for (const auto& x : certs_)
    if (X509_cmp(x.get(), cert) == 0) return SSF_API_OK;
  SslPtr<X509_STORE_CTX> ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), trust_.get(), cert, intermediates)) {
    ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, "CheckTrust", "cannot set up the chain check");
    return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  // Any certificate of the store is an anchor; validity is the caller's check.
  X509_STORE_CTX_set_flags(ctx.get(), X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_NO_CHECK_TIME);
  int ok = X509_verify_cert(ctx.get());
  OpenSslErrorsDrop();
  return ok == 1 ? SSF_API_OK : SSF_API_UNKNOWN_SIGNER;
}

}  // namespace qorcr
