// The SSF function table through which the ticket code reaches the crypto
// library, and the binding layer that fills it, calls through it and empties
// it. One definition for every compile unit that touches the table.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/dptrc/dptrc.h"
#include "crypto/ssf/ssfapi.h"

typedef int32_t SSF_SUP_RC;

enum : SSF_SUP_RC {
  SSF_SUP_OK = 0,
  SSF_SUP_ALREADYLOADED = 1,
  SSF_SUP_NOTALLFUNCTIONS = 5,
  SSF_SUP_NOLIB = 10,
};

// Interface version handed to SsfSupInit3 by the library start.
constexpr int32_t kSsfSupVersion = 259;

constexpr size_t kSsfToolkitNameSize = 11;
constexpr size_t kSsfAlgNameSize = 256;

// Operation pointers (typed as the operation they name; SsfUnboundOp for
// operations this library does not provide), then one present flag per
// operation, then the toolkit settings.
typedef struct ssfsup_ssflib {
  decltype(&SsfVersion) fp_SsfVersion;
  SsfUnboundOp fp_SsfQueryProperties;
  decltype(&SsfSign) fp_SsfSign;
  decltype(&SsfVerify) fp_SsfVerify;
  SsfUnboundOp fp_SsfEnvelope;
  SsfUnboundOp fp_SsfDevelope;
  decltype(&SsfEncode) fp_SsfEncode;
  decltype(&SsfDecode) fp_SsfDecode;
  SsfUnboundOp fp_SsfAddSign;
  SsfUnboundOp fp_SsfDigest;
  decltype(&SsfDELSsfOctetstring) fp_SsfDELSsfOctetstring;
  decltype(&SsfNEWSigRcpSsfInfo) fp_SsfNEWSigRcpSsfInfo;
  decltype(&SsfINSSigRcpSsfInfo) fp_SsfINSSigRcpSsfInfo;
  decltype(&SsfDELSigRcpSsfInfo) fp_SsfDELSigRcpSsfInfo;
  decltype(&SsfDELSigRcpSsfInfoList) fp_SsfDELSigRcpSsfInfoList;
  decltype(&SsfOpenProfile) fp_SsfOpenProfile;
  decltype(&SsfCloseProfile) fp_SsfCloseProfile;
  decltype(&SsfCreateProfile) fp_SsfCreateProfile;
  decltype(&SsfRemoveProfile) fp_SsfRemoveProfile;
  SsfUnboundOp fp_SsfGetOwnCertificate;
  SsfUnboundOp fp_SsfGetCertificate;
  decltype(&SsfPutCertificate) fp_SsfPutCertificate;
  SsfUnboundOp fp_SsfRemoveCertificate;
  decltype(&SsfFreeCertificate) fp_SsfFreeCertificate;
  SsfUnboundOp fp_SsfGetCertificateList;
  SsfUnboundOp fp_SsfEnumCertificateList;
  SsfUnboundOp fp_SsfFreeCertificateList;
  decltype(&SsfCertfromASN1) fp_SsfCertfromASN1;
  decltype(&SsfCerttoASN1) fp_SsfCerttoASN1;
  decltype(&SsfParseCertificate) fp_SsfParseCertificate;
  SsfUnboundOp fp_SsfGetCertificateRequest;
  SsfUnboundOp fp_SsfPutCertificateResponse;
  SsfUnboundOp fp_qorzelb_parseobject;
  SsfUnboundOp fp_qor_secin;
  decltype(&qor_create_memory_PSE) fp_qor_create_memory_PSE;
  decltype(&qor_delete_memory_PSE) fp_qor_delete_memory_PSE;
  decltype(&qor_load_memory_PSE) fp_qor_load_memory_PSE;
  decltype(&qor_save_memory_PSE) fp_qor_save_memory_PSE;
  decltype(&SsfSignEx) fp_SsfSignEx;
  decltype(&SsfVerifyEx) fp_SsfVerifyEx;
  SsfUnboundOp fp_SsfEnvelopeEx;
  SsfUnboundOp fp_SsfDevelopeEx;
  decltype(&SsfSecTKLastErrorInfo) fp_SsfSecTKLastErrorInfo;
  SsfUnboundOp fp_load_GOST_plugin;
  SsfUnboundOp fp_unload_GOST_plugin;
  SsfUnboundOp fp_SsfDecodeCrlArray;
  SsfUnboundOp fp_SsfFreeCrlArray;
  SsfUnboundOp fp_SsfVerifyCRL;
  SsfUnboundOp fp_SsfParseCRL;
  SsfUnboundOp fp_SsfFreeCrlList;
  SsfUnboundOp fp_SsfGetTimeStampReq;
  SsfUnboundOp fp_SsfAddTimeStampResp;
  SsfUnboundOp fp_SsfGetCrlDpArrayFromCert;
  SsfUnboundOp fp_SsfFreeCrlDpArray;
  SsfUnboundOp fp_SsfCheckCertWithCrlArray;
  SsfUnboundOp fp_SsfZelborNameToLdapUTF8;
  SsfUnboundOp fp_SsfConvertLargeIntToHex;
  SsfUnboundOp fp_SsfSignProfile;
  decltype(&SsfRcName) fp_SsfRcName;
  decltype(&SsfRcDesc) fp_SsfRcDesc;
  decltype(&qorcr_init) fp_qorcr_init;
  decltype(&qorcr_done) fp_qorcr_done;
  SsfUnboundOp fp_SsfStorePse;
  SsfUnboundOp fp_SsfReadPse;
  SsfUnboundOp fp_SsfGetCertificateChain;
  SsfUnboundOp fp_SsfGetTrustStateOfRootCertificate;
  SsfUnboundOp fp_SsfSetTrustStateOfRootCertificate;
  decltype(&qorcr_set_property_int) fp_qorcr_set_property_int;
  decltype(&qorcr_get_property_int) fp_qorcr_get_property_int;
  decltype(&qorcr_get_property_string) fp_qorcr_get_property_string;
  decltype(&qorcr_get_version) fp_qorcr_get_version;
  decltype(&qorzelb_decode_cert) fp_qorzelb_decode_cert;
  SsfUnboundOp fp_qorzelb_create_CertEntryList;
  SsfUnboundOp fp_qorzelb_free_CertEntryList;
  SsfUnboundOp fp_qorzelb_ZelborName2CertEntryList;
  SsfUnboundOp fp_qorzelb_sprint_CertEntryList;
  SsfUnboundOp fp_aux_free_String;

  unsigned char bSsfDll;
  unsigned char bSsfVersion;
  unsigned char bSsfQueryProperties;
  unsigned char bSsfSign;
  unsigned char bSsfVerify;
  unsigned char bSsfEnvelope;
  unsigned char bSsfDevelope;
  unsigned char bSsfEncode;
  unsigned char bSsfDecode;
  unsigned char bSsfAddSign;
  unsigned char bSsfDigest;
  unsigned char bSsfDELSsfOctetstring;
  unsigned char bSsfNEWSigRcpSsfInfo;
  unsigned char bSsfINSSigRcpSsfInfo;
  unsigned char bSsfDELSigRcpSsfInfo;
  unsigned char bSsfDELSigRcpSsfInfoList;
  unsigned char bSsfOpenProfile;
  unsigned char bSsfCloseProfile;
  unsigned char bSsfCreateProfile;
  unsigned char bSsfRemoveProfile;
  unsigned char bSsfGetOwnCertificate;
  unsigned char bSsfGetCertificate;
  unsigned char bSsfPutCertificate;
  unsigned char bSsfRemoveCertificate;
  unsigned char bSsfFreeCertificate;
  unsigned char bSsfGetCertificateList;
  unsigned char bSsfEnumCertificateList;
  unsigned char bSsfFreeCertificateList;
  unsigned char bSsfCertfromASN1;
  unsigned char bSsfCerttoASN1;
  unsigned char bSsfParseCertificate;
  unsigned char bSsfGetCertificateRequest;
  unsigned char bSsfPutCertificateResponse;
  unsigned char bqorzelb_parseobject;
  unsigned char bqor_secin;
  unsigned char bqor_create_memory_PSE;
  unsigned char bqor_delete_memory_PSE;
  unsigned char bqor_load_memory_PSE;
  unsigned char bqor_save_memory_PSE;
  unsigned char bSsfSignEx;
  unsigned char bSsfVerifyEx;
  unsigned char bSsfEnvelopeEx;
  unsigned char bSsfDevelopeEx;
  unsigned char bSsfSecTKLastErrorInfo;
  unsigned char bload_GOST_plugin;
  unsigned char bunload_GOST_plugin;
  unsigned char bGOST_plugin_available;
  unsigned char bSsfDecodeCrlArray;
  unsigned char bSsfFreeCrlArray;
  unsigned char bSsfVerifyCRL;
  unsigned char bSsfParseCRL;
  unsigned char bSsfFreeCrlList;
  unsigned char bSsfGetTimeStampReq;
  unsigned char bSsfAddTimeStampResp;
  unsigned char bSsfCheckCertWithCrlArray;
  unsigned char bSsfGetCrlDpArrayFromCert;
  unsigned char bSsfFreeCrlDpArray;
  unsigned char bSsfZelborNameToLdapUTF8;
  unsigned char bSsfConvertLargeIntToHex;
  unsigned char bSsfSignProfile;
  unsigned char bSsfRcName;
  unsigned char bSsfRcDesc;
  unsigned char bqorcr_init;
  unsigned char bqorcr_done;
  unsigned char bqorcr_get_version;
  unsigned char bqorzelb_decode_cert;
  unsigned char bqorzelb_create_CertEntryList;
  unsigned char bqorzelb_free_CertEntryList;
  unsigned char bqorzelb_ZelborName2CertEntryList;
  unsigned char bqorzelb_sprint_CertEntryList;
  unsigned char baux_free_String;
  unsigned char bSsfStorePse;
  unsigned char bSsfReadPse;
  unsigned char bSsfGetCertificateChain;
  unsigned char bSsfGetTrustStateOfRootCertificate;
  unsigned char bSsfSetTrustStateOfRootCertificate;
  unsigned char bqorcr_set_property_int;
  unsigned char bqorcr_get_property_int;
  unsigned char bqorcr_get_property_string;

  char lsSsfToolkitName[kSsfToolkitNameSize];
  char lsSsfHash[kSsfAlgNameSize];
  int32_t lsSsfHashL;
  char lsSsfSymenc[kSsfAlgNameSize];
  int32_t lsSsfSymencL;
  int32_t lsSsfCodepage;  // 1: signer identifiers pass through a bounded copy
  int32_t bFIPS1402;
  int32_t dll_hdl;  // -1: no handle
} SsfLib;

