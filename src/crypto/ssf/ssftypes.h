// SSF vocabulary shared by the crypto library's services and the ticket
// code that calls them: strings, signer/recipient records, result codes,
// format, chain-format and digest numbers, handles. No OpenSSL types here:
// the ticket code includes this header too.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- strings ----
// 7-bit text with a separate length; need not be zero-terminated.
typedef char* SsfCharstring;
typedef int32_t SsfCharlen;
// Bytes with a separate length.
typedef unsigned char* SsfOctetstring;
typedef int32_t SsfOctetlen;
// Inputs are passed as `const char*` / `const unsigned char*`. Every string a
// service returns is an SsfOctetstring allocated by the library (a text one
// carries a zero byte after its length) and goes back through
// SsfDELSsfOctetstring.

// ---- signer / recipient records ----
typedef struct SigRcpSsfInformation {
  SsfCharstring strSigRcpId;
  SsfCharlen strSigRcpIdL;
  SsfCharstring strSigRcpReserved;
  SsfCharlen strSigRcpReservedL;
  SsfCharstring strSigRcpProfile;
  SsfCharlen strSigRcpProfileL;
  SsfOctetstring strSigRcpPassword;
  SsfOctetlen strSigRcpPasswordL;
  uint32_t uResult;
} SigRcpSsfInformation;

typedef struct SigRcpSsfInformationListStruct {
  struct SigRcpSsfInformationListStruct* ptrNextSigRcp;
  SigRcpSsfInformation* ptrSigRcp;
} SigRcpSsfInformationListStruct;

// Pointer to the first node; an empty list is null.
typedef SigRcpSsfInformationListStruct* SigRcpSsfInformationList;

// ---- handles ----
typedef struct ssf_cert_s* SsfCertHandle;        // reference-counted decoded X.509 certificate
typedef struct ssf_profile_s* SsfProfileHandle;  // an opened key store

// ---- SSF result codes ----
typedef int32_t SSF_RC;

enum : SSF_RC {
  SSF_API_OK = 0,
  SSF_API_NOSECTK = 1,
  SSF_API_INVALID_FORMAT = 2,
  SSF_API_NODATA = 3,
  SSF_API_NOMEMORY = 4,
  SSF_API_SIGNER_ERRORS = 5,
  SSF_API_NORESULTLISTMEMORY = 6,
  SSF_API_UNKNOWN_PAB = 7,
  SSF_API_INVALID_PAB_PASSWORD = 8,
  SSF_API_RECIPIENT_ERRORS = 9,
  SSF_API_INVALID_MDALG = 10,
  SSF_API_ENCODE_FAILED = 11,
  SSF_API_DECODE_FAILED = 12,
  SSF_API_UNKNOWN_SECTK_ERROR = 13,
  SSF_API_SECTK_FUNCTION_NOT_AVAIL = 16,
  SSF_API_INVALID_FUNCARGS = 17,
  SSF_API_INTERNAL_BUG = 18,
  SSF_API_INSECURE_MDALG = 19,
  SSF_API_CERT_EXPIRED = 20,
  SSF_API_PROFILE_LOCKED = 21,
  SSF_API_UNKNOWN_SIGNER = 22,
  SSF_API_UNKNOWN_PROFILE = 23,
  SSF_API_INVALID_PROFILE = 24,
  SSF_API_INVALID_PASSWORD = 25,
  SSF_API_NOCERTIFICATE = 26,
  SSF_API_SIGNER_NOT_OK = 27,
  SSF_API_UNDEFINED_RESULT = 28,
  SSF_API_BAD_NAME = 29,
  SSF_API_ALG_MISMATCH = 30,
  SSF_API_REVOCATION_CERT_REVOKED = 31,
  SSF_API_REVOCATION_CHECK_FAILED = 32,
  SSF_API_REVOCATION_CHECK_ERROR = 33,
  SSF_API_REVOCATION_CERT_UNKNOWN = 34,
  SSF_API_REVOCATION_CERT_ON_HOLD = 35,
  SSF_API_BAD_CERT = 40,
  SSF_API_BAD_CRLSIGNER_CERT = 41,
  SSF_API_BAD_CRL = 42,
  SSF_API_NO_CRL_FOR_CERT = 43,
  SSF_API_CRL_OUTDATED = 44,
  SSF_API_CRL_CRITICAL_ISSUINGDISTPOINT = 45,
  SSF_API_CRL_CRITICAL_EXTENSION = 46,
  SSF_API_CRL_SIGNATURE_NOT_VERIFIED = 49,
  SSF_AUX_NOMEMORY = 51,
  SSF_AUX_NOSIGRCPID = 52,
  SSF_AUX_NOSIGRCPINFO = 53,
  SSF_AUX_NOSIGRCPINFOLIST = 54,
  SSF_API_CHAINBUILD_ERROR = 81,
  SSF_API_CHAINPARSE_ERROR = 82,
  SSF_API_ERROR_DECODING_PKCS7 = 256,
  SSF_API_ERROR_WRONG_PK = 257,
  SSF_API_ERROR_UPDATE_CERT = 258,
  SSF_API_ERROR_UPDATE_PKROOT = 259,
  SSF_API_ERROR_UPDATE_FCPATH = 260,
  SSF_API_ERROR_DECODING_X509 = 261,
  SSF_API_ERROR_DECODING_BASE64 = 262,
  SSF_API_ERROR_DECODING_PEM = 263,
  SSF_API_ERROR_VERIFY_CERT = 264,
  SSF_API_ERROR_DECODING_INPUT = 265,
  SSF_API_ERROR_READING_INPUT = 272,
  SSF_API_ERROR_NO_RESOURCES = 273,
  SSF_API_ERROR_INCOMPLETE_CERT_PATH = 274,
  SSF_API_ERROR_CREATE_KEYVALUE = 288,
  SSF_API_ERROR_UNSUPPORTED_KEYVALUE = 289,
  SSF_API_ERROR_PARSE_KEYVALUE = 290,
  SSF_API_PKCS7_NO_SIGNEDDATA = 328,
  SSF_API_PKCS7_BAD_SIGNEDDATA = 329,
  SSF_API_PKCS7_SD_BAD_SIGNERINFO = 332,
  SSF_API_UNKNOWN_CITYPE = 512,
  SSF_API_CITYPE_NOT_IMPLEMENTED = 513,
  SSF_API_CERT_NO_KEYUSAGE_SIG = 640,
};

