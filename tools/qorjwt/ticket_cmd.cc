// ticket verify and ticket issue through the library's C interface.
#include <ctype.h>
#include <string.h>
#include <time.h>

#include <vector>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"
#include "crypto/ssf/ssfapi.h"
#include "sec/tavrisso/results.h"
#include "ticketview.h"

namespace qortool {
namespace {

constexpr int32_t kTextBuffer = 512;
constexpr uint32_t kCertBuffer = 8192;
constexpr uint32_t kTicketBuffer = 4096;

struct Field {
  std::vector<char> buf = std::vector<char>(kTextBuffer);
  int32_t len = kTextBuffer;
  std::string text() const { return std::string(buf.data(), static_cast<size_t>(len)); }
};

// Loads the verification or signing key; 0 or the library's result. A key
// store with old ciphers is noted in the report.
int32_t load_key(const std::string& cert, const std::string& keystore, const std::string& pin,
                 Report* r, std::string* error) {
  Bytes key;
  const std::string& path = cert.empty() ? keystore : cert;
  if (!ReadFileBytes(path, &key, error)) return -1;
  // The library's results do not tell a file of the wrong kind or a wrong PIN apart; say which.
  *error = cert.empty()
               ? WrongKeyFile(path, key, "--keystore", {"a PKCS#12 key store", "a PEM bundle with a private key"},
                              "a key store (PKCS#12, or PEM with the private key and certificates); "
                              "give a certificate with --cert")
               : WrongKeyFile(path, key, "--cert", {"a certificate"},
                              "a certificate (PEM or DER); give a key store with --keystore");
  if (!error->empty()) return -1;
  KeystoreEntries entries;
  if (cert.empty() && DescribeKeyFile(key) == "a PKCS#12 key store" && !ListKeystore(key, pin, &entries, error)) {
    *error = path + ": " + *error;
    return -1;
  }
  const std::string legacy = cert.empty() ? Pkcs12LegacyCiphers(key) : "";
  if (!legacy.empty()) {
    r->Section("keystore");
    r->Text("file", keystore);
    r->Text("format", "PKCS#12 with legacy encryption (" + legacy + ")");
    r->Text("note", "read with OpenSSL's legacy provider; rewrite it with current ciphers when you can");
  }
  int32_t rc = TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()),
                                  pin.empty() ? nullptr : pin.c_str(), 0, cert.empty() ? 0 : 1);
  if (rc != 0) *error = path + ": key not loaded (result " + std::to_string(rc) + ", " + TavriResultMeaning(rc) + ")";
  return rc;
}

// A failed signature check, or one that gave no signer certificate.
bool signature_failure(int32_t rc) { return TavriIsSsfResult(rc) || rc == kRcNoSignerCert; }

const TicketUnit* find_unit(const TicketView& v, std::initializer_list<uint8_t> ids) {
  for (uint8_t id : ids)
    for (const TicketUnit& u : v.units)
      if (u.id == id) return &u;
  return nullptr;
}

// "YYYYMMDDhhmm" of the creation time unit as seconds since 1970; false when malformed.
bool creation_time(const TicketUnit& u, int64_t* out) {
  if (u.value.size() != 12) return false;
  struct tm tm = {};
  const std::string s(u.value.begin(), u.value.end());
  if (s.find_first_not_of("0123456789") != std::string::npos) return false;
  tm.tm_year = std::stoi(s.substr(0, 4)) - 1900;
  tm.tm_mon = std::stoi(s.substr(4, 2)) - 1;
  tm.tm_mday = std::stoi(s.substr(6, 2));
  tm.tm_hour = std::stoi(s.substr(8, 2));
  tm.tm_min = std::stoi(s.substr(10, 2));
  *out = static_cast<int64_t>(timegm(&tm));
  return true;
}

