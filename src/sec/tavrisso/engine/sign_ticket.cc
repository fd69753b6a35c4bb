// Ticket engine, issuing side: content list to signed ticket text. The
// caller keeps the key snapshot alive around RazuCreateTicket.
#include <string.h>

#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/engine/fixed_field.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/razucrea";
// Shown in the engine's "[file line]" progress lines.
constexpr char kSourceFile[] = "razucrea.cc";

DPTRC_FILE_HDL trc() { return tavriTf.load(); }

int32_t text_len(const char* s) { return s ? static_cast<int32_t>(strlen(s)) : 0; }

bool can_sign(const SsfLib* lib) {
  return lib != nullptr && lib->bSsfNEWSigRcpSsfInfo && lib->fp_SsfNEWSigRcpSsfInfo &&
         lib->bSsfINSSigRcpSsfInfo && lib->fp_SsfINSSigRcpSsfInfo && lib->bSsfEncode &&
         lib->fp_SsfEncode && lib->bSsfDELSigRcpSsfInfoList && lib->fp_SsfDELSigRcpSsfInfoList &&
         lib->bSsfDELSsfOctetstring && lib->fp_SsfDELSsfOctetstring;
}

// SsfSign failed with `r`: name it and the signer's result, and combine them.
int32_t sign_failure(SsfLib* lib, int32_t r, SigRcpSsfInformationList signers) {
  const SigRcpSsfInformation* first = DumpSsfCallFailure(trc(), TRC_MODULE, "SsfSign", r, lib, signers);
  if (first == nullptr) return kRcInvalid;
  DumpSignerInfos(trc(), signers, 2);
  return TavriCombine(first->uResult, kRcInvalid);
}

}  // namespace

int32_t HRazuMakeTicketSignature(const unsigned char* puscBufToSign, int32_t iBufToSignL,
                                 SsfOctetstring* ppSignBuf, SsfOctetlen* piSignBufL,
                                 SsfLib* pSsfLib, const char* pucsFormat,
                                 const char* pucsHashAlg, const char* pucsDN,
                                 unsigned char bInclCert, const char* pucsProfile,
                                 const char* pucsPassword) {
  if (!can_sign(pSsfLib)) {
    DPTRC_ERR(trc(), TRC_MODULE, "NEWSignerInfo failed.\n");
    return TavriCombine(SSF_API_SECTK_FUNCTION_NOT_AVAIL, kRcInternal);
  }
  // A ticket has exactly one signer: the loaded key's.
  SigRcpSsfInformation* signer = nullptr;
  int32_t r = SsfLibNEWSigRcpSsfInfo(pSsfLib, pucsDN, text_len(pucsDN), nullptr, 0, pucsProfile,
                                     text_len(pucsProfile),
                                     reinterpret_cast<const unsigned char*>(pucsPassword),
                                     text_len(pucsPassword), SSF_API_UNDEFINED_RESULT, &signer);
  if (r != SSF_API_OK) {
    DPTRC_ERR(trc(), TRC_MODULE, "NEWSignerInfo failed.\n");
    return TavriCombine(static_cast<uint32_t>(r), kRcInternal);
  }
  SigRcpSsfInformationList signers = nullptr;
  r = SsfLibINSSigRcpSsfInfo(pSsfLib, signer, &signers);
  if (r != SSF_API_OK) {
    DPTRC_ERR(trc(), TRC_MODULE, "INSSignerInfo failed.\n");
    if (pSsfLib->bSsfDELSigRcpSsfInfo && pSsfLib->fp_SsfDELSigRcpSsfInfo) pSsfLib->fp_SsfDELSigRcpSsfInfo(&signer);
    return TavriCombine(static_cast<uint32_t>(r), kRcInternal);
  }
  // The signature covers the signed part as a ContentInfo.
  SsfOctetstring encoded = nullptr;
  SsfOctetlen encodedL = 0;
  int32_t rc = 0;
  r = SsfLibEncode(pSsfLib, pucsFormat, text_len(pucsFormat), puscBufToSign, iBufToSignL, &encoded,
                   &encodedL);
  if (r != SSF_API_OK) {
    DPTRC_ERR(trc(), TRC_MODULE, "Encode failed.\n");
    rc = TavriCombine(static_cast<uint32_t>(r), kRcInternal);
  } else {
    // The signature is detached: the ticket carries the signed part itself.
    r = pSsfLib->bSsfSign && pSsfLib->fp_SsfSign
            ? SsfLibSign(pSsfLib, pucsFormat, text_len(pucsFormat), pucsHashAlg, text_len(pucsHashAlg),
                         bInclCert, 1, encoded, encodedL, signers, ppSignBuf, piSignBufL)
            : SSF_API_SECTK_FUNCTION_NOT_AVAIL;
    if (r != SSF_API_OK) rc = sign_failure(pSsfLib, r, signers);
  }
  // Signer list and encoding are released whatever the outcome.
  SsfLibDELSigRcpSsfInfoList(pSsfLib, &signers);
  SsfLibDELSsfOctetstring(pSsfLib, &encoded, &encodedL);
  return rc;
}

