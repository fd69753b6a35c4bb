// SsfVerifyEx and SsfVerify: argument checks, the key store, the signer
// name and the time, then the format's own verification and one summary
// trace line per call.
#include <string.h>
#include <time.h>

#include "crypto/base/digest.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr char kNeedCertificates[] = "Need certificates";
constexpr char kKeyValueForPkcs7[] = "Certificates in key/value format not allowed for PKCS7";
constexpr char kKeyValueHere[] = "key/value and rawpubkey format not allowed here";
constexpr char kNoTime[] = "Cannot get current time";

struct Args {
  const char* format;
  SsfCharlen formatL;
  const char* hashalg;
  SsfCharlen hashalgL;
  unsigned char inc_certs;
  const unsigned char* signature;
  SsfOctetlen signatureL;
  const unsigned char* input;
  SsfOctetlen inputL;
  const char* pab;
  SsfCharlen pabL;
  const char* password;
  SsfCharlen passwordL;
  const char* signer;
  SsfCharlen signerL;
  const unsigned char* key_id;
  SsfOctetlen key_idL;
  const char* chain;
  SsfCharlen chainL;
  const unsigned char* certs;
  SsfOctetlen certsL;
  bool input_is_content = false;
};

Bytes bytes(const unsigned char* p, SsfOctetlen n) {
  Bytes b;
  if (p != nullptr && n > 0) b.p = p, b.n = static_cast<size_t>(n);
  return b;
}

bool is_pkcs7(SsfFormatNo f) { return f == SSF_FORMAT_PKCS7 || f == SSF_FORMAT_PKCS7_TSTAMP; }

bool key_format(SsfChainFormatNo ch) {
  return ch == SSF_CHAIN_KEYVALUE || ch == SSF_CHAIN_RAWPUBKEY;
}

int32_t refuse(VerifyCall* c, int32_t rc, const char* reason) {
  c->reason = reason;
  ErrorPush(rc, c->func, reason);
  return rc;
}

int32_t run(const Args& a, VerifyCall* c) {
  // Outputs are cleared before anything can fail.
  if (c->out) *c->out = nullptr;
  if (c->outL) *c->outL = 0;
  if (c->results == nullptr) return refuse(c, SSF_API_INVALID_FUNCARGS, "no signer result list");
  *c->results = nullptr;
  // Format, digest and chain format must be known names.
  if (!SsfLookupFormat(a.format, a.formatL, &c->format)) return SSF_API_INVALID_FORMAT;
  if (c->format.number == SSF_FORMAT_SPNEGO)
    return refuse(c, SSF_API_INVALID_FORMAT, "SPNEGO is not available");
  if (!SsfLookupChainFormat(a.chain, a.chainL, &c->chain)) return SSF_API_INVALID_FORMAT;
  SsfDigestNo digest = SSF_DIGEST_UNKNOWN;
  const int32_t drc = DigestLookup(a.hashalg, a.hashalgL, &digest);
  if (drc == SSF_API_INSECURE_MDALG) SsfLookupDigest(a.hashalg, a.hashalgL, &c->digest);
  if (drc != SSF_API_OK) return drc;
  c->digest = digest;
  // A signature and a key store name are required; a password length must
  // come with a password.
  c->signature = bytes(a.signature, a.signatureL);
  c->input = bytes(a.input, a.inputL);
  c->input_is_content = a.input_is_content;
  c->key_id = bytes(a.key_id, a.key_idL);
  c->certs = bytes(a.certs, a.certsL);
  c->inc_certs = a.inc_certs == 1;
  if (c->signature.empty()) return SSF_API_NODATA;
  if (a.pab == nullptr || a.pabL <= 0) return SSF_API_UNKNOWN_PAB;
  if (a.passwordL < 0 || (a.passwordL > 0 && a.password == nullptr))
    return SSF_API_INVALID_PAB_PASSWORD;
  // Without a key store the caller passes the certificates to check against
  // (not as key values for PKCS#7); a key store takes no key values.
  if (SsfTextEquals(a.pab, a.pabL, kSsfNoCertificateCheck)) {
    if (c->chain == SSF_CHAIN_NONE || c->certs.empty())
      return refuse(c, SSF_API_INVALID_FUNCARGS, kNeedCertificates);
    if (is_pkcs7(c->format.number) && key_format(c->chain))
      return refuse(c, SSF_API_INVALID_FUNCARGS, kKeyValueForPkcs7);
  } else {
    if (key_format(c->chain)) return refuse(c, SSF_API_INVALID_FUNCARGS, kKeyValueHere);
    const int32_t rc = PseOpen(a.pab, a.pabL, a.password, a.passwordL, c->func, &c->pse);
    if (rc != SSF_API_OK) return rc;
  }
  // A wanted signer must be a valid name; every check uses one time.
  if (a.signer != nullptr && a.signerL > 0 && !SsfTextEquals(a.signer, a.signerL, kSsfImplicitSigner)) {
    c->signer_name_text.assign(a.signer, static_cast<size_t>(a.signerL));
    const int32_t rc = ParseName(c->signer_name_text, &c->signer_name);
    if (rc != SSF_API_OK) return refuse(c, rc, "signer name is not a distinguished name");
  }
  c->now = time(nullptr);
  if (c->now == static_cast<time_t>(-1)) return refuse(c, SSF_API_UNKNOWN_SECTK_ERROR, kNoTime);
  // Each format verifies in its own way.
  switch (SignatureKindOf(c->format.number)) {
    case SignatureKind::kPkcs7:
      return VerifyPkcs7(c);
    case SignatureKind::kRaw:
      return VerifyRaw(c);
    case SignatureKind::kNone:
      break;
  }
  return refuse(c, SSF_API_INVALID_FORMAT, "format not available for verification");
}

