// Ticket engine: the context records of validating and creating a whole
// ticket, the two engine entry points of each direction and their
// signature steps. Every call into the SSF table made from here runs under
// ssf_rmtx, taken by the callers (evaluation and assertion creation).
#pragma once

#include <stdint.h>

#include "base/dptrc/dptrc.h"
#include "sec/tavrisso/engine/content_list.h"
#include "sec/tavrisso/ssf/table.h"
#include "sec/tavrisso/engine/byte_stream.h"

// Field sizes of RazuSsfParams (blank- or zero-padded, read trimmed).
constexpr size_t kRazuFrmtSize = 20;
constexpr size_t kRazuAlgSize = 20;
constexpr size_t kRazuProNameSize = 132;
constexpr size_t kRazuDNSize = 255;
constexpr size_t kRazuTkSize = 10;
constexpr size_t kRazuCodepageSize = kTicketCodepageSize;

struct RazuSsfParams {
  char chFrmt[kRazuFrmtSize];        // "PKCS7"
  char chEncrAlg[kRazuAlgSize];      // not read
  char chHashAlg[kRazuAlgSize];      // hash for signing
  char chProName[kRazuProNameSize];  // signing key store
  char chDN[kRazuDNSize];            // signer name for signing
  char chPabName[kRazuProNameSize];  // verification key store
  char chTk[kRazuTkSize];            // not read
  const char* pucsPassword;          // key store password or null
  unsigned char bInclCerts;          // signer certificate into created signatures
};

struct UnwrapInContext {
  char Codepage[kRazuCodepageSize];  // target of the content conversion
  RazuSsfParams* pSsfParams;
  SsfLib* pSsfLib;
  unsigned char* pucsTicket;  // ticket text, decoded in place
  int32_t iTicketL;
  int32_t iCertPrio;  // not read
  void* pvReserved;   // not read
};

struct UnwrapOutContext {
  ContentList lstTicketContents;  // owned by the caller after success
  unsigned char* puscCertificate; // signer certificate (DER), malloc'd
  int32_t iCertificateL;
};

struct WrapInContext {
  char Codepage[kRazuCodepageSize];  // written into the byte stream
  ContentList lstTicketContents;
  RazuSsfParams* pSsfParams;
  SsfLib* pSsfLib;
  void* pvReserved;  // not read
};

struct WrapOutContext {
  char* pucsTicket;  // caller buffer for the ticket text
  int32_t iTicketL;  // capacity in, text length out
};

// ---- validation ----
// Text in, verified and converted content list and signer certificate
// out. 0, 15, 1281, 5 and the other parser codes, 9 (conversion), 11, 14,
// 17, or a combined SSF code.
int32_t RazuValidateTicket(UnwrapInContext* pUwInContext, UnwrapOutContext* pUwOutContext);
// Releases the output's list and certificate. Returns 0.
int32_t RazuReleaseUwContext(UnwrapOutContext* pUwOutContext, SsfLib* pSsfLib);
// Verifies the detached signature over the contents; on success
// *ppAsn1Certificate is a malloc'd copy of the signer certificate.
int32_t HRazuValidateTicket(const unsigned char* puscContents, int32_t iContentsLBytes,
                            const unsigned char* puscSignature, int32_t iSignatureL,
                            SsfLib* pSsfLib, const char* pucsFormat, const char* pucsProfileName,
                            const char* pucsPassword, unsigned char** ppAsn1Certificate,
                            int32_t* piCertLength);

// ---- creation ----
int32_t RazuCreateTicket(WrapInContext* pWInContext, WrapOutContext* pWOutContext);
int32_t RazuReleaseWContext(WrapOutContext* pWOutContext);
int32_t HRazuMakeTicketSignature(const unsigned char* puscBufToSign, int32_t iBufToSignL,
                                 SsfOctetstring* ppSignBuf, SsfOctetlen* piSignBufL,
                                 SsfLib* pSsfLib, const char* pucsFormat,
                                 const char* pucsHashAlg, const char* pucsDN,
                                 unsigned char bInclCert, const char* pucsProfile,
                                 const char* pucsPassword);

// Trace of a signer result list at trace level `trclvl` (2 or more).
void DumpSignerInfos(DPTRC_FILE_HDL f, SigRcpSsfInformationList RazuSignerList, int trclvl);
