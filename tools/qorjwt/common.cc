#include <stdio.h>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"

namespace qortool {

namespace {
bool json_errors = false;
}  // namespace

void SetJsonErrors(bool json) { json_errors = json; }

int Fail(const std::string& what) {
  PrintError(json_errors, what, kExitUsage);
  return kExitUsage;
}

int StartLibrary(const Global& g) {
  if (!g.trace_file.empty()) {
    const std::string level = std::to_string(g.trace_level);
    RavAreSetProperty("QOR_EXT_TRL", level.c_str());
    RavAreSetProperty("QOR_EXT_TRC", g.trace_file.c_str());
  }
  int32_t rc = TavriInitialize(nullptr);
  if (rc != 0) return Fail("library initialisation failed with " + std::to_string(rc));
  return kExitValid;
}

std::string WrongKeyFile(const std::string& path, const Bytes& data, const std::string& option,
                         const std::vector<std::string>& accepted, const std::string& wants) {
  const std::string kind = DescribeKeyFile(data);
  if (kind.empty()) return "";
  for (const std::string& a : accepted)
    if (a == kind) return "";
  return path + " is " + kind + "; " + option + " wants " + wants;
}

void ReportCert(Report* r, const CertSummary& c) {
  r->Text("subject", c.subject);
  r->Text("issuer", c.issuer);
  r->Text("serial", c.serial);
  r->Text("not_before", c.not_before);
  r->Text("not_after", c.not_after);
}

bool ReadText(const std::string& path, std::string* out, std::string* error) {
  Bytes b;
  if (!ReadFileBytes(path, &b, error)) return false;
  out->assign(b.begin(), b.end());
  while (!out->empty() && (out->back() == '\n' || out->back() == '\r' || out->back() == ' '))
    out->pop_back();
  return true;
}

bool ReadPin(const std::string& path, std::string* pin, std::string* error) {
  pin->clear();
  if (path.empty()) return true;
  if (!ReadText(path, pin, error)) return false;
  size_t eol = pin->find_first_of("\r\n");
  if (eol != std::string::npos) pin->resize(eol);
  return true;
}

}  // namespace qortool
