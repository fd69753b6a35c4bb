// ticket verify and ticket issue through the library's C interface.
#include <string.h>

#include <vector>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"
#include "sec/tavrisso/results.h"

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

// Loads the verification or signing key; 0 or the library's result.
int32_t load_key(const std::string& cert, const std::string& keystore, const std::string& pin,
                 std::string* error) {
  Bytes key;
  if (!ReadFileBytes(cert.empty() ? keystore : cert, &key, error)) return -1;
  int32_t rc = TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()),
                                  pin.empty() ? nullptr : pin.c_str(), 0, cert.empty() ? 0 : 1);
  if (rc != 0) *error = "key not loaded (result " + std::to_string(rc) + ")";
  return rc;
}

std::string ssf_name(const char* name, int32_t code) {
  return name ? name : "SSF result " + std::to_string(code);
}

void add_result(Report* r, int32_t rc) {
  const TavriResultParts parts = TavriSplitResult(rc);
  r->Section("result");
  r->Number("code", rc);
  r->Number("standard error", parts.standard);
  r->Number("ssf error", parts.ssf);
  r->Text("meaning", TavriResultMeaning(rc));
  if (TavriIsSsfResult(rc)) {
    r->Text("standard error name", ssf_name(parts.standard_name, parts.standard));
    r->Text("ssf error name", ssf_name(parts.ssf_name, parts.ssf));
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
  if (load_key(a.cert, a.keystore, pin, &error) != 0) {
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
  Report r;
  if (rc == 0) {
    r.Section("ticket");
    r.Text("type", info.tTicketType == ZOVEDADU2_ASSERTION_TICKET ? "assertion" : "logon");
    r.Text("user", user.text());
    r.Text("system id", sysid.text());
    r.Text("client", client.text());
    r.Text("language", langu.text());
    r.Text("portal user", portal.text());
    r.Text("authentication scheme", scheme.text());
    r.Time("created", created);
    r.Number("remaining validity seconds", validity);
    r.Number("flags", info.flags);
    cert.resize(cert_len);
    CertSummary signer;
    if (SummarizeCert(cert, &signer, &error)) {
      r.Section("signer");
      r.Text("subject", signer.subject);
      r.Text("issuer", signer.issuer);
      r.Text("serial", signer.serial);
      r.Text("not after", signer.not_after);
    }
  }
  add_result(&r, rc);
  r.Print(g.json);
  return rc == 0 ? kExitValid : kExitRejected;
}

int TicketIssue(const Global& g, const TicketIssueArgs& a) {
  std::string pin, error;
  if (!ReadPin(a.pin_file, &pin, &error)) return Fail(error);
  if (a.user.empty() && a.portal_user.empty()) return Fail("give --user or --portal-user");
  if (int rc = StartLibrary(g)) return rc;
  if (load_key("", a.keystore, pin, &error) != 0) {
    TavriShutdown();
    return Fail(error);
  }
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
  const char* own_sysid = RavAreGetProperty("QOR_OWN_SYSID");
  const char* own_client = RavAreGetProperty("QOR_OWN_CLIENT");
  int32_t rc = TavriCreateAssertionTicket(own_sysid, own_client, nullptr,
                                          pin.empty() ? nullptr : pin.c_str(), &info,
                                          ticket.data(), &ticketL);
  TavriShutdown();
  Report r;
  if (rc == 0) {
    std::string text(ticket.data(), ticketL);
    if (!a.output.empty() && !WriteFileBytes(a.output, Bytes(text.begin(), text.end()), &error))
      return Fail(error);
    r.Section("ticket");
    r.Text("issuer system id", own_sysid ? own_sysid : "");
    r.Text("issuer client", own_client ? own_client : "");
    r.Text("recipient system id", a.sysid);
    r.Text("recipient client", a.client);
    r.Number("length", ticketL);
    r.Text("text", text);
  }
  add_result(&r, rc);
  r.Print(g.json);
  return rc == 0 ? kExitValid : kExitRejected;
}

}  // namespace qortool
