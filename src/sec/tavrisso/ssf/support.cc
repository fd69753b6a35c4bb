// SSF binding: filling and emptying the table, the support operations and
// the wrappers that call through the table.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "sec/tavrisso/ssf/bind.h"
#include "sec/tavrisso/ssf/table.h"

namespace {

constexpr int32_t kNoHandle = -1;
constexpr int32_t kMinVersionRecordSize = 56;
constexpr size_t kMinVersionTextLen = 31;
constexpr size_t kSigRcpIdCopySize = 514;
constexpr int32_t kRcSigRcpCopyNoMemory = 202;
constexpr char kVendorWord[] = "RIZEZUVUDE";
constexpr char kProductWord[] = "ZELBOR";
constexpr char kVersionWord[] = "Version ";

// Version record of the bound toolkit; process-wide and unprotected, as the
// table itself is filled under the lifecycle locks.
const qorcr_version_info* version_cache = nullptr;

char* dup_text(const char* p, size_t n, size_t extra) {
  char* out = static_cast<char*>(malloc(n + extra));
  if (out == nullptr) return nullptr;
  memcpy(out, p, n);
  out[n] = '\0';
  return out;
}

// "RIZEZUVUDE ... ZELBOR Version <word> ..." becomes "RIZEZUVUDE Version <word>".
void shorten_version(char* text, int32_t* len) {
  if (static_cast<size_t>(*len) < kMinVersionTextLen || strstr(text, kVendorWord) == nullptr) return;
  const char* product = strstr(text, kProductWord);
  if (product == nullptr) return;
  const char* after = product + strlen(kProductWord);
  while (*after == ' ') ++after;
  if (strncmp(after, kVersionWord, strlen(kVersionWord)) != 0) return;
  const char* word = after + strlen(kVersionWord);
  const char* end = strchr(word, ' ');
  if (end == nullptr || end == word) return;
  std::string shortened = std::string(kVendorWord) + " " + kVersionWord + std::string(word, end);
  memcpy(text, shortened.c_str(), shortened.size() + 1);
  *len = static_cast<int32_t>(shortened.size());
}

}  // namespace

SSF_SUP_RC SsfSupInit3(int32_t borrowed_dll_hdl, const char* /*ssflibname*/, SsfLib* ssflib,
                       SsfSupTrcFunc, SsfSupTrcFunc, int32_t /*version*/) {
  if (ssflib == nullptr) return SSF_SUP_ALREADYLOADED;
  ssflib->bSsfDll = 1;
  if (borrowed_dll_hdl != kNoHandle) ssflib->dll_hdl = kNoHandle;
  ssf_bind_operations(ssflib);
  ssflib->bFIPS1402 = 0;
  return qorcr_init();
}

SSF_SUP_RC SsfSupInitEx(const char* ssflibname, SsfLib* ssflib, SsfSupTrcFunc trc_func_error,
                        SsfSupTrcFunc trc_func_success, int32_t version) {
  return SsfSupInit3(kNoHandle, ssflibname, ssflib, trc_func_error, trc_func_success, version);
}

void SsfSupEnd(SsfLib* ssflib) {
  if (ssflib == nullptr || ssflib->bSsfDll != 1) return;
  if (ssflib->bqorcr_init == 1 && ssflib->bqorcr_done == 1 && ssflib->fp_qorcr_init != nullptr &&
      ssflib->fp_qorcr_done != nullptr)
    ssflib->fp_qorcr_done();
  memset(ssflib->lsSsfToolkitName, 0, sizeof ssflib->lsSsfToolkitName);
  ssflib->dll_hdl = kNoHandle;
  ssflib->bSsfDll = 0;
  version_cache = nullptr;
}

// The crypto library is linked into this object; nothing is loaded.
int32_t DlLoadLib(const char*, int32_t*) { return 0; }
int32_t DlUnloadLib(int32_t*) { return 0; }

const char* SsfSupErrorName(SSF_SUP_RC rc) {
  switch (rc) {
    case SSF_SUP_OK: return "SSF_SUP_OK";
    case SSF_SUP_ALREADYLOADED: return "SSF_SUP_ALREADYLOADED";
    case SSF_SUP_NOTALLFUNCTIONS: return "SSF_SUP_NOTALLFUNCTIONS";
    case SSF_SUP_NOLIB: return "SSF_SUP_NOLIB";
    default: return "<unknown SUP RC>";
  }
}

int32_t SsfSupDecodeCert(SsfLib* ssflib, const unsigned char* data, int32_t length,
                         SsfCertHandle* cert) {
  if (ssflib == nullptr || ssflib->fp_qorzelb_decode_cert == nullptr) return SSF_API_SECTK_FUNCTION_NOT_AVAIL;
  return ssflib->fp_qorzelb_decode_cert(data, length, cert);
}

