// Writing a verified ticket into the caller's TICKET_INFO: lifetime,
// recipient, the texts with their copy rules, times and certificate. Only
// the fields that struct_size covers whole are touched.
#include "sec/tavrisso/api/ticket_info.h"

#include <string.h>

#include "krn/rscp/rscp.h"
#include "sec/tavrisso/engine/fixed_field.h"
#include "sec/tavrisso/engine/lifetime.h"

namespace {

constexpr const char* TRC_MODULE = kTavriExtModule;

constexpr size_t kRcptSysIdSize = 8;
constexpr size_t kRcptClientSize = 3;
// Portal user and authentication scheme are read as zero-terminated UTF-8.
constexpr size_t kUtf8FieldSize = kContentMaxBytes + 1;
// A conforming portal user value starts with "portal:".
constexpr size_t kPortalPrefixLen = 7;
constexpr unsigned char kFlagAssertion = 0x01;

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

// Beyond the thresholds above, a field is only touched when struct_size
// holds it whole: a record of 149 bytes has no room for tTicketType.
#define TI_HAS(e, field) ((e).size >= offsetof(TICKET_INFO, field) + sizeof(TICKET_INFO::field))

void set_ticket_type(TicketEval& e, TICKET_TYPE t) {
  if (e.size > kHasTicketType && TI_HAS(e, tTicketType)) e.info->tTicketType = t;
}

void set_flags(TicketEval& e, const __CookieContent* flags) {
  if (e.size > kHasFlags) e.info->flags = flags->ByteContent[0];
}

void empty_text(char* buf, int32_t* len) {
  if (*len > 0) buf[0] = '\0';
  *len = 0;
}

// `field` blank-filled, then the UTF-8 value converted into it (cut at the
// field's end).
void utf8_to_field(const TicketEval& e, const __CookieContent* unit, char* field, size_t size) {
  memset(field, ' ', size);
  unsigned char* out = reinterpret_cast<unsigned char*>(field);
  const unsigned char* in = unit->ByteContent;
  Utf8nToUcnCP(e.codepage, &out, out + size, &in, in + unit->iContentLBytes);
}

// One recipient field of the ticket, converted into `field`, against the
// own identity: kRcOk when they agree, kRcRecipientMismatch when not (the
// caller traces how), kRcRecipientMissing when the ticket lacks the field.
int32_t compare_recipient(const TicketEval& e, const __CookieContent* unit, const char* missing, char* field,
                          size_t size, const char* own) {
  if (unit == nullptr) {
    TAVRI_ERR("%s", missing);
    return kRcRecipientMissing;
  }
  utf8_to_field(e, unit, field, size);
  return strfcmp(field, size, own) == 0 ? kRcOk : kRcRecipientMismatch;
}

// The recipient fields against the own identity, and the kind of ticket.
int32_t check_recipient(TicketEval& e, const char* pMySysId, const char* pMyClient) {
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
  char sys[kRcptSysIdSize];
  int32_t rc = compare_recipient(e, rcpt_sys, "Recipient client in ticket but not recipient name.\n", sys,
                                 sizeof sys, own_sys);
  if (rc == kRcRecipientMismatch) {
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
  }
  if (rc != kRcOk) return rc;
  char cli[kRcptClientSize];
  rc = compare_recipient(e, rcpt_cli, "Recipient system name in ticket but not recipient client.\n", cli,
                         sizeof cli, own_cli);
  if (rc == kRcRecipientMismatch) {
    TAVRI_ERR("Recipient client does not match with current client (see note 7310551).\n");
    TAVRI_TRC(2, "Recipient client in ticket: client=>%3.3s< with used length of %d\n", cli,
              static_cast<int>(strflen(cli, sizeof cli)));
    TAVRI_TRC(2, "Current system client     : client=>%s<\n", own_cli);
  }
  if (rc != kRcOk) return rc;
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
int32_t copy_text(const TicketEval& e, const TextField& f, char* buf, int32_t* len) {
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

int32_t copy_portal_user(const TicketEval& e, char* buf, int32_t* len) {
  if (buf == nullptr || len == nullptr) return kRcOk;
  const __CookieContent* unit = FirstContentInRange(e.out.lstTicketContents,
                                                     static_cast<InfoUnitID>(kPortalUserFirstID),
                                                     static_cast<InfoUnitID>(kPortalUserLastID));
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

int32_t copy_auth_scheme(const TicketEval& e, char* buf, int32_t* len) {
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

int32_t copy_times(TicketEval& e) {
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
    *ti->ptmCreTime = static_cast<time_t>(e.created);
  }
  if (ti->ptmValidity != nullptr) {
    TAVRI_TRC(3, "Retrieving validity in seconds...\n");
    *ti->ptmValidity = static_cast<time_t>(e.remaining);
  }
  return kRcOk;
}

int32_t copy_certificate(TicketEval& e, unsigned char* pAsn1Certificate, int32_t* pIntCertificateL) {
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

}  // namespace

int32_t TavriFillTicketInfo(TicketEval& e, const char* pMySysId, const char* pMyClient,
                     unsigned char* pAsn1Certificate, int32_t* pIntCertificateL) {
  int32_t rc = HRazuCheckValidityWithRemTime(e.out.lstTicketContents, &e.remaining, &e.created);
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

void TavriClearTicketInfo(const TicketEval& e) {
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
