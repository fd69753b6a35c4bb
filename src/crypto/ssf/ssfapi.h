// The crypto library's flat C interface as the ticket library binds it:
// administration calls, trace-callback registration, error information,
// signature services, key stores, profiles and certificates. Every call
// returns a signed 32-bit result (SSF codes for the Ssf... services).
#pragma once

#include "crypto/ssf/ssftypes.h"

extern "C" {

// ---- administration (crypto/frame) ----
typedef struct qorcr_version_info {
  int32_t major;
  int32_t minor;
  int32_t bug;
  int32_t pl;
  const char* label;
  const char* state;
  const char* build_date;
  int32_t struct_size;  // size of the record as filled by the library
  int32_t mt_safe;
  const char* printable_version;
  int32_t lib_is_ebcdic;
  const char* platform_tag;
  unsigned char non_blocking_support;
  unsigned char aesni_support;
  unsigned char aesni_for_this_cpu;
  const char* szBuildPath;
  const char* szBuildUser;
  const char* szBuildChangeList;
} qorcr_version_info;

int32_t qorcr_init(void);
int32_t qorcr_done(void);
int32_t qorcr_get_version(const qorcr_version_info** ppVersion);
// The module loader's own function list, for embedding programs; starts the
// loader (the crypto kernel) when it has not started. 0, or its failure.
typedef struct qorcr_f_list {
  int32_t struct_size;
  int32_t (*init)(void);
  int32_t (*done)(void);
  int32_t (*get_version)(const qorcr_version_info** ppVersion);
} qorcr_f_list;
int32_t cryptolib_get_f_list(const qorcr_f_list** ppList);
// The library's allocator: four caller functions, or all null for the
// built-in one; only before the loader starts (else 0xa0000205). Some but
// not all given: the built-in one again and 0xa000000b.
typedef void* (*tQorcryptolib_Malloc)(size_t n);
typedef void* (*tQorcryptolib_Calloc)(size_t count, size_t n);
typedef void* (*tQorcryptolib_Realloc)(void* p, size_t n);
typedef void (*tQorcryptolib_Free)(void* p);
int32_t cryptolib_set_memory_callback(tQorcryptolib_Malloc pMalloc, tQorcryptolib_Calloc pCalloc,
                                      tQorcryptolib_Realloc pRealloc, tQorcryptolib_Free pFree);
int32_t qorcr_set_property_int(const char* name, int32_t value);
int32_t qorcr_set_property_string(const char* name, const char* value);
int32_t qorcr_get_property_int(const char* name, int32_t* value);
int32_t qorcr_get_property_string(const char* name, char* buffer, int32_t size);

typedef int32_t (*tQorcryptolib_Trace_Callback)(int32_t level, const char* szModule,
                                                const char* szFunc, const char* szText);
typedef int32_t (*tQorcryptolib_GetTraceLevel_Callback)(void);
int32_t Qorcryptolib_RegisterTraceCallback(tQorcryptolib_GetTraceLevel_Callback level_cb,
                                           tQorcryptolib_Trace_Callback msg_cb);
int32_t Qorcryptolib_UnregisterTraceCallback(void);
int32_t Qorcryptolib_SetTraceLevel(int32_t level);

// Last error of the calling thread; texts released with SsfDELSsfOctetstring.
int32_t SsfSecTKLastErrorInfo(int32_t ssfrc, int32_t* pCode, SsfOctetstring* pError,
                              SsfOctetlen* pErrorL, SsfOctetstring* pDetail,
                              SsfOctetlen* pDetailL);

// ---- strings, records, result names (crypto/ssf) ----
int32_t SsfVersion(SsfOctetstring* pVersion, SsfOctetlen* pVersionL);
int32_t SsfDELSsfOctetstring(SsfOctetstring* ostr, SsfOctetlen* ostrL);
int32_t SsfNEWSigRcpSsfInfo(const char* strSigRcpId, SsfCharlen strSigRcpIdL,
                            const char* strSigRcpReserved, SsfCharlen strSigRcpReservedL,
                            const char* strSigRcpProfile, SsfCharlen strSigRcpProfileL,
                            const unsigned char* strSigRcpPassword,
                            SsfOctetlen strSigRcpPasswordL, uint32_t uResult,
                            SigRcpSsfInformation** ppSigRcp);
int32_t SsfINSSigRcpSsfInfo(SigRcpSsfInformation* pSigRcp, SigRcpSsfInformationList* pList);
int32_t SsfDELSigRcpSsfInfo(SigRcpSsfInformation** ppSigRcp);
int32_t SsfDELSigRcpSsfInfoList(SigRcpSsfInformationList* pList);
const char* SsfRcName(int32_t rc);
const char* SsfRcDesc(int32_t rc);

// ---- signature services (crypto/sig) ----
int32_t SsfEncode(const char* strFormat, SsfCharlen strFormatL, const unsigned char* ostrInputData,
                  SsfOctetlen ostrInputDataL, SsfOctetstring* ostrEncodedData,
                  SsfOctetlen* ostrEncodedDataL);
int32_t SsfDecode(const char* strFormat, SsfCharlen strFormatL,
                  const unsigned char* ostrEncodedData, SsfOctetlen ostrEncodedDataL,
                  SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL);
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
                    SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL);