int32_t verify(const char* func, const Args& a, SigRcpSsfInformationList* results,
               SsfOctetstring* out, SsfOctetlen* outL) {
  VerifyCall c;
  c.func = func;
  c.format.number = SSF_FORMAT_UNKNOWN;
  c.digest = SSF_DIGEST_UNKNOWN;
  c.chain = SSF_CHAIN_UNKNOWN;
  c.results = results;
  c.out = out;
  c.outL = outL;
  const int32_t rc = run(a, &c);
  // Whatever OpenSSL left behind belongs to this call only.
  OpenSslErrorsDrop();
  // A failed call always leaves its error for SsfSecTKLastErrorInfo.
  if (rc != SSF_API_OK && !ErrorPending()) ErrorPush(rc, func, *c.reason ? c.reason : SsfRcDesc(rc));
  TraceCallSummary(func, c.format, SsfDigestName(c.digest), c.chain, rc, c.reason);
  return rc;
}

}  // namespace

SignatureKind SignatureKindOf(SsfFormatNo format) {
  switch (format) {
    case SSF_FORMAT_PKCS7:
      return SignatureKind::kPkcs7;
    case SSF_FORMAT_PKCS1_V15:
    case SSF_FORMAT_DSA:
      return SignatureKind::kRaw;
    case SSF_FORMAT_PKCS7_TSTAMP:
    case SSF_FORMAT_CERTIFICATE:
    case SSF_FORMAT_UNKNOWN:
    case SSF_FORMAT_PKCS1_OAEP:
    case SSF_FORMAT_RAWHASH:
    case SSF_FORMAT_RAWSIG:
    case SSF_FORMAT_PKCS1_PSS:
    case SSF_FORMAT_RAWHEX:
    case SSF_FORMAT_SPNEGO:
      break;
  }
  return SignatureKind::kNone;
}

void TraceCallSummary(const char* func, const SsfFormatInfo& format, const char* digest,
                      SsfChainFormatNo chain, int32_t rc, const char* reason) {
  Trace(kTrcDetail, func, "%-12s: Format=%-10s Alg=%-10s ChainFormat=%-15s Return=%-25s Descr=%s",
        func, SsfFormatInfoName(format), digest, SsfChainFormatName(chain), SsfRcName(rc), reason);
}
}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t SsfVerifyEx(const char* strFormat, SsfCharlen strFormatL, const char* strHashalg,
                    SsfCharlen strHashalgL, unsigned char bIncCerts,
                    const unsigned char* ostrSignedData, SsfOctetlen ostrSignedDataL,
                    const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                    const char* strPab, SsfCharlen strPabL, const char* strPabPassword,
                    SsfCharlen strPabPasswordL, const char* strSignerName,
                    SsfCharlen strSignerNameL, const unsigned char* ostrSignerKeyId,
                    SsfOctetlen ostrSignerKeyIdL, const char* strChainFormat,
                    SsfCharlen strChainFormatL, const unsigned char* ostrCertificates,
                    SsfOctetlen ostrCertificatesL, SigRcpSsfInformationList* signerResultList,
                    SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL) {
  SsfEntry entry("SsfVerifyEx");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const Args a{strFormat,        strFormatL,     strHashalg,      strHashalgL,
                 bIncCerts,        ostrSignedData, ostrSignedDataL, ostrInputData,
                 ostrInputDataL,   strPab,         strPabL,         strPabPassword,
                 strPabPasswordL,  strSignerName,  strSignerNameL,  ostrSignerKeyId,
                 ostrSignerKeyIdL, strChainFormat, strChainFormatL, ostrCertificates,
                 ostrCertificatesL};
    return verify("SsfVerifyEx", a, signerResultList, ostrOutputData, ostrOutputDataL);
  })
}

int32_t SsfVerify(const char* strFormat, SsfCharlen strFormatL, unsigned char bIncCerts,
                  const unsigned char* ostrSignedData, SsfOctetlen ostrSignedDataL,
                  const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                  const char* strPab, SsfCharlen strPabL, const char* strPabPassword,
                  SsfCharlen strPabPasswordL, SigRcpSsfInformationList* signerResultList,
                  SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL) {
  SsfEntry entry("SsfVerify");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    // No digest name, signer name, key identifier, chain format or certificates.
    const Args a{strFormat,      strFormatL,      nullptr,        0,              bIncCerts,
                 ostrSignedData, ostrSignedDataL, ostrInputData,  ostrInputDataL,
                 strPab,         strPabL,         strPabPassword, strPabPasswordL,
                 nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0};
    return verify("SsfVerify", a, signerResultList, ostrOutputData, ostrOutputDataL);
  })
}

}  // extern "C"

bool SsfEntryTraceOn() { return TraceWanted(kTrcDetail); }

int32_t SsfVerifyDetached(const char* strFormat, SsfCharlen strFormatL, unsigned char bIncCerts,
                          const unsigned char* ostrSignedData, SsfOctetlen ostrSignedDataL,
                          const unsigned char* content, SsfOctetlen contentL, const char* strPab,
                          SsfCharlen strPabL, const char* strPabPassword,
                          SsfCharlen strPabPasswordL, SigRcpSsfInformationList* signerResultList) {
  SsfEntry entry("SsfVerify");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    Args a{strFormat,      strFormatL,      nullptr,        0,              bIncCerts,
           ostrSignedData, ostrSignedDataL, content,        contentL,       strPab,
           strPabL,        strPabPassword,  strPabPasswordL, nullptr, 0, nullptr, 0, nullptr, 0,
           nullptr, 0};
    a.input_is_content = true;
    return verify("SsfVerify", a, signerResultList, nullptr, nullptr);
  })
}
