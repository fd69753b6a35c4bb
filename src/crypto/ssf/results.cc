// Names and descriptions of the SSF result codes (SsfRcName, SsfRcDesc).
#include <stdio.h>

#include "crypto/ssf/ssfapi.h"

namespace {

struct RcText {
  int32_t code;
  const char* name;
  const char* desc;
};

constexpr size_t kUnknownRcSize = 64;

const RcText kRcTexts[] = {
    {0, "SSF_API_OK", "Success"},
    {1, "SSF_API_NOSECTK", "No Security Toolkit found"},
    {2, "SSF_API_INVALID_FORMAT", "Specified Format is invalid or not supported"},
    {3, "SSF_API_NODATA", "Input data (parameter) is missing (=zero length)"},
    {4, "SSF_API_NOMEMORY", "Memory or resource allocation failed (out of memory?)"},
    {5, "SSF_API_SIGNER_ERRORS", "A signing operation could not be performed or failed"},
    {6, "SSF_API_NORESULTLISTMEMORY", "Memory allocation for result list failed (out of memory)"},
    {7, "SSF_API_UNKNOWN_PAB", "Private address book not found (PSE not found)"},
    {8, "SSF_API_INVALID_PAB_PASSWORD", "Wrong or missing password for private address book (PSE)"},
    {9, "SSF_API_RECIPIENT_ERRORS", "An envelope operation for a recipient could not be performed or failed"},
    {10, "SSF_API_INVALID_MDALG", "Specified Message Digest algorithm invalid or not supported"},
    {11, "SSF_API_ENCODE_FAILED", "SsfEncode operation failed"},
    {12, "SSF_API_DECODE_FAILED", "SsfDecode operation failed"},
    {13, "SSF_API_UNKNOWN_SECTK_ERROR", "Miscellaneous error reported from security toolkit"},
    {16, "SSF_API_SECTK_FUNCTION_NOT_AVAIL", "Security toolkit does not contain or provide requested API-function"},
    {17, "SSF_API_INVALID_FUNCARGS", "Invalid function arguments supplied to SSF API call"},
    {18, "SSF_API_INTERNAL_BUG", "Software error -- internal consistency check failed"},
    {19, "SSF_API_INSECURE_MDALG", "MDALG is insecure and no longer supported for requested purpose"},
    {20, "SSF_API_CERT_EXPIRED", "Signer/Recipient certificate is expired or not yet valid"},
    {21, "SSF_API_PROFILE_LOCKED", "PSE is locked (SmartCard operation)"},
    {22, "SSF_API_UNKNOWN_SIGNER", "Signer is not known or not trusted *OR* Recipient not found (in address book/PSE)"},
    {23, "SSF_API_UNKNOWN_PROFILE", "Specified Profile (PSE) not found"},
    {24, "SSF_API_INVALID_PROFILE", "Specified Profile (PSE) not usable / defective"},
    {25, "SSF_API_INVALID_PASSWORD", "Wrong or missing password for Profile (PSE)"},
    {26, "SSF_API_NOCERTIFICATE", "Certificate not found"},
    {27, "SSF_API_SIGNER_NOT_OK", "Signature verification failed (for signer) or Envelope failed (for recipient)"},
    {28, "SSF_API_UNDEFINED_RESULT", "This signer or recipient entry was not processed"},
    {29, "SSF_API_BAD_NAME", "Supplied Name invalid (can not be parsed as distinguished name)"},
    {30, "SSF_API_ALG_MISMATCH", "Algorithm mismatch between Certificate and signature (-format)"},
    {31, "SSF_API_REVOCATION_CERT_REVOKED", "A certificate in the path has been revoked"},
    {32, "SSF_API_REVOCATION_CHECK_FAILED", "Revocation check failed (try again)"},
    {33, "SSF_API_REVOCATION_CHECK_ERROR", "Revocation check error"},
    {34, "SSF_API_REVOCATION_CERT_UNKNOWN", "Certificate is unknown"},
    {35, "SSF_API_REVOCATION_CERT_ON_HOLD", "Certificate is on hold"},
    {40, "SSF_API_BAD_CERT", "Malformed X.509 Certificate"},
    {41, "SSF_API_BAD_CRLSIGNER_CERT", "Bad CRL-Signer Certificate (invalid attributes)"},
    {42, "SSF_API_BAD_CRL", "Malformed Certificate Revocation List (CRL)"},
    {43, "SSF_API_NO_CRL_FOR_CERT", "No suitable CRL supplied for Certificate"},
    {44, "SSF_API_CRL_OUTDATED", "CRL is outdated (CurrentTime>CRL.nextUpdate)"},
    {45, "SSF_API_CRL_CRITICAL_ISSUINGDISTPOINT", "CRL contains unsupported (critical) IssuingDistributionPoint extension"},
    {46, "SSF_API_CRL_CRITICAL_EXTENSION", "CRL contains unrecognized critical extension"},
    {49, "SSF_API_CRL_SIGNATURE_NOT_VERIFIED", "Per caller request, CRL signature not verified"},
    {51, "SSF_AUX_NOMEMORY", "Memory allocation failed for ssfaux function"},
    {52, "SSF_AUX_NOSIGRCPID", "Signer/Recipient ID is empty or missing"},
    {53, "SSF_AUX_NOSIGRCPINFO", "Signer/Recipient Info is empty or missing"},
    {54, "SSF_AUX_NOSIGRCPINFOLIST", "Signer/Recipient Info List is empty or missing"},
    {81, "SSF_API_CHAINBUILD_ERROR", "Error trying to build requested certificate chain"},
    {82, "SSF_API_CHAINPARSE_ERROR", "Error trying to parse supplied certificate chain"},
    {256, "SSF_API_ERROR_DECODING_PKCS7", "Error decoding PKCS#7 data"},
    {257, "SSF_API_ERROR_WRONG_PK", "Public key does not match"},
    {261, "SSF_API_ERROR_DECODING_X509", "Error decoding X.509 certificate"},
    {262, "SSF_API_ERROR_DECODING_BASE64", "Error decoding Base64 data"},
    {263, "SSF_API_ERROR_DECODING_PEM", "Error decoding PEM data"},
    {328, "SSF_API_PKCS7_NO_SIGNEDDATA", "PKCS#7 content is not SignedData"},
    {329, "SSF_API_PKCS7_BAD_SIGNEDDATA", "Malformed PKCS#7 SignedData"},
    {332, "SSF_API_PKCS7_SD_BAD_SIGNERINFO", "Malformed SignerInfo in PKCS#7 SignedData"},
    {640, "SSF_API_CERT_NO_KEYUSAGE_SIG", "Certificate has no the required signature key usage"},
};

const RcText* find(int32_t rc) {
  for (const RcText& t : kRcTexts)
    if (t.code == rc) return &t;
  return nullptr;
}

char unknown_name[kUnknownRcSize];
char unknown_desc[kUnknownRcSize];

}  // namespace

const char* SsfRcKnownName(int32_t rc) {
  const RcText* t = find(rc);
  return t ? t->name : nullptr;
}

extern "C" {

// Unknown codes share one static buffer per call: not safe for concurrent callers.
const char* SsfRcName(int32_t rc) {
  if (const RcText* t = find(rc)) return t->name;
  snprintf(unknown_name, sizeof unknown_name, "Unknown SSF-RC (0x%08x)", static_cast<unsigned>(rc));
  return unknown_name;
}

const char* SsfRcDesc(int32_t rc) {
  if (const RcText* t = find(rc)) return t->desc;
  snprintf(unknown_desc, sizeof unknown_desc, "Unknown SSF-RC (0x%08x)", static_cast<unsigned>(rc));
  return unknown_desc;
}

}  // extern "C"