int32_t SsfSupNormalizeCertificate(SsfLib* lib, const unsigned char* X509CertBlob,
                                   int32_t X509CertLen, unsigned char** pAsn1Blob,
                                   int32_t* lAsn1Blob) {
  if (lib == nullptr || !lib->bSsfCertfromASN1 || !lib->bSsfDELSsfOctetstring ||
      !lib->bSsfFreeCertificate || !lib->bSsfCerttoASN1 || lib->fp_SsfCertfromASN1 == nullptr ||
      lib->fp_SsfCerttoASN1 == nullptr || lib->fp_SsfFreeCertificate == nullptr ||
      lib->fp_SsfDELSsfOctetstring == nullptr)
    return 1;
  if (pAsn1Blob) *pAsn1Blob = nullptr;
  SsfCertHandle cert = nullptr;
  SsfOctetstring der = nullptr;
  SsfOctetlen der_len = 0;
  int32_t rc = lib->fp_SsfCertfromASN1(X509CertBlob, X509CertLen, &cert);
  if (rc == 0) rc = lib->fp_SsfCerttoASN1(cert, &der, &der_len);
  if (rc == 0 && der != nullptr && der_len > 0 && pAsn1Blob != nullptr) {
    *pAsn1Blob = static_cast<unsigned char*>(malloc(static_cast<size_t>(der_len) + 1));
    if (*pAsn1Blob != nullptr) {
      memcpy(*pAsn1Blob, der, static_cast<size_t>(der_len));
      (*pAsn1Blob)[der_len] = 0;
      if (lAsn1Blob) *lAsn1Blob = der_len;
    }
  }
  lib->fp_SsfFreeCertificate(&cert);
  lib->fp_SsfDELSsfOctetstring(&der, &der_len);
  return rc;
}

int32_t SsfLibVersion(SsfLib* lib, char** outputData, int32_t* outputDataL) {
  if (outputData) *outputData = nullptr;
  if (outputDataL) *outputDataL = 0;
  if (lib == nullptr || lib->fp_SsfVersion == nullptr || outputData == nullptr ||
      outputDataL == nullptr)
    return SSF_API_SECTK_FUNCTION_NOT_AVAIL;
  SsfOctetstring text = nullptr;
  SsfOctetlen len = 0;
  int32_t rc = lib->fp_SsfVersion(&text, &len);
  if (rc == 0 && text != nullptr) {
    *outputData = dup_text(reinterpret_cast<char*>(text), static_cast<size_t>(len), 1);
    if (*outputData == nullptr) {
      lib->fp_SsfDELSsfOctetstring(&text, &len);
      return SSF_API_NOMEMORY;
    }
    *outputDataL = len;
  }
  if (lib->fp_SsfDELSsfOctetstring) lib->fp_SsfDELSsfOctetstring(&text, &len);
  return rc;
}

unsigned char SsfSupToolkitIsQORCrypto(SsfLib* lib) {
  if (version_cache != nullptr) return 1;
  if (lib == nullptr || lib->bSsfDll == 0 || lib->fp_qorcr_get_version == nullptr) return 0;
  if (lib->fp_qorcr_get_version(&version_cache) != 0 || version_cache == nullptr ||
      version_cache->struct_size < kMinVersionRecordSize ||
      version_cache->printable_version == nullptr) {
    version_cache = nullptr;
    return 0;
  }
  return 1;
}

int32_t SsfSupToolkitVersionString(SsfLib* lib, char** pp_StrVersion, size_t* pp_StrVersion_L) {
  if (pp_StrVersion) *pp_StrVersion = nullptr;
  if (pp_StrVersion == nullptr || pp_StrVersion_L == nullptr) return SSF_API_INVALID_FUNCARGS;
  *pp_StrVersion_L = 0;
  if (lib == nullptr || lib->bSsfDll != 1) return 1;
  if (SsfSupToolkitIsQORCrypto(lib) && version_cache->printable_version[0] != '\0') {
    const char* v = version_cache->printable_version;
    *pp_StrVersion = dup_text(v, strlen(v), 3);
    if (*pp_StrVersion == nullptr) return SSF_API_NOMEMORY;
    *pp_StrVersion_L = strlen(v);
    return 0;
  }
  int32_t rc = 1;
  if (lib->bSsfVersion) {
    char* text = nullptr;
    int32_t len = 0;
    rc = SsfLibVersion(lib, &text, &len);
    if (rc == 0 && text != nullptr) {
      shorten_version(text, &len);
      *pp_StrVersion = text;
      *pp_StrVersion_L = static_cast<size_t>(len);
    }
  }
  return rc;
}

int32_t SsfLibDELSsfOctetstring(SsfLib* lib, SsfOctetstring* ostr, SsfOctetlen* ostrL) {
  return lib->fp_SsfDELSsfOctetstring(ostr, ostrL);
}

