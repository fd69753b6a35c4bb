// Ticket evaluation: the four exports and the routine they share. Only the
// calls into the SSF table run under ssf_rmtx; argument checks, validity,
// recipient checks and the copies into caller buffers run unlocked.
#include <string.h>

#include "krn/rscp/rscp.h"
#include "qorjwt.h"
#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/engine/fixed_field.h"
#include "sec/tavrisso/engine/lifetime.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/ssoxxext";

constexpr int32_t kRcOk = 0;
constexpr int32_t kRcNoUser = 1;
constexpr int32_t kRcBufferTooSmall = 3;
constexpr int32_t kRcInvalidTicket = 5;
constexpr int32_t kRcUserBufferTooSmall = 6;
constexpr int32_t kRcInvalid = 9;
constexpr int32_t kRcNoMemory = 11;
constexpr int32_t kRcMutex = 14;
constexpr int32_t kRcNoCreationTime = 16;
constexpr int32_t kRcRecipientMissing = 23;
constexpr int32_t kRcRecipientMismatch = 24;

// The ticket text is copied once into a buffer of this size.
constexpr size_t kTicketBufSize = 4096;
constexpr uint64_t kTicketTextLimit = kTicketBufSize - 1;
constexpr uint32_t kInfoFullSize = sizeof(TICKET_INFO);
constexpr uint32_t kInfoMinAbove = 120;
constexpr uint32_t kInfoMinShown = 128;
constexpr size_t kPabNameMax = kRazuProNameSize - 1;
constexpr size_t kRcptSysIdSize = 8;
constexpr size_t kRcptClientSize = 3;
// Portal user and authentication scheme are read as zero-terminated UTF-8.
constexpr size_t kUtf8FieldSize = kContentMaxBytes + 1;
// A conforming portal user value starts with "portal:".
constexpr size_t kPortalPrefixLen = 7;
constexpr unsigned char kFlagAssertion = 0x01;
constexpr char kUtf8Codepage[] = "4110";

// Offsets past which a field of TICKET_INFO is present for a given
// struct_size (compared with its low 32 bits).
constexpr uint32_t kHasSysID = 16;
constexpr uint32_t kHasUser = 32;
constexpr uint32_t kHasClient = 48;
constexpr uint32_t kHasLangu = 64;
constexpr uint32_t kHasCreTime = 80;
constexpr uint32_t kHasValidity = 88;
constexpr uint32_t kHasPrtUser = 96;
constexpr uint32_t kHasAuthScheme = 112;
constexpr uint32_t kHasCertificate = 128;
constexpr uint32_t kHasFlags = 144;
constexpr uint32_t kHasTicketType = 148;


// One evaluation: the caller's record, its usable size and the verified
// output.
struct Eval {
  TICKET_INFO* info;
  uint32_t size;
  bool want_assertion;
  char codepage[kCodepageSize];
  UnwrapOutContext out;
  int64_t remaining;
};

// Beyond the thresholds above, a field is only touched when struct_size
// holds it whole: a record of 149 bytes has no room for tTicketType.
#define TI_HAS(e, field) ((e).size >= offsetof(TICKET_INFO, field) + sizeof(TICKET_INFO::field))

void set_ticket_type(Eval& e, TICKET_TYPE t) {
  if (e.size > kHasTicketType && TI_HAS(e, tTicketType)) e.info->tTicketType = t;
}

void set_flags(Eval& e, const __CookieContent* flags) {
  if (e.size > kHasFlags) e.info->flags = flags->ByteContent[0];
}

void empty_text(char* buf, int32_t* len) {
  if (*len > 0) buf[0] = '\0';
  *len = 0;
}

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

// `field` blank-filled, then the UTF-8 value converted into it (cut at the
// field's end).
void utf8_to_field(const Eval& e, const __CookieContent* unit, char* field, size_t size) {
  memset(field, ' ', size);
  unsigned char* out = reinterpret_cast<unsigned char*>(field);
  const unsigned char* in = unit->ByteContent;
  Utf8nToUcnCP(e.codepage, &out, out + size, &in, in + unit->iContentLBytes);
}