int32_t SsfVerify(const char* strFormat, SsfCharlen strFormatL, unsigned char bIncCerts,
                  const unsigned char* ostrSignedData, SsfOctetlen ostrSignedDataL,
                  const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                  const char* strPab, SsfCharlen strPabL, const char* strPabPassword,
                  SsfCharlen strPabPasswordL, SigRcpSsfInformationList* signerResultList,
                  SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL);
int32_t SsfSignEx(const char* strFormat, SsfCharlen strFormatL, const char* strHashalg,
                  SsfCharlen strHashalgL, unsigned char bIncCerts, unsigned char bDetached,
                  const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                  SigRcpSsfInformationList signerList, const char* strChainFormat,
                  SsfCharlen strChainFormatL, SsfOctetstring* ostrCertChain,
                  SsfOctetlen* ostrCertChainL, SsfOctetstring* ostrSignerName,
                  SsfOctetlen* ostrSignerNameL, SsfOctetstring* ostrSignerKeyId,
                  SsfOctetlen* ostrSignerKeyIdL, SsfOctetstring* ostrSignedData,
                  SsfOctetlen* ostrSignedDataL);
int32_t SsfSign(const char* strFormat, SsfCharlen strFormatL, const char* strHashalg,
                SsfCharlen strHashalgL, unsigned char bIncCerts, unsigned char bDetached,
                const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                SigRcpSsfInformationList signerList, SsfOctetstring* ostrSignedData,
                SsfOctetlen* ostrSignedDataL);

// ---- memory key stores and profiles (crypto/pse) ----
// Memory key store calls return 0, -1, 1285, 4129, 4866 or 22 (not SSF codes).
int32_t qor_create_memory_PSE(char** ppName);
// As qor_create_memory_PSE, with ":" and `pGivenName` after the generated name.
int32_t qor_create_named_memory_PSE(const char* pGivenName, char** ppName);
int32_t qor_load_memory_PSE(const char* pName, const unsigned char* pData, int32_t lData);
int32_t qor_save_memory_PSE(const char* pName, unsigned char* pBuffer, int32_t* pSize);
int32_t qor_delete_memory_PSE(const char* pName);

int32_t SsfCreateProfile(const char* strProfile, SsfCharlen strProfileL, const char* strPassword,
                         SsfCharlen strPasswordL, const unsigned char* ostrData,
                         SsfOctetlen ostrDataL);
int32_t SsfOpenProfile(const char* strProfile, SsfCharlen strProfileL, const char* strPassword,
                       SsfCharlen strPasswordL, const char* strUnused1, SsfCharlen strUnused1L,
                       const char* strUnused2, SsfCharlen strUnused2L,
                       SsfProfileHandle* pProfile);
int32_t SsfCloseProfile(SsfProfileHandle* pProfile);
int32_t SsfRemoveProfile(const char* strProfile, SsfCharlen strProfileL);
int32_t SsfPutCertificate(SsfProfileHandle profile, SsfCertHandle cert);

// ---- certificates (crypto/pse, crypto/cert) ----
int32_t qorzelb_decode_cert(const unsigned char* pData, int32_t lData, SsfCertHandle* pCert);
int32_t SsfCertfromASN1(const unsigned char* pData, int32_t lData, SsfCertHandle* pCert);
int32_t SsfCerttoASN1(SsfCertHandle cert, SsfOctetstring* pDer, SsfOctetlen* pDerL);
int32_t SsfFreeCertificate(SsfCertHandle* pCert);
int32_t SsfParseCertificate(SsfCertHandle cert, const char* strAttr, SsfCharlen strAttrL,
                            SsfOctetstring* pText, SsfOctetlen* pTextL);

}  // extern "C"

// Whether the crypto trace shows the entry and exit of every call.
bool SsfEntryTraceOn();

// SsfVerify of a detached PKCS#7 signature over `content` as it is: what
// SsfEncode followed by SsfVerify give, without building the ContentInfo
// that SsfVerify would only take apart again, and without output data.
// Traces as SsfVerify does; SsfEncode's entry and exit are not traced.
int32_t SsfVerifyDetached(const char* strFormat, SsfCharlen strFormatL, unsigned char bIncCerts,
                          const unsigned char* ostrSignedData, SsfOctetlen ostrSignedDataL,
                          const unsigned char* content, SsfOctetlen contentL, const char* strPab,
                          SsfCharlen strPabL, const char* strPabPassword,
                          SsfCharlen strPabPasswordL, SigRcpSsfInformationList* signerResultList);

// Pointer type of an operation this library does not provide: its slot in
// the table stays null and its present flag 0.
typedef int32_t (*SsfUnboundOp)(void);

// The name of an SSF result, or null when the table does not know the
// number (no formatting, so any thread may call it).
const char* SsfRcKnownName(int32_t rc);