// What the ticket itself shows about a rejection: its times when it expired,
// its recipient when it is for someone else, its signer next to the trusted
// certificates when the signature check failed.
void add_evidence(Report* r, int32_t rc, const std::string& text, const TicketVerifyArgs& a,
                  const std::string& pin) {
  TicketView view;
  std::string error;
  if (!DecodeTicket(text, &view, &error)) return;
  if (rc == 4) {
    const TicketUnit* created = find_unit(view, {4, 13});
    int64_t t = 0;
    if (created && creation_time(*created, &t)) {
      int64_t seconds = 0;
      for (uint8_t id : {5, 7})
        if (const TicketUnit* u = find_unit(view, {id}); u && u->value.size() == 4)
          seconds += std::stoll(UnitValue(*u, view.codepage)) * (id == 5 ? 3600 : 60);
      r->Section("evidence");
      r->Time("created", t);
      r->Time("valid_until", t + seconds);
      r->Time("now", time(nullptr));
    }
  }
  if (rc == 23 || rc == 24) {
    r->Section("evidence");
    const TicketUnit* sysid = find_unit(view, {16});
    const TicketUnit* client = find_unit(view, {15});
    r->Text("ticket_recipient_system_id", sysid ? UnitValue(*sysid, view.codepage) : "(none)");
    r->Text("ticket_recipient_client", client ? UnitValue(*client, view.codepage) : "(none)");
    const char* own_sysid = RavAreGetProperty("QOR_OWN_SYSID");
    const char* own_client = RavAreGetProperty("QOR_OWN_CLIENT");
    r->Text("expected_system_id", !a.sysid.empty() ? a.sysid : own_sysid ? own_sysid : "");
    r->Text("expected_client", !a.client.empty() ? a.client : own_client ? own_client : "");
  }
  if (signature_failure(rc)) {
    std::vector<CertSummary> included;
    std::string issuer, serial, digest;
    if (!SignerOfSignature(view.signature, &included, &issuer, &serial, &digest, &error)) return;
    r->Section("evidence");
    r->Text("ticket_signer_issuer", issuer);
    r->Text("ticket_signer_serial", serial);
    r->Value("trusted_certificates", Json::array());
    std::vector<CertSummary> trusted;
    Bytes der;
    CertSummary one;
    KeystoreEntries ks;
    if (!a.cert.empty() && CertFileToDer(a.cert, &der, &error) && SummarizeCert(der, &one, &error)) {
      trusted.push_back(one);
    } else if (!a.keystore.empty() && ReadFileBytes(a.keystore, &der, &error) &&
               ListKeystore(der, pin, &ks, &error)) {
      trusted = ks.own;
      trusted.insert(trusted.end(), ks.trusted.begin(), ks.trusted.end());
    }
    for (const CertSummary& c : trusted) {
      r->Item("trusted_certificates");
      ReportCert(r, c);
    }
  }
}

// One half of a combined result: its number, its name and a sentence. SSF
// results are described by the crypto layer, engine codes by the result table.
void add_half(Report* r, const std::string& half, int32_t code, const char* name) {
  r->Number(half, code);
  r->Text(half + "_name", name ? name : "unknown result " + std::to_string(code));
  const bool ssf = name && strncmp(name, "SSF_API_", 8) == 0;
  r->Text(half + "_meaning", ssf ? SsfRcDesc(code) : TavriResultMeaning(code));
}

// What the signer's half says to look at.
const char* signer_cause(int32_t ssf) {
  switch (ssf) {
    case SSF_API_CERT_EXPIRED: return "the signer certificate is expired or not yet valid: see the signer's validity";
    case SSF_API_UNKNOWN_SIGNER: return "no trusted certificate matches the ticket's signer: compare its issuer and serial with the trusted certificates";
    case SSF_API_SIGNER_NOT_OK: return "the signature does not verify with the trusted certificate: the ticket was altered, or signed by another key";
    default: return nullptr;
  }
}

void add_result(Report* r, int32_t rc) {
  const TavriResultParts parts = TavriSplitResult(rc);
  r->Section("result");
  r->Number("code", rc);
  r->Text("meaning", TavriResultMeaning(rc));
  if (TavriIsSsfResult(rc)) {
    add_half(r, "standard_error", parts.standard, parts.standard_name);
    add_half(r, "ssf_error", parts.ssf, parts.ssf_name);
    if (const char* cause = signer_cause(parts.ssf)) r->Text("cause", cause);
  }
}

}  // namespace

int TicketVerify(const Global& g, const TicketVerifyArgs& a) {
  if (a.cert.empty() == a.keystore.empty()) return Fail("give exactly one of --cert and --keystore");
  if (a.assertion && (a.sysid.empty() || a.client.empty()))
    return Fail("--assertion needs --sysid and --client");
  std::string text, pin, error;
  if (!ReadText(a.input, &text, &error) || !ReadPin(a.pin_file, &pin, &error)) return Fail(error);
  if (a.codepage.size() != 4) return Fail("--codepage takes a four-character code page");
  if (int rc = StartLibrary(g)) return rc;
  Report r;
  if (load_key(a.cert, a.keystore, pin, &r, &error) != 0) {
    TavriShutdown();
    return Fail(error);
  }

  Field sysid, user, client, langu, portal, scheme;
  std::vector<unsigned char> cert(kCertBuffer);
  uint32_t cert_len = kCertBuffer;
  time_t created = 0, validity = 0;
  TICKET_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  memcpy(info.sQORCodepage, a.codepage.data(), 4);
  info.pSysID = sysid.buf.data();
  info.pIntSysIDL = &sysid.len;
  info.pQORUser = user.buf.data();
  info.pIntQORUserL = &user.len;
  info.pQORClient = client.buf.data();
  info.pIntQORClientL = &client.len;
  info.pQORLangu = langu.buf.data();
  info.pIntQORLanguL = &langu.len;
  info.ptmCreTime = &created;
  info.ptmValidity = &validity;
  info.pPrtUser = portal.buf.data();
  info.pIntPrtUserL = &portal.len;
  info.pAuthScheme = scheme.buf.data();
  info.pIntAuthSchemeL = &scheme.len;
  info.pAsn1Certificate = cert.data();
  info.pIntAsn1CertificateL = &cert_len;

  int32_t rc = a.assertion
                   ? TavriEvalAssertionTicket(text.c_str(), nullptr, nullptr, a.sysid.c_str(),
                                              a.client.c_str(), &info)
                   : TavriEvalLogonTicketEx(text.c_str(), nullptr, nullptr, nullptr, nullptr, &info);
  TavriShutdown();
  if (rc == 0) {
    r.Section("ticket");
    r.Text("type", info.tTicketType == ZOVEDADU2_ASSERTION_TICKET ? "assertion" : "logon");
    r.Text("user", user.text());
    r.Text("system_id", sysid.text());
    r.Text("client", client.text());
    r.Text("language", langu.text());
    r.Text("portal_user", portal.text());
    r.Text("authentication_scheme", scheme.text());
    r.Time("created", created);
    r.Number("remaining_validity_seconds", validity);
    r.Number("flags", info.flags);
    cert.resize(cert_len);
    CertSummary signer;
    if (SummarizeCert(cert, &signer, &error)) {
      r.Section("signer");
      ReportCert(&r, signer);
    }
  } else {
    add_evidence(&r, rc, text, a, pin);
  }
  add_result(&r, rc);
  const int exit_code = rc == 0 ? kExitValid : kExitRejected;
  r.Print(g.json, exit_code);
  return exit_code;
}