int32_t SsfLibNEWSigRcpSsfInfo(SsfLib* lib, const char* strSigRcpId, SsfCharlen strSigRcpIdL,
                               const char* strSigRcpReserved, SsfCharlen strSigRcpReservedL,
                               const char* strSigRcpProfile, SsfCharlen strSigRcpProfileL,
                               const unsigned char* strSigRcpPassword,
                               SsfOctetlen strSigRcpPasswordL, uint32_t uResult,
                               SigRcpSsfInformation** ppSigRcp) {
  if (lib->lsSsfCodepage != 1)
    return lib->fp_SsfNEWSigRcpSsfInfo(strSigRcpId, strSigRcpIdL, strSigRcpReserved,
                                       strSigRcpReservedL, strSigRcpProfile, strSigRcpProfileL,
                                       strSigRcpPassword, strSigRcpPasswordL, uResult, ppSigRcp);
  char* copy = static_cast<char*>(calloc(1, kSigRcpIdCopySize));
  if (copy == nullptr) return kRcSigRcpCopyNoMemory;
  const size_t n = strSigRcpIdL > 0 ? static_cast<size_t>(strSigRcpIdL) : 0;
  // Only what the copy holds is handed on: never a length past its end.
  const size_t kept = n < kSigRcpIdCopySize ? n : kSigRcpIdCopySize;
  for (size_t i = 0; i < kept && strSigRcpId != nullptr; ++i) copy[i] = strSigRcpId[i];
  const SsfCharlen passed = n > kSigRcpIdCopySize ? static_cast<SsfCharlen>(kSigRcpIdCopySize) : strSigRcpIdL;
  int32_t rc = lib->fp_SsfNEWSigRcpSsfInfo(copy, passed, strSigRcpReserved,
                                           strSigRcpReservedL, strSigRcpProfile,
                                           strSigRcpProfileL, strSigRcpPassword,
                                           strSigRcpPasswordL, uResult, ppSigRcp);
  free(copy);
  return rc;
}

int32_t SsfLibINSSigRcpSsfInfo(SsfLib* lib, SigRcpSsfInformation* pSigRcp,
                               SigRcpSsfInformationList* pList) {
  return lib->fp_SsfINSSigRcpSsfInfo(pSigRcp, pList);
}

int32_t SsfLibDELSigRcpSsfInfoList(SsfLib* lib, SigRcpSsfInformationList* pList) {
  return lib->fp_SsfDELSigRcpSsfInfoList(pList);
}

int32_t SsfLibEncode(SsfLib* lib, const char* strFormat, SsfCharlen strFormatL,
                     const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                     SsfOctetstring* ostrEncodedData, SsfOctetlen* ostrEncodedDataL) {
  return lib->fp_SsfEncode(strFormat, strFormatL, ostrInputData, ostrInputDataL, ostrEncodedData,
                           ostrEncodedDataL);
}

int32_t SsfLibDecode(SsfLib* lib, const char* strFormat, SsfCharlen strFormatL,
                     const unsigned char* ostrEncodedData, SsfOctetlen ostrEncodedDataL,
                     SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL) {
  return lib->fp_SsfDecode(strFormat, strFormatL, ostrEncodedData, ostrEncodedDataL,
                           ostrOutputData, ostrOutputDataL);
}

int32_t SsfLibSign(SsfLib* lib, const char* strFormat, SsfCharlen strFormatL,
                   const char* strHashalg, SsfCharlen strHashalgL, unsigned char bIncCerts,
                   unsigned char bDetached, const unsigned char* ostrInputData,
                   SsfOctetlen ostrInputDataL, SigRcpSsfInformationList signerList,
                   SsfOctetstring* ostrSignedData, SsfOctetlen* ostrSignedDataL) {
  return lib->fp_SsfSign(strFormat, strFormatL, strHashalg, strHashalgL, bIncCerts, bDetached,
                         ostrInputData, ostrInputDataL, signerList, ostrSignedData,
                         ostrSignedDataL);
}

int32_t SsfLibVerify(SsfLib* lib, const char* strFormat, SsfCharlen strFormatL,
                     unsigned char bIncCerts, const unsigned char* ostrSignedData,
                     SsfOctetlen ostrSignedDataL, const unsigned char* ostrInputData,
                     SsfOctetlen ostrInputDataL, const char* strPab, SsfCharlen strPabL,
                     const char* strPabPassword, SsfCharlen strPabPasswordL,
                     SigRcpSsfInformationList* signerResultList, SsfOctetstring* ostrOutputData,
                     SsfOctetlen* ostrOutputDataL) {
  return lib->fp_SsfVerify(strFormat, strFormatL, bIncCerts, ostrSignedData, ostrSignedDataL,
                           ostrInputData, ostrInputDataL, strPab, strPabL, strPabPassword,
                           strPabPasswordL, signerResultList, ostrOutputData, ostrOutputDataL);
}
