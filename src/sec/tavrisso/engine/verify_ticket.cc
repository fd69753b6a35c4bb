// Ticket engine, receiving side: ticket text to a verified, converted
// content list and the signer certificate. The caller keeps the key snapshot alive.
#include <stdlib.h>
#include <string.h>

#include "krn/rsec/rsecb64.h"
#include "sec/tavrisso/ssf/cert_attribute.h"
#include "sec/tavrisso/engine/content_codepage.h"
#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/engine/fixed_field.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/razuvalid";
// Shown in the engine's "[file line]" progress lines.
constexpr char kSourceFile[] = "razuvalid.cc";
constexpr char kDumpAttribute[] = "ALL";
// Signer texts are cut to this in the trace.
constexpr int32_t kSignerTextMax = 511;
constexpr char kPkcs7Format[] = "PKCS7";

DPTRC_FILE_HDL trc() { return tavriTf.load(); }

bool level_at_least(int n) { return trc() != nullptr && ct_level.load() >= n; }

SsfCharlen text_len(const char* s) { return s ? static_cast<SsfCharlen>(strlen(s)) : 0; }

// The "ALL" text of the signer certificate at level 2, carriage returns
// before line feeds shown as blanks. Trace only: nothing here changes the
// verification result.
void dump_signer_certificate(SsfLib* lib, const unsigned char* cert, int32_t certL) {
  SsfOctetstring text = nullptr;
  SsfOctetlen textL = 0;
  bool parse_failed = false;
  const int32_t rc = CertAttributeText(lib, TRC_MODULE, cert, certL, kDumpAttribute,
                                       static_cast<int32_t>(strlen(kDumpAttribute)), &text,
                                       &textL, &parse_failed);
  if (parse_failed) {
    DPTRC_ERR(trc(), TRC_MODULE, "Couldn't parse the attribute >>%s<< out of certificate.\n",
              kDumpAttribute);
  }
  if (rc != 0) {
    TAVRI_WARN("DumpCertAttribute return with rc=%d.\n", rc);
  } else {
    for (SsfOctetlen i = 0; i + 1 < textL; ++i)
      if (text[i] == '\r' && text[i + 1] == '\n') text[i] = ' ';
    DPTRC_INFO(trc(), 2, "Certificate in SSO ticket:\n%.*s \n", static_cast<int>(textL),
               reinterpret_cast<const char*>(text));
  }
  if (text != nullptr && lib != nullptr) SsfLibDELSsfOctetstring(lib, &text, &textL);
}

// The verification failed with `r`: name it, and the signer's result, and
// combine the two.
int32_t verify_failure(SsfLib* lib, int32_t r, SigRcpSsfInformationList signers) {
  const SigRcpSsfInformation* first =
      DumpSsfCallFailure(trc(), TRC_MODULE, "SsfVerify", r, lib, signers);
  if (first == nullptr) return TavriCombine(static_cast<uint32_t>(r), kRcNoSignerEntry);
  if (level_at_least(2)) {
    if (first->strSigRcpPassword != nullptr && first->strSigRcpPasswordL > 0) {
      dump_signer_certificate(lib, first->strSigRcpPassword, first->strSigRcpPasswordL);
    } else {
      DumpSignerInfos(trc(), signers, 2);
    }
  }
  return TavriCombine(first->uResult, static_cast<uint32_t>(r));
}

// With the library's own encode and verify bound, the signed part is
// verified as it is rather than wrapped into a ContentInfo for the verify
// to unwrap. Tracing that shows the wrapped bytes or the crypto calls, or
// anything the encode would refuse, keeps the two calls.
bool verify_in_place(const SsfLib* lib, const char* format, int32_t contentsL) {
  return lib->fp_SsfEncode == &SsfEncode && lib->fp_SsfVerify == &SsfVerify && contentsL > 0 &&
         format != nullptr && strcmp(format, kPkcs7Format) == 0 && !level_at_least(3) &&
         !SsfEntryTraceOn();
}

// Base64 text to bytes in place; *piDecL gets the byte count.
int32_t decode_text(unsigned char* text, int32_t textL, int32_t* piDecL) {
  uint32_t dec = 0;
  const uint32_t len = textL > 0 ? static_cast<uint32_t>(textL) : 0;
  int32_t rc = rsecdb64l_decbase64_length(len, text, &dec);
  if (rc != 0) {
    DPTRC_ERR(trc(), TRC_MODULE, "DecodeB64len returns %d. iDecLength=%d\n", rc,
              static_cast<int32_t>(dec));
    return kRcBase64Decode;
  }
  DPTRC_INFO(trc(), 3, "DecodeB64Len returns %d. iDecLength=%d\n", rc, static_cast<int32_t>(dec));
  rc = rsecdb64_decode_base64(text, len, &dec);
  if (rc != 0) {
    DPTRC_ERR(trc(), TRC_MODULE, "Decodeb64 returns %d. iDecLength=%d\n", rc,
              static_cast<int32_t>(dec));
    return kRcBase64Decode;
  }
  DPTRC_INFO(trc(), 3, "Dump of Decoded ticket: [%s %d]\n", kSourceFile, __LINE__);
  DumpBuffer(trc(), text, dec, 3);
  *piDecL = static_cast<int32_t>(dec);
  return 0;
}

}  // namespace