int32_t RazuCreateTicket(WrapInContext* pWInContext, WrapOutContext* pWOutContext) {
  if (pWInContext == nullptr || pWOutContext == nullptr || pWInContext->pSsfParams == nullptr ||
      pWOutContext->pucsTicket == nullptr)
    return kRcNullArgument;
  WrapInContext* in = pWInContext;
  // The signed part is built where the stream is sealed, so nothing is copied.
  unsigned char work[kTicketWorkSize];
  int32_t signedL = kTicketWorkSize;
  char codepage[kRazuCodepageSize + 1] = {};
  memcpy(codepage, in->Codepage, kRazuCodepageSize);
  int32_t rc = HRazuMakeTicketByteStream(in->lstTicketContents, codepage, work, &signedL);
  if (rc != 0) return rc;
  DPTRC_INFO(trc(), 3, "Dump of ticket: [%s %d]\n", kSourceFile, __LINE__);
  DumpBuffer(trc(), work, static_cast<size_t>(signedL), 3);
  // The signing parameters are fixed fields: terminate them here.
  const RazuSsfParams* p = in->pSsfParams;
  char format[kRazuFrmtSize + 1], dn[kRazuDNSize + 1], hash[kRazuAlgSize + 1],
      profile[kRazuProNameSize + 1];
  strzcpy(format, p->chFrmt, kRazuFrmtSize);
  strzcpy(dn, p->chDN, kRazuDNSize);
  strzcpy(hash, p->chHashAlg, kRazuAlgSize);
  strzcpy(profile, p->chProName, kRazuProNameSize);
  // The signature over the signed part.
  SsfOctetstring sig = nullptr;
  SsfOctetlen sigL = 0;
  rc = HRazuMakeTicketSignature(work, signedL, &sig, &sigL, in->pSsfLib, format, hash, dn,
                                p->bInclCerts, profile, p->pucsPassword);
  if (rc != 0) return rc;
  DPTRC_INFO(trc(), 3, "Dump of signed ticket: [%s %d]\n", kSourceFile, __LINE__);
  DumpBuffer(trc(), sig, static_cast<size_t>(sigL), 3);
  // The stream is sealed with marker and signature, then encoded into the
  // caller's buffer.
  int32_t streamL = 0;
  rc = HRazuAppendSignature(work, signedL, sig, sigL, &streamL);
  if (rc == 0) rc = HRazuEncodeTicketStream(work, streamL, pWOutContext->pucsTicket, &pWOutContext->iTicketL);
  SsfLibDELSsfOctetstring(in->pSsfLib, &sig, &sigL);
  return rc;
}

int32_t RazuReleaseWContext(WrapOutContext* /*pWOutContext*/) { return 0; }
