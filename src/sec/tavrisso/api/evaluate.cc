// Ticket evaluation: the four exports and the routine they share. Only the
// calls into the SSF table run under ssf_rmtx; argument checks, validity,
// recipient checks and the copies into caller buffers run unlocked.
#include <string.h>

#include "qorjwt.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/api/ticket_info.h"
#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/engine/fixed_field.h"

namespace {

constexpr const char* TRC_MODULE = kTavriExtModule;

// The ticket text is copied once into a buffer of this size.
constexpr size_t kTicketBufSize = 4096;
constexpr uint64_t kTicketTextLimit = kTicketBufSize - 1;
constexpr uint32_t kInfoFullSize = sizeof(TICKET_INFO);
constexpr uint32_t kInfoMinAbove = 120;
constexpr uint32_t kInfoMinShown = 128;
constexpr size_t kPabNameMax = kRazuProNameSize - 1;
constexpr char kUtf8Codepage[] = "4110";

bool invalid_codepage(const char cp[4]) {
  return memcmp(cp, "    ", 4) == 0 || memcmp(cp, "0000", 4) == 0 ||
         memcmp(cp, "\0\0\0\0", 4) == 0;
}

}  // namespace

void TavriChooseCodepage(const char requested[4], char cp[4]) {
  if (requested[0] != '\0') {
    memcpy(cp, requested, kTicketCodepageSize);
    TAVRI_TRC(3, "Got the codepage %4.4s from input \n", cp);
  } else {
    memcpy(cp, gQORCodepage, kTicketCodepageSize);
    TAVRI_TRC(3, "Got the codepage %4.4s from properties \n", cp);
  }
  if (invalid_codepage(cp)) {
    TAVRI_TRC(2, "QOR codepage %4.4s is invalid. Use UTF8 for output.", cp);
    memcpy(cp, kUtf8Codepage, kTicketCodepageSize);
  }
}

namespace {

// The evaluation's code page: the record's, else the property; an unusable
// one becomes UTF-8.
void choose_codepage(TicketEval& e) {
  TavriChooseCodepage(e.info->sQORCodepage, e.codepage);
  e.codepage[kTicketCodepageSize] = '\0';
}

// The key store to verify with: the caller's, else the loaded memory key
// store and its password. False when ssf_rmtx cannot be taken.
bool choose_key_store(RazuSsfParams* params, const char* pPrivAddrBook, const char* pPassword) {
  if (pPrivAddrBook != nullptr) {
    strcpy_sRFB(params->chPabName, sizeof params->chPabName, pPrivAddrBook);
    params->pucsPassword = pPassword;
    return true;
  }
  SsfMutexGuard guard;
  if (!guard.ok()) return false;
  if (pMemoryPSE != nullptr) {
    strncpy(params->chPabName, pMemoryPSE, kPabNameMax);
    if (PSEpwd[0] != '\0') params->pucsPassword = PSEpwd;
  }
  return true;
}

bool arguments_ok(const char* pTicket, uint64_t lTicketLen, const TICKET_INFO* pTicketInfo) {
  if (pTicket == nullptr || pTicketInfo == nullptr) {
    TAVRI_ERR("Missing input parameters.\n");
    if (pTicket == nullptr) TAVRI_ERR("Ticket content is null\n");
    if (pTicketInfo == nullptr) TAVRI_ERR("Ticket info structure is null\n");
    return false;
  }
  const uint32_t size = static_cast<uint32_t>(pTicketInfo->struct_size);
  if (pTicketInfo->struct_size == 0) {
    TAVRI_ERR("Initialize field struct_size in your structure of TICKET_INFO->struct_size with "
              "sizeof(TICKET_INFO)\n");
    return false;
  }
  if (size != kInfoFullSize && size <= kInfoMinAbove) {
    TAVRI_ERR("Current structure size of TICKET_INFO->struct_size is %d but must be at least %d\n",
              static_cast<int>(size), static_cast<int>(kInfoMinShown));
    return false;
  }
  if (lTicketLen > kTicketTextLimit) {
    TAVRI_ERR("Ticket too long: %d, which exceeds 4095", static_cast<int>(lTicketLen));
    return false;
  }
  if (!bInit.load()) {
    TAVRI_ERR("TavriInitialize must be called first.");
    return false;
  }
  return true;
}

size_t bounded_length(const char* pTicket) {
  return pTicket ? strnlen(pTicket, kTicketBufSize) : 0;
}

}  // namespace