// Step 8: recipient and kind of ticket.
int32_t check_recipient(Eval& e, const char* pMySysId, const char* pMyClient) {
  ContentList list = e.out.lstTicketContents;
  const __CookieContent* rcpt_sys = HRazuGetContentByID(list, cIUnitRecptName);
  const __CookieContent* rcpt_cli = HRazuGetContentByID(list, cIUnitRecptCli);
  const __CookieContent* flags = HRazuGetContentByID(list, cIUnitFlags);
  if (rcpt_sys == nullptr && rcpt_cli == nullptr) {
    if (e.want_assertion) {
      TAVRI_ERR("QOR Assertion Ticket is without recipient information.\n");
      return kRcRecipientMissing;
    }
    set_ticket_type(e, ZOVEDADU2_LOGON_TICKET);
    TAVRI_TRC(3, "Ticket is without recipient information.\n");
    if (flags != nullptr) set_flags(e, flags);
    return kRcOk;
  }
  const char* own_sys = e.want_assertion ? pMySysId : RavAreGetProperty("QOR_EXT_SYSID");
  const char* own_cli = e.want_assertion ? pMyClient : RavAreGetProperty("QOR_EXT_CLIENT");
  if (own_sys == nullptr || own_cli == nullptr) {
    TAVRI_ERR("Ticket contains recipient information, but there is no own identity defined "
              "(see note 7310551).\n");
    return kRcRecipientMissing;
  }
  if (rcpt_sys == nullptr) {
    TAVRI_ERR("Recipient client in ticket but not recipient name.\n");
    return kRcRecipientMissing;
  }
  char sys[kRcptSysIdSize];
  utf8_to_field(e, rcpt_sys, sys, sizeof sys);
  if (strfcmp(sys, sizeof sys, own_sys) != 0) {
    const int used = static_cast<int>(strflen(sys, sizeof sys));
    const int own_len = static_cast<int>(strlen(own_sys));
    if (used != own_len) {
      TAVRI_ERR("Recipient system name length %d does not match with current system name length "
                "%d, (see note 7310551).\n",
                used, own_len);
    } else {
      TAVRI_ERR("Recipient system name does not match with current system name (see note "
                "7310551).\n");
    }
    TAVRI_TRC(2, "Recipient in ticket: sysid=>%8.8s< with used length of %d\n", sys, used);
    TAVRI_TRC(2, "Current system ID  : sysid=>%s<\n", own_sys);
    return kRcRecipientMismatch;
  }
  if (rcpt_cli == nullptr) {
    TAVRI_ERR("Recipient system name in ticket but not recipient client.\n");
    return kRcRecipientMissing;
  }
  char cli[kRcptClientSize];
  utf8_to_field(e, rcpt_cli, cli, sizeof cli);
  if (strfcmp(cli, sizeof cli, own_cli) != 0) {
    TAVRI_ERR("Recipient client does not match with current client (see note 7310551).\n");
    TAVRI_TRC(2, "Recipient client in ticket: client=>%3.3s< with used length of %d\n", cli,
              static_cast<int>(strflen(cli, sizeof cli)));
    TAVRI_TRC(2, "Current system client     : client=>%s<\n", own_cli);
    return kRcRecipientMismatch;
  }
  set_ticket_type(e, ZOVEDADU2_ASSERTION_TICKET);
  if (flags == nullptr) {
    if (e.want_assertion) {
      TAVRI_ERR("Ticket syntax is not valid for QOR Assertion Ticket. Missing Flags\n");
      return kRcRecipientMissing;
    }
    set_ticket_type(e, ZOVEDADU2_LOGON_TICKET);
    return kRcOk;
  }
  if ((flags->ByteContent[0] & kFlagAssertion) == 0) {
    if (e.want_assertion) {
      TAVRI_ERR("Ticket syntax is not valid for QOR Assertion Ticket. Invalid Flags\n");
      return kRcRecipientMissing;
    }
    set_ticket_type(e, ZOVEDADU2_LOGON_TICKET);
  }
  set_flags(e, flags);
  return kRcOk;
}

// One character field returned with the copy rule strz2cpyU.
struct TextField {
  InfoUnitID id;
  const char* missing;      // level 3
  const char* too_small;    // level 1
  const char* evaluating;   // level 3, buffer and size
  const char* result;       // level 2, the value
  int32_t too_small_rc;
};

const TextField kUser = {cIUnitUser, "Ticket contains no user.\n", "Buffer for User not sufficient.",
                         "Evaluating user into buffer %p of size %d.\n", "QOR user is %*.*s \n",
                         kRcUserBufferTooSmall};
