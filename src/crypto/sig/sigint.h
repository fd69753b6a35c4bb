// Internals of signature verification shared by its files: the state of
// one call, the caller's certificates and keys, the certificate check
// against a key store and the result records.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/pse/pse.h"
#include "crypto/ssf/ssftypes.h"

namespace qorcr {

// Bytes of the caller, not owned.
struct Bytes {
  const unsigned char* p = nullptr;
  size_t n = 0;
  bool empty() const { return p == nullptr || n == 0; }
};

// One SsfVerifyEx call after its argument checks.
struct VerifyCall {
  const char* func = "";  // the exported name, for traces and the error stack
  SsfFormatInfo format{};
  SsfDigestNo digest = SSF_DIGEST_SHA1;
  SsfChainFormatNo chain = SSF_CHAIN_NONE;
  bool inc_certs = false;
  Bytes signature;
  Bytes input;
  bool input_is_content = false;  // `input` is the signed octets, not a ContentInfo
  Bytes key_id;
  Bytes certs;
  std::string signer_name_text;   // as the caller gave it, empty for none
  SslPtr<X509_NAME> signer_name;  // parsed; null for none
  PseRef pse;                     // null with "<no_certificate_check>"
  time_t now = 0;
  SigRcpSsfInformationList* results = nullptr;
  SsfOctetstring* out = nullptr;
  SsfOctetlen* outL = nullptr;
  const char* reason = "";  // short reason of the failing check, for the summary trace
};

// The PKCS#7 formats and the raw signature formats; each returns the
// call's SSF result and appends the signer records.
// How a format's signature is made and checked: as PKCS#7 SignedData, as a
// raw signature value, or not at all.
enum class SignatureKind { kPkcs7, kRaw, kNone };
SignatureKind SignatureKindOf(SsfFormatNo format);

// The one summary line a signing or verifying call leaves in the trace.
void TraceCallSummary(const char* func, const SsfFormatInfo& format, const char* digest,
                      SsfChainFormatNo chain, int32_t rc, const char* reason);

int32_t VerifyPkcs7(VerifyCall* c);
int32_t VerifyRaw(VerifyCall* c);

// The caller's certificates in their chain format, the signer's first
// (X509v3 and PKCS7 as given, X509PKIPathv1 reversed: it lists the anchor
// side first). Returns SSF_API_OK or the decoding failure's code.
int32_t ParseChain(SsfChainFormatNo chain, Bytes data, X509Stack* out);
// A public key as PEM or DER (SubjectPublicKeyInfo or PKCS#1 RSAPublicKey).
int32_t ParsePublicKey(Bytes data, SslPtr<EVP_PKEY>* out);
// An XML-signature key value (RSAKeyValue or DSAKeyValue): SSF_API_OK,
// SSF_API_ERROR_UNSUPPORTED_KEYVALUE for another kind, or
// SSF_API_ERROR_PARSE_KEYVALUE.
int32_t ParseKeyValue(Bytes xml, SslPtr<EVP_PKEY>* out);

// The caller's key ("RAWPUBKEY", "KEYVALUE") or certificates (the other chain formats),
// shared and read-only.
struct CallerKeys {
  SslPtr<EVP_PKEY> key;
  X509Stack certs;
  // KeyCheck of `key` and of each certificate's key, decided once with the
  // decoding: a caller's key is held to the rules of a loaded one.
  bool key_sound = false;
  std::vector<X509*> weak_certs;
  // Each certificate's DER in the order of `certs`, encoded once for the
  // result records (empty where it could not be encoded).
  std::vector<std::vector<unsigned char>> cert_der;
  bool CertSound(const X509* cert) const {
    return std::find(weak_certs.begin(), weak_certs.end(), cert) == weak_certs.end();
  }
  // The kept DER of one of `certs`; empty for any other certificate.
  Bytes DerOf(const X509* cert) const {
    for (size_t i = 0; i < cert_der.size(); ++i)
      if (sk_X509_value(certs.get(), static_cast<int>(i)) == cert)
        return Bytes{cert_der[i].data(), cert_der[i].size()};
    return Bytes{};
  }
};
using CallerKeysRef = std::shared_ptr<const CallerKeys>;
// ParsePublicKey, ParseKeyValue or ParseChain by chain format, answered from a bounded
// cache of recent inputs (compared in full) when it holds the same bytes.
int32_t CallerKeysGet(SsfChainFormatNo chain, Bytes data, CallerKeysRef* out);

// An RFC 4514 distinguished name; SSF_API_BAD_NAME when it cannot be read.
int32_t ParseName(const std::string& text, SslPtr<X509_NAME>* out);

// SSF_API_OK when `cert` is valid at `now` (validity times in strict DER),
// else SSF_API_CERT_EXPIRED with `what` "expired" or "not yet valid".
int32_t CertValidAt(X509* cert, time_t now, const char** what);
// The certificate check against the call's key store: path validation at
// the call's time (with `intermediates` as helpers). Returns SSF_API_OK, 22
// (not trusted), 20 (trusted, but a certificate of the path is out of its
// validity period) or 13, traced.
int32_t CertCheck(const VerifyCall& c, X509* cert, STACK_OF(X509) * intermediates);

// The library's text of a name, "" when it cannot be written.
std::string NameOf(const X509_NAME* name);
// NameOf the certificate's subject, remembered for the last certificate on this thread.
std::string SubjectOf(X509* cert);

// Appends one result record (the certificate's DER goes into the password
// field: `der` when given, which must be what the certificate encodes to);
// `rec` points at the record inside the list afterwards. Returns
// SSF_API_OK, SSF_API_NORESULTLISTMEMORY or SSF_API_UNKNOWN_SECTK_ERROR.
int32_t AppendSigner(const VerifyCall& c, const std::string& id, const std::string& profile,
                     X509* cert, uint32_t result, SigRcpSsfInformation** rec, Bytes der = Bytes{});

// A fresh library string of `n` bytes with a zero byte after them.
bool DupOut(const unsigned char* p, size_t n, SsfOctetstring* out, SsfOctetlen* outL);

}  // namespace qorcr