int32_t _TavriEvalTicketInternal(const char* pTicket, uint64_t lTicketLen,
                                 const char* pPrivAddrBook, const char* pPassword,
                                 unsigned char* pAsn1Certificate, int32_t* pIntCertificateL,
                                 const char* pMySysId, const char* pMyClient,
                                 SSO_TICKET_TYPE tTicketType, TICKET_INFO* pTicketInfo) {
  TAVRI_TRC(3, "Unconverted ticket is the following: >>>%.*s<<<\n",
            static_cast<int>(pTicket ? strnlen(pTicket, lTicketLen) : 0), pTicket ? pTicket : "");
  char ticket[kTicketBufSize] = {};
  RazuSsfParams params = {};
  UnwrapInContext in = {};
  TicketEval e = {};
  TAVRI_TRC(3, "Initialized variables...\n");
  if (!arguments_ok(pTicket, lTicketLen, pTicketInfo)) return kRcInvalid;

  e.info = pTicketInfo;
  e.size = static_cast<uint32_t>(pTicketInfo->struct_size);
  e.want_assertion = tTicketType == SSO_ASSERTION_TICKET;

  TAVRI_TRC(3, "Preparing InContext...\n");
  in.pSsfParams = &params;
  in.pSsfLib = &s_SsfLib;
  if (!choose_key_store(&params, pPrivAddrBook, pPassword)) {
    TavriClearTicketInfo(e);
    return kRcInternal;
  }
  memcpy(params.chFrmt, "PKCS7", 5);
  choose_codepage(e);
  memcpy(in.Codepage, e.codepage, sizeof in.Codepage);

  memcpy(ticket, pTicket, static_cast<size_t>(lTicketLen));
  TAVRI_TRC(3, "Ticket is the following: >>>%s<<<\n", ticket);
  TAVRI_TRC(3, "Profile (path to key) is the following: %s\n",
            pPrivAddrBook ? pPrivAddrBook : "(NULL)");
  TAVRI_TRC(3, "Password is %s\n", pPassword ? "set (but not displayed here)" : "null (empty)");

  int32_t ticketL = static_cast<int32_t>(lTicketLen);
  ReplaceExclMarkAndURLEncoding(ticket, &ticketL);
  in.pucsTicket = reinterpret_cast<unsigned char*>(ticket);
  in.iTicketL = ticketL;
  TAVRI_TRC(3, "Just before Validation...\n");

  int32_t rc = TavriNoThrow(TRC_MODULE, "_TavriEvalTicketInternal", kRcNoMemory, kRcInternal, [&]() -> int32_t {
    int32_t vrc;
    {
      SsfMutexGuard guard;
      if (!guard.ok()) return kRcInternal;
      vrc = RazuValidateTicket(&in, &e.out);
    }
    if (vrc != kRcOk) {
      TAVRI_ERR("Validate ticket failed with rc=%d.", vrc);
      return vrc;
    }
    return TavriFillTicketInfo(e, pMySysId, pMyClient, pAsn1Certificate, pIntCertificateL);
  });
  if (rc != kRcOk) TavriClearTicketInfo(e);

  {
    // Freeing our own copies needs no SSF state: it goes ahead without the lock.
    SsfMutexGuard guard;
    RazuReleaseUwContext(&e.out, &s_SsfLib);
  }
  return rc;
}