// ---- formats, chain formats, digests ----
// Names are matched by exact length and case-insensitively.
enum SsfFormatNo : int32_t {
  SSF_FORMAT_UNKNOWN = 0,
  SSF_FORMAT_PKCS7 = 1,
  SSF_FORMAT_PKCS1_V15 = 4,
  SSF_FORMAT_PKCS1_OAEP = 5,
  SSF_FORMAT_DSA = 6,
  SSF_FORMAT_PKCS7_TSTAMP = 7,
  SSF_FORMAT_RAWHASH = 8,
  SSF_FORMAT_RAWSIG = 9,
  SSF_FORMAT_PKCS1_PSS = 10,
  SSF_FORMAT_RAWHEX = 5001,
  SSF_FORMAT_SPNEGO = 5002,
  SSF_FORMAT_CERTIFICATE = 5004,
};

struct SsfFormatInfo {
  SsfFormatNo number;
  bool flat;  // DSA signature value as r || s
};

enum SsfChainFormatNo : int32_t {
  SSF_CHAIN_UNKNOWN = 0,
  SSF_CHAIN_NONE = 1,
  SSF_CHAIN_X509V3 = 2,
  SSF_CHAIN_X509PKIPATHV1 = 3,
  SSF_CHAIN_PKCS7 = 4,
  SSF_CHAIN_KEYVALUE = 6,
  SSF_CHAIN_RAWPUBKEY = 9,
};

enum SsfDigestNo : int32_t {
  SSF_DIGEST_UNKNOWN = 0,
  SSF_DIGEST_MD2 = 1,
  SSF_DIGEST_MD4 = 2,
  SSF_DIGEST_MD5 = 3,
  SSF_DIGEST_SHA1 = 4,
  SSF_DIGEST_RIPEMD160 = 5,
  SSF_DIGEST_SHA224 = 6,
  SSF_DIGEST_SHA256 = 7,
  SSF_DIGEST_SHA384 = 8,
  SSF_DIGEST_SHA512 = 9,
  SSF_DIGEST_RIPEMD128 = 10,
};

// Keyword lookups: false for an unknown name. An empty chain format is
// SSF_CHAIN_NONE, an empty digest SSF_DIGEST_SHA1 (null/0 counts as empty).
bool SsfLookupFormat(const char* name, SsfCharlen len, SsfFormatInfo* out);
bool SsfLookupChainFormat(const char* name, SsfCharlen len, SsfChainFormatNo* out);
bool SsfLookupDigest(const char* name, SsfCharlen len, SsfDigestNo* out);
// Canonical names for the summary trace ("Unknown" for anything else).
const char* SsfFormatName(SsfFormatNo f);
// As SsfFormatName, with "DSA-FLAT" for the flat DSA form.
const char* SsfFormatInfoName(const SsfFormatInfo& f);
const char* SsfChainFormatName(SsfChainFormatNo f);
const char* SsfDigestName(SsfDigestNo d);

// True when the `len` characters at `s` are exactly `lit` (case counts).
bool SsfTextEquals(const char* s, SsfCharlen len, const char* lit);

// Special key store and signer names.
constexpr char kSsfNoCertificateCheck[] = "<no_certificate_check>";
constexpr char kSsfImplicitSigner[] = "<implicit>";
