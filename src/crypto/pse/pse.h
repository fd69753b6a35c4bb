// Key stores (PSEs) for the signature services: name resolution (profile
// name, memory key store name, file path), opening with a PIN, the decoded
// contents shared between callers, the trust decision and the certificate
// handle. Decoded contents are cached per store and PIN and dropped when the
// store changes, so repeated opens do not decode X.509 again.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/pse/trustmemo.h"
#include "crypto/ssf/ssftypes.h"

namespace qorcr {

// The decoded contents of a key store: immutable once built, shared by
// every caller that opened the store with the same PIN. Safe to read from
// many threads.
class PseContents {
 public:
  // Every certificate in store order: the trust anchors, the own
  // certificate and the certificates that only chain it to its issuer.
  const std::vector<SslPtr<X509>>& certs() const { return certs_; }
  // Whether certs()[i] is trusted: in a store with a private key the own
  // certificate and those the image marks as trusted, in a store without
  // one every certificate. A CA chain handed out with the own certificate
  // is no anchor, or any certificate that CA ever issued would sign tickets.
  bool IsAnchor(size_t i) const { return i < anchor_.size() && anchor_[i]; }
  // The DER of certs()[i], encoded once when the contents were built.
  // The store's signing credential; both null when it holds no private key.
  EVP_PKEY* private_key() const { return key_.get(); }
  X509* own_cert() const { return own_; }

  // The store's certificate with exactly these DER bytes, or null.
  X509* FindByDer(const unsigned char* der, size_t len) const;
  // First certificate with this issuer and serial number, or null.
  X509* FindByIssuerSerial(const X509_NAME* issuer, const ASN1_INTEGER* serial) const;
  // First certificate with this subject key identifier, or null.
  X509* FindBySubjectKeyId(const unsigned char* id, size_t len) const;
  // Every certificate whose subject equals `subject`, in store order.
  std::vector<X509*> FindBySubject(const X509_NAME* subject) const;

  // The trust decision at time `at` by the crypto library's path
  // validation: `cert` must lead to an anchor of the store (an anchor that
  // is not self-signed ends the path), through the store's other
  // certificates and `intermediates` (may be null), with strict X.509
  // rules, strict DER validity times, CA constraints and strong keys on
  // the whole path, and a signing key usage of `cert` when it names one.
  // A verdict for the same certificate and intermediates is answered from
  // the contents' memo while no validity time in play has been crossed.
  TrustVerdict CheckTrust(X509* cert, STACK_OF(X509) * intermediates, time_t at) const;

  // Builds contents from a key and certificates (the key's certificate is
  // picked out of `certs`); `marked[i]` tells that the image marks
  // certs[i] as trusted (missing entries: not marked). False when out of
  // memory.
  static bool Build(SslPtr<EVP_PKEY> key, std::vector<SslPtr<X509>> certs,
                    const std::vector<bool>& marked, std::shared_ptr<const PseContents>* out);

 private:
  bool KnownStrong(const X509* x) const;

  bool BuildIndexes();
  TrustVerdict Validate(X509* cert, STACK_OF(X509) * intermediates, time_t at) const;

  std::vector<SslPtr<X509>> certs_;
  std::vector<bool> anchor_;
  std::vector<std::vector<unsigned char>> der_;
  // Lookups without a scan, built once per load: DER bytes, issuer name
  // hash with serial number, subject key identifier, subject name hash.
  // Each maps to store positions (first match first); hits are confirmed.
  std::unordered_map<std::string_view, size_t> by_der_;  // views into der_
  std::unordered_multimap<std::string, size_t> by_issuer_serial_;
  std::unordered_map<std::string, size_t> by_key_id_;
  std::unordered_multimap<unsigned long, size_t> by_subject_;
  std::vector<const X509*> strong_;  // sorted: certificates of the store with a strong key
  SslPtr<EVP_PKEY> key_;
  X509* own_ = nullptr;
  SslPtr<X509_STORE> trust_;
  X509Stack helpers_;  // the store's certificates that are not anchors
  TimeEdges edges_;    // validity times of every certificate above
  mutable TrustMemo memo_;
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