const TextField kClient = {cIUnitCrCli, "Ticket contains no client.\n",
                           "Buffer for client not sufficient.",
                           "Evaluating ticket client into buffer %p of size %d. \n",
                           "QOR client is %*.*s \n", kRcBufferTooSmall};
const TextField kSysId = {cIUnitCrName, "Ticket contains no sysid.\n",
                          "Buffer for sysid not sufficient.",
                          "Evaluating ticket sysid into buffer %p of size %d. \n",
                          "QOR sysid is %*.*s \n", kRcBufferTooSmall};
const TextField kLangu = {cIUnitLanguage, "Ticket contains no language.\n",
                          "Buffer for language not sufficient.",
                          "Evaluating language into buffer %p of size %d. \n",
                          "QOR langues is %*.*s \n", kRcBufferTooSmall};

// The format texts above are chosen from a fixed table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
int32_t copy_text(const Eval& e, const TextField& f, char* buf, int32_t* len) {
  if (buf == nullptr || len == nullptr) return kRcOk;
  const __CookieContent* unit = HRazuGetContentByID(e.out.lstTicketContents, f.id);
  if (unit == nullptr) {
    TAVRI_TRC(3, f.missing);
    empty_text(buf, len);
    return kRcOk;
  }
  if (unit->iContentLChars > *len) {
    TAVRI_ERR(f.too_small);
    *len = unit->iContentLChars;
    return f.too_small_rc;
  }
  TAVRI_TRC(3, f.evaluating, static_cast<void*>(buf), *len);
  *len = strz2cpyU(reinterpret_cast<unsigned char*>(buf), *len, unit->ByteContent,
                   unit->iContentLBytes);
  TAVRI_TRC(2, f.result, *len, *len, buf);
  return kRcOk;
}
#pragma GCC diagnostic pop

// UTF-8 value (after `skip` bytes) into the caller's buffer, terminated.
void utf8_to_caller(const __CookieContent* unit, size_t skip, char* buf, int32_t* len) {
  unsigned char field[kUtf8FieldSize] = {};
  memcpy(field, unit->ByteContent, static_cast<size_t>(unit->iContentLBytes));
  size_t written = 0;
  const size_t from = skip < kUtf8FieldSize - 1 ? skip : kUtf8FieldSize - 1;
  Utf8sToUcs(buf, static_cast<size_t>(*len > 0 ? *len : 0), &written, field + from);
  *len = static_cast<int32_t>(written);
}

int32_t copy_portal_user(const Eval& e, char* buf, int32_t* len) {
  if (buf == nullptr || len == nullptr) return kRcOk;
  const __CookieContent* unit = nullptr;
  for (uint32_t id = kPortalUserFirstID; id <= kPortalUserLastID && unit == nullptr; ++id)
    unit = HRazuGetContentByID(e.out.lstTicketContents, static_cast<InfoUnitID>(id));
  if (unit == nullptr) {
    TAVRI_TRC(3, "Ticket contains no Portal User.\n");
    empty_text(buf, len);
    return kRcOk;
  }
  if (*len < unit->iContentLBytes) {
    TAVRI_ERR("Buffer for Portal User not sufficient.");
    *len = unit->iContentLBytes;
    return kRcBufferTooSmall;
  }
  TAVRI_TRC(3, "Evaluating Portal User \"%*.*s\" \n", unit->iContentLBytes, unit->iContentLBytes,
            reinterpret_cast<const char*>(unit->ByteContent));
  utf8_to_caller(unit, kPortalPrefixLen, buf, len);
  TAVRI_TRC(2, "Portal user is %*.*s \n", *len, *len, buf);
  return kRcOk;
}

int32_t copy_auth_scheme(const Eval& e, char* buf, int32_t* len) {
  if (buf == nullptr || len == nullptr) return kRcOk;
  const __CookieContent* unit = HRazuGetContentByID(e.out.lstTicketContents, cIUnitAuthScheme);
  if (unit == nullptr) {
    TAVRI_TRC(3, "Ticket contains no AuthSchema.\n");
    empty_text(buf, len);
    return kRcOk;
  }
  // A UTF-8 unit is never converted, so its character length stays 0.
  if (unit->iContentLChars > *len) {
    TAVRI_ERR("Buffer for AuthSchema not sufficient.");
    *len = unit->iContentLChars;
    return kRcBufferTooSmall;
  }
  TAVRI_TRC(3, "Evaluating AuthSchema \n");
  utf8_to_caller(unit, 0, buf, len);
  TAVRI_TRC(2, "Authentication schema is %*.*s \n", *len, *len, buf);
  return kRcOk;
}

