// Assertion ticket creation: the caller's input checked and collected into
// a content list, the signing parameters, and the engine's create path.
// The engine runs with the key snapshot taken at the start, without a lock.
#include <string.h>
#include <time.h>

#include "qorjwt.h"
#include "sec/tavrisso/engine/content_codepage.h"
#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/api/key_snapshot.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/engine/fixed_field.h"

namespace {

constexpr const char* TRC_MODULE = kTavriExtModule;


constexpr size_t kSysIdMax = 8;
constexpr size_t kClientMax = 3;
constexpr uint32_t kUserMax = 36;
constexpr uint32_t kLanguMax = 1;
constexpr uint32_t kPortalUserCheckMax = 256;
constexpr uint32_t kPortalUserMax = 249;
constexpr uint32_t kAuthSchemeMax = 256;
constexpr uint64_t kInfoSize = sizeof(TICKET_INFO);
constexpr char kPortalPrefix[] = "portal:";
constexpr size_t kPortalPrefixLen = sizeof kPortalPrefix - 1;
constexpr size_t kProNameMax = kRazuProNameSize - 1;
constexpr unsigned char kValidityMinutes[4] = {0, 0, 0, 2};
constexpr unsigned char kFlagAssertion = 0x01;
constexpr char kImplicitSigner[] = "<implicit>";
// Twelve digits; room for any int the formatter could meet.
constexpr size_t kCreTimeBufSize = 64;

bool given(const void* p, const void* len) { return p != nullptr && len != nullptr; }

uint32_t len_of(const int32_t* l) { return static_cast<uint32_t>(*l); }

// True, with `error` traced, when a length of the record exceeds its limit.
bool too_long(uint32_t n, uint32_t max, const char* error) {
  if (n <= max) return false;
  TAVRI_ERR("%s", error);
  return true;
}

// The caller's input, checked in a fixed order so that the first failure
// decides the result: initialisation, output buffer, own identity, record.
int32_t check_input(const char* pMySysId, const char* pMyClient, const TICKET_INFO* ti,
                    const char* pB64Ticket, const uint32_t* pB64TicketL) {
  if (!bInit.load()) {
    TAVRI_ERR("TavriInitialize must be called first.");
    return kRcInvalid;
  }
  if (pB64Ticket == nullptr || pB64TicketL == nullptr) {
    TAVRI_ERR("Missing output buffer pointer for ticket\n");
    return kRcNullArgument;
  }
  if (pMySysId == nullptr || pMyClient == nullptr) {
    if (pMySysId == nullptr) TAVRI_ERR("Missing own system Id information.\n");
    if (pMyClient == nullptr) TAVRI_ERR("Missing own system client information.\n");
    return kRcNullArgument;
  }
  if (strlen(pMySysId) > kSysIdMax) {
    TAVRI_ERR("System Id too long\n");
    return kRcRecipientMissing;
  }
  if (strlen(pMyClient) > kClientMax) {
    TAVRI_ERR("System Client too long\n");
    return kRcRecipientMissing;
  }
  if (ti == nullptr || ti->struct_size != kInfoSize) {
    TAVRI_ERR("Passed ticket content structure not valid.\n");
    return kRcNullArgument;
  }
  if (ti->pQORUser != nullptr) {
    if (ti->pIntQORUserL != nullptr && len_of(ti->pIntQORUserL) > kUserMax) {
      TAVRI_ERR("QOR user supplied for ticket creation too long, must be at the most %d.\n",
                static_cast<int>(kUserMax));
      return kRcNoUser;
    }
  } else if (ti->pPrtUser == nullptr) {
    TAVRI_ERR("No user supplied for ticket creation.\n");
    return kRcNoUser;
  }
  if (given(ti->pPrtUser, ti->pIntPrtUserL) && len_of(ti->pIntPrtUserL) > kPortalUserCheckMax) {
    TAVRI_ERR("Portal user supplied for ticket creation too long, must be smaller 256.\n");
    return kRcNoUser;
  }
  const bool sys = given(ti->pSysID, ti->pIntSysIDL), cli = given(ti->pQORClient, ti->pIntQORClientL);
  if (!sys) {
    TAVRI_ERR("Missing recipient System Id information.\n");
    if (!cli) TAVRI_ERR("Missing recipient System Client information.\n");
    return kRcRecipientMissing;
  }
  if (!cli) {
    TAVRI_ERR("Missing recipient System Client information.\n");
    return kRcRecipientMissing;
  }
  if (too_long(len_of(ti->pIntSysIDL), kSysIdMax, "Recipient system Id too long\n") ||
      too_long(len_of(ti->pIntQORClientL), kClientMax, "Recipient system client too long\n"))
    return kRcRecipientMissing;
  return kRcOk;
}

// Signing parameters: format, digest, key store (the caller's, else the
// loaded one of the snapshot), signer, password, certificates.
void fill_params(RazuSsfParams* p, const char* pPrivAddrBook, const char* pPassword,
                 const TavriKeySnapshot& key) {
  memcpy(p->chFrmt, "PKCS7", 5);
  const char* hash = RavAreGetProperty("SSF_HASH");
  strcpy_sRFB(p->chHashAlg, sizeof p->chHashAlg, hash ? hash : "SHA1");
  memcpy(p->chDN, kImplicitSigner, sizeof kImplicitSigner - 1);
  p->bInclCerts = bIncludeCert ? 1 : 0;
  TAVRI_TRC(3, "Preparing InContext...\n");
  TAVRI_TRC(3, "Profile (path to key) is the following: %s\n", pPrivAddrBook ? pPrivAddrBook : "(NULL)");
  TAVRI_TRC(3, "Password is %s\n", pPassword ? "set (but not displayed here)" : "null (empty)");
  if (pPrivAddrBook != nullptr) {
    if (strlen(pPrivAddrBook) <= kProNameMax) memcpy(p->chProName, pPrivAddrBook, strlen(pPrivAddrBook));
    p->pucsPassword = pPassword;
  }
  if (key.pse) {
    TAVRI_TRC(3, "Memory key is used: %s\n", key.pse->name.c_str());
    if (pPrivAddrBook == nullptr) strncpy(p->chProName, key.pse->name.c_str(), kProNameMax);
  }
  if (pPrivAddrBook == nullptr && !key.password.empty()) p->pucsPassword = key.password.c_str();
}

// One unit of bytes as passed.
int32_t add_bytes(ContentList* list, const void* v, size_t n, InfoUnitID id, const char* new_err,
                  const char* ins_err) {
  PCookieContent node = nullptr;
  int32_t rc = HRazuContentNew(v, static_cast<int16_t>(n), id, &node);
  if (rc != 0) {
    TAVRI_ERR("%s", new_err);
    return rc;
  }
  rc = HRazuInsertContent(list, node);
  if (rc != 0) {
    TAVRI_ERR("%s", ins_err ? ins_err : new_err);
    HRazuReleaseContents(&node);
  }
  return rc;
}

// One unit converted to UTF-8 from the ticket's code page.
int32_t add_utf8(ContentList* list, const char* v, size_t n, InfoUnitID id, const char* cp,
                 const char* err) {
  PCookieContent node = nullptr;
  if (HRazuGetUTFEncodedContent(&node, v, static_cast<uint16_t>(n), id, cp) != 0) {
    TAVRI_ERR("%s", err);
    return kRcInvalid;
  }
  const int32_t rc = HRazuInsertContent(list, node);
  if (rc != 0) {
    TAVRI_ERR("%s", err);
    HRazuReleaseContents(&node);
  }
  return rc;
}

// The content list of the new ticket: own client and system, creation time,
// validity, then the caller's user fields, recipient and flags.
int32_t build_contents(ContentList* list, const char* pMySysId, const char* pMyClient,
                       const TICKET_INFO* ti, const char cp[kTicketCodepageSize + 1]) {
  int32_t rc = add_bytes(list, pMyClient, strlen(pMyClient), cIUnitCrCli, "Error in HRazuContentNew (Client)\n",
                         "Error in HRazuInsertContent (Client)\n");
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write QOR client to ticket %s \n", pMyClient);
  rc = add_bytes(list, pMySysId, strlen(pMySysId), cIUnitCrName, "Error in HRazuContentNew (SYSID)\n", nullptr);
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write QOR system Id to ticket %s \n", pMySysId);

  const time_t now = time(nullptr);
  struct tm t = {};
  gmtime_r(&now, &t);
  char cre[kCreTimeBufSize];
  snprintf(cre, sizeof cre, "%04d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min);
  rc = add_bytes(list, cre, strlen(cre), cIUnitTCrea, "Couldn't create content (creation time)\n", nullptr);
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write ticket creation date %s \n", cre);

  rc = add_bytes(list, kValidityMinutes, sizeof kValidityMinutes, cIUnitTValMin,
                 "Couldn't create content (lifetime)\n", nullptr);
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write assertion ticket validity \n");
  rc = add_bytes(list, &kFlagAssertion, 1, cIUnitFlags, "Couldn't create content (flags)\n", nullptr);
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write assertion ticket flag \n");

  const int cliL = static_cast<int>(len_of(ti->pIntQORClientL)), sysL = static_cast<int>(len_of(ti->pIntSysIDL));
  rc = add_utf8(list, ti->pQORClient, static_cast<size_t>(cliL), cIUnitRecptCli, cp,
                "Couldn't create content (recipient client)\n");
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write Recipient client to ticket %*.*s \n", cliL, cliL, ti->pQORClient);
  rc = add_utf8(list, ti->pSysID, static_cast<size_t>(sysL), cIUnitRecptName, cp,
                "Couldn't create content (recipient sysid)\n");
  if (rc != 0) return rc;
  TAVRI_TRC(2, "Write Recipient system Id to ticket %*.*s \n", sysL, sysL, ti->pSysID);

  if (given(ti->pQORUser, ti->pIntQORUserL)) {
    const int n = static_cast<int>(len_of(ti->pIntQORUserL));
    rc = add_bytes(list, ti->pQORUser, static_cast<size_t>(n), cIUnitUser, "Couldn't create content for QOR user\n",
                   nullptr);
    if (rc != 0) return rc;
    TAVRI_TRC(2, "Write user id to ticket %*.*s \n", n, n, ti->pQORUser);
  }
  if (given(ti->pQORLangu, ti->pIntQORLanguL)) {
    const uint32_t n = len_of(ti->pIntQORLanguL);
    if (too_long(n, kLanguMax, "QOR language too long\n")) return kRcInvalid;
    rc = add_bytes(list, ti->pQORLangu, n, cIUnitLanguage, "Couldn't create content for QOR language\n", nullptr);
    if (rc != 0) return rc;
    TAVRI_TRC(2, "Write QOR language to ticket %*.*s \n", static_cast<int>(n), static_cast<int>(n), ti->pQORLangu);
  }
  if (given(ti->pPrtUser, ti->pIntPrtUserL)) {
    const uint32_t n = len_of(ti->pIntPrtUserL);
    if (too_long(n, kPortalUserMax, "Portal user size more than allowed.\n")) return kRcBufferTooSmall;
    // Room for the terminator too, so a 249-byte name keeps its last character.
    char portal[kContentMaxBytes + 1] = {};
    memcpy(portal, kPortalPrefix, kPortalPrefixLen);
    memcpy(portal + kPortalPrefixLen, ti->pPrtUser, n);
    const int total = static_cast<int>(n + kPortalPrefixLen);
    rc = add_utf8(list, portal, static_cast<size_t>(total), cIUnitPortalUser, cp,
                  "Couldn't create content for Portal user\n");
    if (rc != 0) return rc;
    TAVRI_TRC(2, "Write portal user id to ticket %*.*s \n", total, total, portal);
  }
  if (given(ti->pAuthScheme, ti->pIntAuthSchemeL)) {
    const uint32_t n = len_of(ti->pIntAuthSchemeL);
    if (too_long(n, kAuthSchemeMax, "Portal authentication schema size more than allowed.\n"))
      return kRcBufferTooSmall;
    char scheme[kAuthSchemeMax + 1] = {};
    memcpy(scheme, ti->pAuthScheme, n);
    rc = add_utf8(list, scheme, n, cIUnitAuthScheme, cp, "Couldn't create content for Portal authentication schema\n");
    if (rc != 0) return rc;
    TAVRI_TRC(2, "Write authentication schema to ticket %*.*s \n", static_cast<int>(n), static_cast<int>(n), scheme);
  }
  return kRcOk;
}

// Releases the engine's output context when the scope ends, also when the
// engine's call unwinds.
struct WrapOutRelease {
  WrapOutContext* out;
  ~WrapOutRelease() { RazuReleaseWContext(out); }
};

void clear_output(char* pB64Ticket, uint32_t* pB64TicketL) {
  if (*pB64TicketL > 0) pB64Ticket[0] = '\0';
  *pB64TicketL = 0;
}

// The engine's result as this function's: a too-small output gives the
// needed length, an encoding failure becomes an argument error.
int32_t builder_result(int32_t rc, char* pB64Ticket, uint32_t* pB64TicketL, int32_t textL) {
  if (rc == 0) {
    TAVRI_TRC(2, "Creation of Assertion Ticket was successful.\n");
    *pB64TicketL = static_cast<uint32_t>(textL);
    ReplacePlus(pB64Ticket, textL);
    return kRcOk;
  }
  if (rc == kRcBufferTooSmall) {
    TAVRI_ERR("Ticket string too long for output buffer.\n");
  } else if (rc == kRcBase64Encode) {
    TAVRI_ERR("Internal error: Base64 encoding failed.\n");
    rc = kRcInvalid;
  } else {
    TAVRI_ERR("Ticket creation failed with rc = %d.\n", rc);
  }
  clear_output(pB64Ticket, pB64TicketL);
  return rc;
}

}  // namespace

extern "C" {

QOR_API int32_t TavriCreateAssertionTicket(const char* pMySysId, const char* pMyClient,
                                           const char* pPrivAddrBook, const char* pPassword,
                                           TICKET_INFO* pTicketInfo, char* pB64Ticket,
                                           uint32_t* pB64TicketL) {
  TAVRI_TRC(3, "TavriCreateAssertionTicket was called, check input\n");
  int32_t rc = check_input(pMySysId, pMyClient, pTicketInfo, pB64Ticket, pB64TicketL);
  if (rc != kRcOk) return rc;

  TAVRI_TRC(3, "Initialize variables...\n");
  RazuSsfParams params = {};
  // The key as loaded now, for the whole call: a reload meanwhile changes nothing here.
  const TavriKeyRef key = TavriCurrentKey();
  fill_params(&params, pPrivAddrBook, pPassword, *key);
  char cp[kTicketCodepageSize + 1] = {};
  TavriChooseCodepage(pTicketInfo->sQORCodepage, cp);

  ContentList list = nullptr;
  rc = TavriNoThrow(TRC_MODULE, "TavriCreateAssertionTicket", kRcNoMemory, kRcInternal, [&]() -> int32_t {
    int32_t crc = build_contents(&list, pMySysId, pMyClient, pTicketInfo, cp);
    if (crc != kRcOk) return crc;
    WrapInContext in = {};
    memcpy(in.Codepage, cp, kTicketCodepageSize);
    in.lstTicketContents = list;
    in.pSsfParams = &params;
    in.pSsfLib = &s_SsfLib;
    WrapOutContext out = {};
    out.pucsTicket = pB64Ticket;
    out.iTicketL = *pB64TicketL > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(*pB64TicketL);
    int32_t brc;
    {
      WrapOutRelease release{&out};
      brc = RazuCreateTicket(&in, &out);
    }
    crc = builder_result(brc, pB64Ticket, pB64TicketL, out.iTicketL);
    if (crc == kRcOk) TAVRI_TRC(3, "Cleanup of TavriCreateAssertionTicket\n");
    return crc;
  });
  if (rc == kRcNoMemory || rc == kRcInternal) clear_output(pB64Ticket, pB64TicketL);
  HRazuReleaseContents(&list);
  if (rc != kRcOk) TAVRI_ERR("TavriCreateAssertionTicket returns %d.\n", rc);
  TAVRI_TRC(3, "End of function TavriCreateAssertionTicket.\n");
  return rc;
}

}  // extern "C"