void DumpSignerInfos(DPTRC_FILE_HDL f, SigRcpSsfInformationList RazuSignerList, int trclvl) {
  if (trclvl < 2 || f == nullptr || ct_level.load() < trclvl) return;
  auto cut = [](SsfCharlen n) { return static_cast<int>(n < kSignerTextMax ? n : kSignerTextMax); };
  for (auto* node = RazuSignerList; node != nullptr; node = node->ptrNextSigRcp) {
    const SigRcpSsfInformation* s = node->ptrSigRcp;
    if (s == nullptr) continue;
    if (s->strSigRcpId != nullptr && s->strSigRcpIdL > 0)
      DPTRC_INFO(f, trclvl, " Signer   ID: %.*s \n", cut(s->strSigRcpIdL), s->strSigRcpId);
    if (s->strSigRcpPassword != nullptr && s->strSigRcpPasswordL > 0)
      DPTRC_INFO(f, trclvl, " Signer  PWD: ****** with len %d \n", s->strSigRcpPasswordL);
    if (s->strSigRcpProfile != nullptr && s->strSigRcpProfileL > 0)
      DPTRC_INFO(f, trclvl, " Signer info: %.*s \n", cut(s->strSigRcpProfileL),
                 s->strSigRcpProfile);
    if (s->strSigRcpReserved != nullptr && s->strSigRcpReservedL > 0)
      DPTRC_INFO(f, trclvl, " Signer res.: %.*s \n", cut(s->strSigRcpReservedL),
                 s->strSigRcpReserved);
  }
}

int32_t HRazuValidateTicket(const unsigned char* puscContents, int32_t iContentsLBytes,
                            const unsigned char* puscSignature, int32_t iSignatureL,
                            SsfLib* pSsfLib, const char* pucsFormat, const char* pucsProfileName,
                            const char* pucsPassword, unsigned char** ppAsn1Certificate,
                            int32_t* piCertLength) {
  if (level_at_least(3)) {
    DPTRC_INFO(trc(), 3, "Argument Dump for ticket verification:\n");
    DPTRC_INFO(trc(), 3, "Content byte stream:\n");
    DumpBuffer(trc(), puscContents, static_cast<size_t>(iContentsLBytes), 3);
    DPTRC_INFO(trc(), 3, "\nSignature byte stream:\n");
    DumpBuffer(trc(), puscSignature, static_cast<size_t>(iSignatureL), 3);
  }
  if (pSsfLib == nullptr || !pSsfLib->bSsfEncode || pSsfLib->fp_SsfEncode == nullptr)
    return kRcInternal;
  const bool can_verify = pSsfLib->bSsfVerify && pSsfLib->fp_SsfVerify != nullptr;
  SigRcpSsfInformationList signers = nullptr;
  SsfOctetstring encoded = nullptr;
  SsfOctetlen encodedL = 0;
  int32_t r = SSF_API_SECTK_FUNCTION_NOT_AVAIL;
  if (can_verify && verify_in_place(pSsfLib, pucsFormat, iContentsLBytes)) {
    r = SsfVerifyDetached(pucsFormat, text_len(pucsFormat), 1, puscSignature, iSignatureL,
                          puscContents, iContentsLBytes, pucsProfileName,
                          text_len(pucsProfileName), pucsPassword, text_len(pucsPassword),
                          &signers);
  } else {
    if (SsfLibEncode(pSsfLib, pucsFormat, text_len(pucsFormat), puscContents, iContentsLBytes,
                     &encoded, &encodedL) != SSF_API_OK) {
      SsfLibDELSsfOctetstring(pSsfLib, &encoded, &encodedL);
      return kRcInternal;
    }
    DPTRC_INFO(trc(), 3, "Encoded content byte stream:\n");
    DumpBuffer(trc(), encoded, static_cast<size_t>(encodedL), 3);
    // Nobody reads the verified content: it is not copied out.
    if (can_verify)
      r = SsfLibVerify(pSsfLib, pucsFormat, text_len(pucsFormat), 1, puscSignature, iSignatureL,
                       encoded, encodedL, pucsProfileName, text_len(pucsProfileName),
                       pucsPassword, text_len(pucsPassword), &signers, nullptr, nullptr);
  }
  int32_t rc = 0;
  if (r == SSF_API_OK) {
    DPTRC_INFO(trc(), 3, "Verify returns %d [%s %d]\n", r, kSourceFile, __LINE__);
    // The SSF result alone decides; the entry only hands over the certificate.
    const SigRcpSsfInformation* first = signers ? signers->ptrSigRcp : nullptr;
    if (first == nullptr || first->strSigRcpPassword == nullptr) {
      DPTRC_ERR(trc(), TRC_MODULE, "No certificate of the signer available.\n");
      rc = kRcNoSignerCert;
    } else {
      const size_t n = static_cast<size_t>(first->strSigRcpPasswordL > 0 ? first->strSigRcpPasswordL : 0);
      unsigned char* copy = static_cast<unsigned char*>(malloc(n ? n : 1));
      if (copy == nullptr) {
        DPTRC_ERR(trc(), TRC_MODULE, "No memory available for certificate.\n");
        rc = kRcNoMemory;
      } else {
        memcpy(copy, first->strSigRcpPassword, n);
        *ppAsn1Certificate = copy;
        *piCertLength = static_cast<int32_t>(n);
        DPTRC_INFO(trc(), 3, "Certificate is: \n");
        DumpBuffer(trc(), copy, n, 3);
      }
    }
  } else {
    rc = verify_failure(pSsfLib, r, signers);
  }
  SsfLibDELSigRcpSsfInfoList(pSsfLib, &signers);
  SsfLibDELSsfOctetstring(pSsfLib, &encoded, &encodedL);
  return rc;
}