int32_t copy_times(Eval& e) {
  TICKET_INFO* ti = e.info;
  if (ti->ptmCreTime != nullptr) {
    const __CookieContent* unit = HRazuGetContentByID(e.out.lstTicketContents, cIUnitTCrea);
    if (unit == nullptr) {
      TAVRI_ERR("Ticket contains no creation time.\n");
      return kRcNoCreationTime;
    }
    if (unit->iContentLChars != kCreationTimeChars) {
      TAVRI_ERR("Invalid ticket format\n");
      *ti->ptmCreTime = 0;
      return kRcInvalidTicket;
    }
    TAVRI_TRC(3, "Retrieving creation time...\n");
    struct tm created = {};
    ParseTicketTime(unit->ByteContent, &created);
    *ti->ptmCreTime = static_cast<time_t>(HRazuInvMkTime(&created));
  }
  if (ti->ptmValidity != nullptr) {
    TAVRI_TRC(3, "Retrieving validity in seconds...\n");
    *ti->ptmValidity = static_cast<time_t>(e.remaining);
  }
  return kRcOk;
}

int32_t copy_certificate(Eval& e, unsigned char* pAsn1Certificate, int32_t* pIntCertificateL) {
  const int32_t certL = e.out.iCertificateL;
  TICKET_INFO* ti = e.info;
  if (e.size > kHasFlags && ti->pIntAsn1CertificateL != nullptr) {
    if (*ti->pIntAsn1CertificateL < static_cast<uint32_t>(certL)) {
      TAVRI_ERR("Buffer for cert not sufficient\n");
      *ti->pIntAsn1CertificateL = static_cast<uint32_t>(certL);
      return kRcBufferTooSmall;
    }
    *ti->pIntAsn1CertificateL = static_cast<uint32_t>(certL);
    if (ti->pAsn1Certificate != nullptr) {
      if (certL > 0) {
        TAVRI_TRC(2, "Evaluating certificate with length %d\n", certL);
        memcpy(ti->pAsn1Certificate, e.out.puscCertificate, static_cast<size_t>(certL));
      } else {
        TAVRI_TRC(2, "Ticket contains no certificate!\n");
        ti->pAsn1Certificate[0] = 0;
        *ti->pIntAsn1CertificateL = 0;
      }
    }
  }
  if (pAsn1Certificate != nullptr && pIntCertificateL != nullptr) {
    if (*pIntCertificateL < certL) {
      TAVRI_ERR("Buffer for cert not sufficient\n");
      *pIntCertificateL = certL;
      return kRcBufferTooSmall;
    }
    *pIntCertificateL = certL;
    if (certL > 0) {
      TAVRI_TRC(2, "Evaluating certificate with length %d\n", certL);
      memcpy(pAsn1Certificate, e.out.puscCertificate, static_cast<size_t>(certL));
    } else {
      TAVRI_TRC(2, "Ticket contains no certificate!\n");
      pAsn1Certificate[0] = 0;
    }
  }
  return kRcOk;
}

// Steps after a successful verification: validity, recipient, fields,
// times, certificate.
int32_t fill_outputs(Eval& e, const char* pMySysId, const char* pMyClient,
                     unsigned char* pAsn1Certificate, int32_t* pIntCertificateL) {
  int32_t rc = HRazuCheckValidityWithRemTime(e.out.lstTicketContents, &e.remaining);
  if (rc != kRcOk) {
    TAVRI_ERR("Validation succeeded, but ticket expired.\n");
    return rc;
  }
  TAVRI_TRC(3, "Validation succeeded.\n");
  if ((rc = check_recipient(e, pMySysId, pMyClient)) != kRcOk) return rc;
  TICKET_INFO* ti = e.info;
  if ((rc = copy_text(e, kUser, ti->pQORUser, ti->pIntQORUserL)) != kRcOk) return rc;
  if ((rc = copy_text(e, kClient, ti->pQORClient, ti->pIntQORClientL)) != kRcOk) return rc;
  if ((rc = copy_text(e, kSysId, ti->pSysID, ti->pIntSysIDL)) != kRcOk) return rc;
  if ((rc = copy_text(e, kLangu, ti->pQORLangu, ti->pIntQORLanguL)) != kRcOk) return rc;
  if ((rc = copy_portal_user(e, ti->pPrtUser, ti->pIntPrtUserL)) != kRcOk) return rc;
  if ((rc = copy_auth_scheme(e, ti->pAuthScheme, TI_HAS(e, pIntAuthSchemeL) ? ti->pIntAuthSchemeL : nullptr)) !=
      kRcOk)
    return rc;
  if ((rc = copy_times(e)) != kRcOk) return rc;
  if ((rc = copy_certificate(e, pAsn1Certificate, pIntCertificateL)) != kRcOk) return rc;
  TAVRI_TRC(3, "Preparing for cleanup.\n");
  return kRcOk;
}