typedef void (*SsfSupTrcFunc)(const char*);

// ---- binding ----
// Fills the table with the crypto library's entry points and initialises it
// (qorcr_init); returns that result, or 1 for a null table.
SSF_SUP_RC SsfSupInit3(int32_t borrowed_dll_hdl, const char* ssflibname, SsfLib* ssflib,
                       SsfSupTrcFunc trc_func_error, SsfSupTrcFunc trc_func_success,
                       int32_t version);
SSF_SUP_RC SsfSupInitEx(const char* ssflibname, SsfLib* ssflib, SsfSupTrcFunc trc_func_error,
                        SsfSupTrcFunc trc_func_success, int32_t version);
void SsfSupEnd(SsfLib* ssflib);
int32_t DlLoadLib(const char* libname, int32_t* phandle);
int32_t DlUnloadLib(int32_t* phandle);

// ---- support operations ----
const char* SsfSupErrorName(SSF_SUP_RC rc);
int32_t SsfSupDecodeCert(SsfLib* ssflib, const unsigned char* data, int32_t length,
                         SsfCertHandle* cert);
// DER of a certificate in any form SsfCertfromASN1 takes, in a malloc'd
// buffer with one zero byte past the end.
int32_t SsfSupNormalizeCertificate(SsfLib* ssflib, const unsigned char* X509CertBlob,
                                   int32_t X509CertLen, unsigned char** pAsn1Blob,
                                   int32_t* lAsn1Blob);