int TicketIssue(const Global& g, const TicketIssueArgs& a) {
  std::string pin, error;
  if (!ReadPin(a.pin_file, &pin, &error)) return Fail(error);
  if (a.user.empty() && a.portal_user.empty()) return Fail("give --user or --portal-user");
  if (int rc = StartLibrary(g)) return rc;
  Report r;
  if (load_key("", a.keystore, pin, &r, &error) != 0) {
    TavriShutdown();
    return Fail(error);
  }
  // The options decide, not SSF_HASH or SSF_INCLUDE_CERT from the environment.
  std::string hash = a.hash;
  for (char& c : hash) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  RavAreSetProperty("SSF_HASH", hash.c_str());
  RavAreSetProperty("SSF_INCLUDE_CERT", a.include_cert ? "1" : "0");
  std::string sysid = a.sysid, client = a.client, user = a.user, langu = a.language,
              portal = a.portal_user, scheme = a.auth_scheme;
  auto len = [](const std::string& s) { return static_cast<int32_t>(s.size()); };
  int32_t sysidL = len(sysid), clientL = len(client), userL = len(user), languL = len(langu),
          portalL = len(portal), schemeL = len(scheme);
  TICKET_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  memcpy(info.sQORCodepage, "4110", 4);
  info.pSysID = sysid.data();
  info.pIntSysIDL = &sysidL;
  info.pQORClient = client.data();
  info.pIntQORClientL = &clientL;
  if (!user.empty()) info.pQORUser = user.data(), info.pIntQORUserL = &userL;
  if (!langu.empty()) info.pQORLangu = langu.data(), info.pIntQORLanguL = &languL;
  if (!portal.empty()) info.pPrtUser = portal.data(), info.pIntPrtUserL = &portalL;
  if (!scheme.empty()) info.pAuthScheme = scheme.data(), info.pIntAuthSchemeL = &schemeL;
  std::vector<char> ticket(kTicketBuffer + 1);
  uint32_t ticketL = kTicketBuffer;
  auto property = [](const char* name) {
    const char* v = RavAreGetProperty(name);
    return std::string(v ? v : "");
  };
  const std::string own_sysid = a.own_sysid.empty() ? property("QOR_OWN_SYSID") : a.own_sysid;
  const std::string own_client = a.own_client.empty() ? property("QOR_OWN_CLIENT") : a.own_client;
  int32_t rc = TavriCreateAssertionTicket(own_sysid.c_str(), own_client.c_str(), nullptr,
                                          pin.empty() ? nullptr : pin.c_str(), &info,
                                          ticket.data(), &ticketL);
  TavriShutdown();
  if (rc == 0) {
    std::string text(ticket.data(), ticketL);
    if (!a.output.empty() && !WriteFileBytes(a.output, Bytes(text.begin(), text.end()), &error))
      return Fail(error);
    r.Section("ticket");
    r.Text("issuer_system_id", own_sysid);
    r.Text("issuer_client", own_client);
    r.Text("recipient_system_id", a.sysid);
    r.Text("recipient_client", a.client);
    r.Text("digest", hash);
    r.Bool("certificate_included", a.include_cert);
    r.Number("length", ticketL);
    // The ticket is a bearer credential: on the terminal only when no file takes it.
    if (a.output.empty()) r.Text("text", text);
    else r.Text("file", a.output);
  }
  add_result(&r, rc);
  const int exit_code = rc == 0 ? kExitValid : kExitRejected;
  r.Print(g.json, exit_code);
  return exit_code;
}

}  // namespace qortool
