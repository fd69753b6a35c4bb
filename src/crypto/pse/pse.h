// Key stores (PSEs) for the signature services: name resolution (profile
// name, memory key store name, file path), opening with a PIN, the decoded
// contents shared between callers, the trust decision and the certificate
// handle. Decoded contents are cached per store and PIN and dropped when the
// store changes, so repeated opens do not decode X.509 again.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/ssf/ssftypes.h"

namespace qorcr {

// The decoded contents of a key store: immutable once built, shared by
// every caller that opened the store with the same PIN. Safe to read from
// many threads.
class PseContents {
 public:
  // Trusted certificates in store order; the own certificate is among them.
  const std::vector<SslPtr<X509>>& certs() const { return certs_; }
  // The store's signing credential; both null when it holds no private key.
  EVP_PKEY* private_key() const { return key_.get(); }
  X509* own_cert() const { return own_; }

  // First certificate with this issuer and serial number, or null.
  X509* FindByIssuerSerial(const X509_NAME* issuer, const ASN1_INTEGER* serial) const;
  // First certificate with this subject key identifier, or null.
  X509* FindBySubjectKeyId(const unsigned char* id, size_t len) const;
  // Every certificate whose subject equals `subject`, in store order.
  std::vector<X509*> FindBySubject(const X509_NAME* subject) const;

  // The trust decision: SSF_API_OK when `cert` is a trusted certificate of
  // the store or chains to one (`intermediates` may be null), 22 when not,
  // 13 when the check cannot run. Validity periods are not looked at here.
  int32_t CheckTrust(X509* cert, STACK_OF(X509) * intermediates) const;

  // Builds contents from a key and certificates (the key's certificate is
  // picked out of `certs`). False when out of memory.
  static bool Build(SslPtr<EVP_PKEY> key, std::vector<SslPtr<X509>> certs,
                    std::shared_ptr<const PseContents>* out);

 private:
  std::vector<SslPtr<X509>> certs_;
  SslPtr<EVP_PKEY> key_;
  X509* own_ = nullptr;
  SslPtr<X509_STORE> trust_;
};

using PseRef = std::shared_ptr<const PseContents>;

// Resolves a key store name and opens it with a password, for the
// signature services. Resolution: a profile name maps to its memory key
// store; a "[reauth]" prefix is dropped; an empty name is the profile
// "QORdefault"; "#_MemPSE_#..." names a memory key store; anything else is a
// file path. A password that is empty or begins with "!" opens without PIN.
// Returns SSF_API_OK, 23 (not found or unreadable), 25 (wrong or missing
// PIN), 4 (out of memory) or 13; failures are traced and pushed on the
// thread's error stack under `func`.
int32_t PseOpen(const char* name, SsfCharlen nameL, const char* password, SsfCharlen passwordL,
                const char* func, PseRef* out);

// One X.509 certificate as DER, Base64 text or PEM, as qorzelb_decode_cert
// reads it (same result codes), without the entry frame.
int32_t CertDecode(const unsigned char* data, int32_t len, SslPtr<X509>* out);

// Base64 text (line breaks allowed) as bytes; false when it is not Base64
// or decodes to nothing.
bool Base64Decode(const unsigned char* text, size_t len, std::vector<unsigned char>* out);

// The certificate inside a handle (no new reference), null for null.
X509* CertX509(SsfCertHandle cert);
// A new handle that takes over `x`; null when out of memory.
SsfCertHandle CertHandleNew(SslPtr<X509> x);

// Built-in profiles "QORvalidation", "QORverify" and "QORdefault" (empty
// stores), registered by the library's initialisation and removed by its
// final shutdown. PseRegisterBuiltins returns 0 on success.
int32_t PseRegisterBuiltins();
void PseRemoveBuiltins();
// Every memory key store, profile and cached key store file: the library's
// final shutdown leaves none of them behind.
void PseForgetAll();

}  // namespace qorcr