// The SSF version text, malloc'd and zero-terminated; returns the SSF result.
int32_t SsfLibVersion(SsfLib* ssflib, char** outputData, int32_t* outputDataL);
unsigned char SsfSupToolkitIsQORCrypto(SsfLib* CurrentSsfLib);
// The toolkit's printable version in a fresh malloc'd buffer owned by the caller.
int32_t SsfSupToolkitVersionString(SsfLib* CurrentSsfLib, char** pp_StrVersion,
                                   size_t* pp_StrVersion_L);
// One static fallback buffer: not safe for concurrent callers.
const char* SsfErrorDescription(int32_t p_ssfrc);
int32_t SsfSupLastErrorInfo(SsfLib* CurrentSsfLib, int32_t last_ssfRC, int32_t* pp_lastECode,
                            char** pp_lastError, int32_t* pp_lastError_L, char** pp_lastDetail,
                            int32_t* pp_lastDetail_L);
void DumpSsfError(DPTRC_FILE_HDL f, const char* prefix, int32_t code, SsfLib* pSsfLib);
// Traces a failed SsfSign or SsfVerify (`call`) with result `r` as an error
// of `module`, and the first signer's result; returns that signer's entry,
// or null (traced) when the list has none.
const SigRcpSsfInformation* DumpSsfCallFailure(DPTRC_FILE_HDL f, const char* module,
                                               const char* call, int32_t r, SsfLib* pSsfLib,
                                               SigRcpSsfInformationList signers);

