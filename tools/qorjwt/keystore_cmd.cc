// keystore create|show|add-cert and cert show.
#include <stdio.h>
#include <unistd.h>

#include <vector>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"

namespace qortool {
namespace {

int show(const Global& g, const std::string& file, const std::string& pin) {
  Bytes p12;
  KeystoreEntries e;
  std::string error;
  if (!ReadFileBytes(file, &p12, &error) || !ListKeystore(p12, pin, &e, &error)) return Fail(error);
  Report r;
  r.Section("keystore");
  r.Text("file", file);
  const std::string legacy = Pkcs12LegacyCiphers(p12);
  r.Text("format", legacy.empty() ? "PKCS#12" : "PKCS#12 with legacy encryption (" + legacy + ")");
  r.Text("private_key", e.has_key ? e.key_type : "none");
  r.Bool("pin", !pin.empty());
  for (const CertSummary& c : e.own) {
    r.Section("own_certificate");
    ReportCert(&r, c);
  }
  r.Section("trusted");
  r.Value("certificates", Json::array());
  for (const CertSummary& c : e.trusted) {
    r.Item("certificates");
    ReportCert(&r, c);
  }
  r.Section("chain");
  r.Value("certificates", Json::array());
  for (const CertSummary& c : e.chain) {
    r.Item("certificates");
    ReportCert(&r, c);
  }
  r.Print(g.json, kExitValid);
  return kExitValid;
}

}  // namespace

int KeystoreCreate(const Global& g, const KeystoreArgs& a) {
  std::string pin, error;
  Bytes p12;
  // Replacing a key store also drops the certificates it trusts, so only on request.
  if (!a.force && access(a.file.c_str(), F_OK) == 0)
    return Fail(a.file + " exists; --force replaces it and the certificates it trusts");
  if (!ReadPin(a.pin_file, &pin, &error) ||
      !CreateKeystore(a.key_type, a.subject, a.days, pin, &p12, &error) ||
      !WriteFileBytes(a.file, p12, &error))
    return Fail(error);
  if (pin.empty())
    fprintf(stderr, "qorjwt: warning: %s holds a private key without a PIN; anyone who can read the file can sign\n",
            a.file.c_str());
  return show(g, a.file, pin);
}

int KeystoreShow(const Global& g, const KeystoreArgs& a) {
  std::string pin, error;
  if (!ReadPin(a.pin_file, &pin, &error)) return Fail(error);
  return show(g, a.file, pin);
}

int KeystoreAddCert(const Global& g, const KeystoreArgs& a) {
  std::string pin, error;
  Bytes p12, der, out;
  if (!ReadPin(a.pin_file, &pin, &error) || !ReadFileBytes(a.file, &p12, &error) ||
      !CertFileToDer(a.cert, &der, &error) || !AddTrustedCert(p12, pin, der, &out, &error) ||
      !WriteFileBytes(a.file, out, &error))
    return Fail(error);
  return show(g, a.file, pin);
}

int CertShow(const Global& g, const CertShowArgs& a) {
  Bytes der;
  std::string error;
  if (!CertFileToDer(a.file, &der, &error)) return Fail(error);
  if (int rc = StartLibrary(g)) return rc;
  static const char* const kAll[] = {"SUBJECT", "ISSUER", "SERIALNO", "VALIDITY", "FINGERPRINT", "ALGID"};
  std::vector<std::string> names;
  if (a.attribute.empty())
    names.assign(std::begin(kAll), std::end(kAll));
  else
    names.push_back(a.attribute);
  Report r;
  r.Section("certificate");
  for (const std::string& name : names) {
    std::vector<unsigned char> buf(256);
    int32_t len = static_cast<int32_t>(buf.size());
    int32_t rc = TavriParseCertificate(der.data(), static_cast<int32_t>(der.size()), name.c_str(),
                                       buf.data(), &len);
    if (rc == 3 && len > 0) {
      buf.resize(static_cast<size_t>(len));
      rc = TavriParseCertificate(der.data(), static_cast<int32_t>(der.size()), name.c_str(),
                                 buf.data(), &len);
    }
    if (rc != 0) {
      TavriShutdown();
      return Fail("attribute " + name + " not available (result " + std::to_string(rc) + ")");
    }
    r.Text(SnakeCase(name), std::string(buf.begin(), buf.begin() + len));
  }
  TavriShutdown();
  r.Print(g.json, kExitValid);
  return kExitValid;
}

}  // namespace qortool
