// ticket inspect: the ticket taken apart without any trust decision.
#include "commands.h"
#include "pki.h"
#include "ticketview.h"

namespace qortool {

int TicketInspect(const Global& g, const TicketInspectArgs& a) {
  std::string text, error;
  if (!ReadText(a.input, &text, &error)) return Fail(error);
  TicketView view;
  if (!DecodeTicket(text, &view, &error)) return Fail(error);

  Report r;
  r.Section("header");
  r.Number("version", view.version);
  r.Text("codepage", view.codepage);
  r.Number("signed_bytes", static_cast<int64_t>(view.signed_part.size()));
  r.Number("signature_bytes", static_cast<int64_t>(view.signature.size()));
  r.Section("infounits");
  int64_t hours = 0, minutes = 0;
  for (const TicketUnit& u : view.units) {
    r.Text(SnakeCase(UnitName(u.id)), UnitValue(u, view.codepage));
    if (u.id == 5) hours = std::stoll(UnitValue(u, view.codepage));
    if (u.id == 7) minutes = std::stoll(UnitValue(u, view.codepage));
  }
  r.Section("validity");
  r.Number("hours", hours);
  r.Number("minutes", minutes);
  r.Number("seconds", hours * 3600 + minutes * 60);

  std::vector<CertSummary> certs;
  std::string issuer, serial, digest;
  r.Section("signer");
  if (!SignerOfSignature(view.signature, &certs, &issuer, &serial, &digest, &error)) {
    r.Text("error", error);
  } else {
    r.Text("issuer", issuer);
    r.Text("serial", serial);
    r.Text("digest", digest);
    r.Value("certificates", Json::array());
    for (const CertSummary& c : certs) {
      r.Item("certificates");
      ReportCert(&r, c);
    }
  }
  r.Print(g.json, kExitValid);
  return kExitValid;
}

}  // namespace qortool