// ---- wrappers that call through the table ----
int32_t SsfLibDELSsfOctetstring(SsfLib* ssflib, SsfOctetstring* ostr, SsfOctetlen* ostrL);
int32_t SsfLibNEWSigRcpSsfInfo(SsfLib* ssflib, const char* strSigRcpId, SsfCharlen strSigRcpIdL,
                               const char* strSigRcpReserved, SsfCharlen strSigRcpReservedL,
                               const char* strSigRcpProfile, SsfCharlen strSigRcpProfileL,
                               const unsigned char* strSigRcpPassword,
                               SsfOctetlen strSigRcpPasswordL, uint32_t uResult,
                               SigRcpSsfInformation** ppSigRcp);
int32_t SsfLibINSSigRcpSsfInfo(SsfLib* ssflib, SigRcpSsfInformation* pSigRcp,
                               SigRcpSsfInformationList* pList);
int32_t SsfLibDELSigRcpSsfInfoList(SsfLib* ssflib, SigRcpSsfInformationList* pList);
int32_t SsfLibEncode(SsfLib* ssflib, const char* strFormat, SsfCharlen strFormatL,
                     const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                     SsfOctetstring* ostrEncodedData, SsfOctetlen* ostrEncodedDataL);
int32_t SsfLibDecode(SsfLib* ssflib, const char* strFormat, SsfCharlen strFormatL,
                     const unsigned char* ostrEncodedData, SsfOctetlen ostrEncodedDataL,
                     SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL);
int32_t SsfLibSign(SsfLib* ssflib, const char* strFormat, SsfCharlen strFormatL,
                   const char* strHashalg, SsfCharlen strHashalgL, unsigned char bIncCerts,
                   unsigned char bDetached, const unsigned char* ostrInputData,
                   SsfOctetlen ostrInputDataL, SigRcpSsfInformationList signerList,
                   SsfOctetstring* ostrSignedData, SsfOctetlen* ostrSignedDataL);
int32_t SsfLibVerify(SsfLib* ssflib, const char* strFormat, SsfCharlen strFormatL,
                     unsigned char bIncCerts, const unsigned char* ostrSignedData,
                     SsfOctetlen ostrSignedDataL, const unsigned char* ostrInputData,
                     SsfOctetlen ostrInputDataL, const char* strPab, SsfCharlen strPabL,
                     const char* strPabPassword, SsfCharlen strPabPasswordL,
                     SigRcpSsfInformationList* signerResultList, SsfOctetstring* ostrOutputData,
                     SsfOctetlen* ostrOutputDataL);

// ---- trace bridge: the crypto library's trace into the ticket trace ----
int32_t Vorlith_Trace_Callback(int32_t level, const char* szModule, const char* szFunc,
                               const char* szText);
int32_t VorlithSetTraceLevel(int32_t level);
int32_t VorlithSetTraceFile(DPTRC_FILE_HDL fp_vlt_tf);