extern "C" {

QOR_API int32_t TavriEvalLogonTicket(const char* pa7Ticket, const char* pzcsPrivAddrBook,
                                     const char* pzcsPassword, char* putf8User,
                                     int32_t* pIntUserL, unsigned char* pAsn1Certificate,
                                     int32_t* pIntCertificateL, char* putf8Sysid,
                                     int32_t* pIntSysidL, char* putf8Client,
                                     int32_t* pIntClientL, void* /*pvReserved*/) {
  TAVRI_TRC(3, "TavriEvalLogonTicket was called.\n");
  if (pa7Ticket == nullptr || putf8User == nullptr || pIntUserL == nullptr ||
      pAsn1Certificate == nullptr || pIntCertificateL == nullptr || putf8Sysid == nullptr ||
      pIntSysidL == nullptr || putf8Client == nullptr || pIntClientL == nullptr) {
    TAVRI_ERR("Missing input parameters.\n");
    return kRcInvalid;
  }
  TICKET_INFO info = {};
  info.struct_size = sizeof info;
  memcpy(info.sQORCodepage, kUtf8Codepage, sizeof info.sQORCodepage);
  info.pSysID = putf8Sysid;
  info.pIntSysIDL = pIntSysidL;
  info.pQORUser = putf8User;
  info.pIntQORUserL = pIntUserL;
  info.pQORClient = putf8Client;
  info.pIntQORClientL = pIntClientL;
  int32_t rc = _TavriEvalTicketInternal(pa7Ticket, strlen(pa7Ticket), pzcsPrivAddrBook,
                                        pzcsPassword, pAsn1Certificate, pIntCertificateL,
                                        nullptr, nullptr, SSO_LOGON_TICKET, &info);
  if (rc != kRcOk) {
    TAVRI_ERR("TavriEvalLogonTicket returns %d.\n", rc);
    return rc;
  }
  if (*pIntUserL == 0) {
    TAVRI_ERR("Ticket contains no user.\n");
    rc = kRcNoUser;
  } else if (*pIntSysidL == 0) {
    TAVRI_ERR("Ticket contains no sysid.\n");
    rc = kRcNoCreationTime;
  } else if (*pIntClientL == 0) {
    TAVRI_ERR("Ticket contains no client.\n");
    rc = kRcNoCreationTime;
  }
  TAVRI_TRC(3, "End of function TavriEvalLogonTicket.\n");
  return rc;
}

QOR_API int32_t TavriEvalLogonTicketEx(const char* pTicket, const char* pPrivAddrBook,
                                       const char* pPassword, unsigned char* pAsn1Certificate,
                                       int32_t* pIntCertificateL, TICKET_INFO* pTicketInfo) {
  TAVRI_TRC(3, "TavriEvalLogonTicketEx was called.\n");
  int32_t rc = _TavriEvalTicketInternal(pTicket, bounded_length(pTicket), pPrivAddrBook,
                                        pPassword, pAsn1Certificate, pIntCertificateL, nullptr,
                                        nullptr, SSO_LOGON_TICKET, pTicketInfo);
  if (rc != kRcOk) TAVRI_ERR("TavriEvalLogonTicketEx returns %d.\n", rc);
  TAVRI_TRC(3, "End of function TavriEvalLogonTicketEx.\n");
  return rc;
}

QOR_API int32_t TavriEvalTicket(const char* pTicket, size_t lTicketSize, TICKET_INFO* pTicketInfo) {
  TAVRI_TRC(3, "TavriEvalTicket was called.\n");
  int32_t rc = _TavriEvalTicketInternal(pTicket, lTicketSize, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, SSO_LOGON_TICKET, pTicketInfo);
  if (rc != kRcOk) TAVRI_ERR("TavriEvalTicket returns %d.\n", rc);
  TAVRI_TRC(3, "End of function TavriEvalTicket.\n");
  return rc;
}

QOR_API int32_t TavriEvalAssertionTicket(const char* pTicket, const char* pPrivAddrBook,
                                         const char* pPassword, const char* pMySysId,
                                         const char* pMyClient, TICKET_INFO* pTicketInfo) {
  TAVRI_TRC(3, "TavriEvalAssertionTicket was called.\n");
  if (pMySysId == nullptr) {
    pMySysId = RavAreGetProperty("QOR_OWN_SYSID");
    TAVRI_WARN("QOR Assertion Ticket requires System ID information of recipient, use default %s\n",
              pMySysId ? pMySysId : "");
  }
  if (pMyClient == nullptr) {
    pMyClient = RavAreGetProperty("QOR_OWN_CLIENT");
    TAVRI_WARN("QOR Assertion Ticket requires System Client information of recipient, use "
              "default %s\n",
              pMyClient ? pMyClient : "");
  }
  int32_t rc = _TavriEvalTicketInternal(pTicket, bounded_length(pTicket), pPrivAddrBook,
                                        pPassword, nullptr, nullptr, pMySysId, pMyClient,
                                        SSO_ASSERTION_TICKET, pTicketInfo);
  if (rc != kRcOk) TAVRI_ERR("TavriEvalAssertionTicket returns %d.\n", rc);
  TAVRI_TRC(3, "End of function TavriEvalAssertionTicket.\n");
  return rc;
}

}  // extern "C"