// After a failure, the first character of every text and the times are
// cleared; lengths keep what was stored (the needed length after 3 or 6).
void clear_outputs(const Eval& e) {
  TICKET_INFO* ti = e.info;
  const uint32_t n = e.size;
  if (n > kHasSysID && ti->pSysID) ti->pSysID[0] = '\0';
  if (n > kHasUser && ti->pQORUser) ti->pQORUser[0] = '\0';
  if (n > kHasClient && ti->pQORClient) ti->pQORClient[0] = '\0';
  if (n > kHasLangu && ti->pQORLangu) ti->pQORLangu[0] = '\0';
  if (n > kHasValidity && ti->ptmValidity) *ti->ptmValidity = 0;
  if (n > kHasCreTime && ti->ptmCreTime) *ti->ptmCreTime = 0;
  if (n > kHasPrtUser && ti->pPrtUser) ti->pPrtUser[0] = '\0';
  if (n > kHasAuthScheme && ti->pAuthScheme) ti->pAuthScheme[0] = '\0';
  if (n > kHasCertificate && TI_HAS(e, pAsn1Certificate) && ti->pAsn1Certificate) ti->pAsn1Certificate[0] = 0;
  if (n > kHasTicketType && TI_HAS(e, tTicketType)) ti->tTicketType = ZOVEDADU2_ERROR;
}

// The evaluation's code page: the record's, else the property; an unusable
// one becomes UTF-8.
void choose_codepage(Eval& e) {
  TavriChooseCodepage(e.info->sQORCodepage, e.codepage);
  e.codepage[kTicketCodepageSize] = '\0';
}

// The key store to verify with: the caller's, else the loaded memory key
// store and its password.
void choose_key_store(RazuSsfParams* params, const char* pPrivAddrBook, const char* pPassword) {
  if (pPrivAddrBook != nullptr) {
    strcpy_sRFB(params->chPabName, sizeof params->chPabName, pPrivAddrBook);
    params->pucsPassword = pPassword;
    return;
  }
  ThrRecMtxGuard guard(&ssf_rmtx);
  if (pMemoryPSE != nullptr) {
    strncpy(params->chPabName, pMemoryPSE, kPabNameMax);
    if (PSEpwd[0] != '\0') params->pucsPassword = PSEpwd;
  }
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
  Eval e = {};
  TAVRI_TRC(3, "Initialized variables...\n");
  if (!arguments_ok(pTicket, lTicketLen, pTicketInfo)) return kRcInvalid;

  e.info = pTicketInfo;
  e.size = static_cast<uint32_t>(pTicketInfo->struct_size);
  e.want_assertion = tTicketType == SSO_ASSERTION_TICKET;

  TAVRI_TRC(3, "Preparing InContext...\n");
  in.pSsfParams = &params;
  in.pSsfLib = &s_SsfLib;
  choose_key_store(&params, pPrivAddrBook, pPassword);
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

  int32_t rc = TavriNoThrow(TRC_MODULE, "_TavriEvalTicketInternal", kRcNoMemory, kRcMutex, [&]() -> int32_t {
    int32_t vrc;
    {
      ThrRecMtxGuard guard(&ssf_rmtx);
      if (!guard.ok()) {
        TAVRI_ERR("Mutex lock could not be applied!");
        return kRcMutex;
      }
      vrc = RazuValidateTicket(&in, &e.out);
    }
    if (vrc != kRcOk) {
      TAVRI_ERR("Validate ticket failed with rc=%d.", vrc);
      return vrc;
    }
    return fill_outputs(e, pMySysId, pMyClient, pAsn1Certificate, pIntCertificateL);
  });
  if (rc != kRcOk) clear_outputs(e);

  ThrRecMtxLock(&ssf_rmtx);
  RazuReleaseUwContext(&e.out, &s_SsfLib);
  ThrRecMtxUnlock(&ssf_rmtx);
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