int32_t RazuValidateTicket(UnwrapInContext* pUwInContext, UnwrapOutContext* pUwOutContext) {
  if (pUwInContext == nullptr || pUwOutContext == nullptr) return kRcNullArgument;
  UnwrapInContext* in = pUwInContext;
  DPTRC_INFO(trc(), 3, "Dump of InContext [%s %d]\n", kSourceFile, __LINE__);
  DumpBuffer(trc(), in, sizeof *in, 3);
  if (in->pSsfParams == nullptr || in->pucsTicket == nullptr) return kRcNullArgument;

  char format[kRazuFrmtSize + 1];
  char profile[kRazuProNameSize + 1];
  strzcpy(format, in->pSsfParams->chFrmt, kRazuFrmtSize);
  strzcpy(profile, in->pSsfParams->chPabName, kRazuProNameSize);
  DPTRC_INFO(trc(), 3, "Copies from InContext->Format: %s [%s %d]\n", format, kSourceFile,
             __LINE__);
  DPTRC_INFO(trc(), 3, "Copies from InContext->pzcsProName: %s [%s %d]\n", profile, kSourceFile,
             __LINE__);

  int32_t decL = 0;
  int32_t rc = decode_text(in->pucsTicket, in->iTicketL, &decL);
  if (rc != 0) return rc;

  ContentList list = nullptr;
  int32_t processed = 0;
  char stream_cp[kTicketCodepageSize + 1] = {};
  rc = HRazuParseTicket(in->pucsTicket, decL, &list, &processed, stream_cp);
  if (rc != 0) {
    DPTRC_ERR(trc(), TRC_MODULE, "ParseTicket returns %d. [%s %d]\n", rc, kSourceFile, __LINE__);
    return rc;
  }
  DPTRC_INFO(trc(), 3, "ParseTicket returns %d. [%s %d]\n", rc, kSourceFile, __LINE__);
  DPTRC_INFO(trc(), 3, "Bytes processed: %d [%s %d]\n", processed, kSourceFile, __LINE__);

  const unsigned char* sig = nullptr;
  int32_t sigL = 0;
  rc = HRazuExtractSignature(in->pucsTicket, decL, processed, &sig, &sigL);
  if (rc == 0) {
    rc = HRazuValidateTicket(in->pucsTicket, processed - 1, sig, sigL, in->pSsfLib, format,
                             profile, in->pSsfParams->pucsPassword,
                             &pUwOutContext->puscCertificate, &pUwOutContext->iCertificateL);
    if (rc != 0) {
      DPTRC_ERR(trc(), TRC_MODULE, "ValidateTicket failed with rc = %d and ssf_rc = %d.\n",
                static_cast<int32_t>(static_cast<uint32_t>(rc) & 0xFFFFu),
                static_cast<int32_t>(static_cast<uint32_t>(rc) >> 16));
    } else {
      DPTRC_INFO(trc(), 3, "ValidateTicket succeeded.\n");
    }
  }
  if (rc == 0) {
    char target_cp[kTicketCodepageSize + 1] = {};
    memcpy(target_cp, in->Codepage, kTicketCodepageSize);
    rc = HRazuConvertCList(stream_cp, target_cp, list);
    if (rc != 0)
      DPTRC_ERR(trc(), TRC_MODULE, "ConvertCList returns %d. [%s %d]\n", rc, kSourceFile, __LINE__);
  }
  if (rc != 0) {
    HRazuReleaseContents(&list);
    return rc;
  }
  pUwOutContext->lstTicketContents = list;
  return 0;
}

int32_t RazuReleaseUwContext(UnwrapOutContext* pUwOutContext, SsfLib* /*pSsfLib*/) {
  if (pUwOutContext == nullptr) return 0;
  HRazuReleaseContents(&pUwOutContext->lstTicketContents);
  free(pUwOutContext->puscCertificate);
  pUwOutContext->puscCertificate = nullptr;
  pUwOutContext->iCertificateL = 0;
  return 0;
}
