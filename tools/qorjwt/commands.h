// The tool's subcommands. Each returns the process exit code: 0 valid,
// 1 rejected by the library, 2 usage or I/O error.
#pragma once

#include <string>
#include <vector>

#include "pki.h"
#include "report.h"

namespace qortool {

constexpr int kExitValid = 0;
constexpr int kExitRejected = 1;
constexpr int kExitUsage = 2;

struct Global {
  bool json = false;
  std::string trace_file;
  int trace_level = 1;
};

// Whether Fail writes its message as a JSON object on standard output.
void SetJsonErrors(bool json);
// Prints "qorjwt: <what>" on standard error (or the JSON error object) and
// returns kExitUsage.
int Fail(const std::string& what);
// Starts the library with the trace settings; kExitValid or kExitUsage.
int StartLibrary(const Global& g);
// A whole input file ("-" for standard input) as text.
bool ReadText(const std::string& path, std::string* out, std::string* error);
// The PIN in a file, without its line ending; empty path, empty PIN.
bool ReadPin(const std::string& path, std::string* pin, std::string* error);

// "issuer.key is a private key; --cert wants a certificate" when the file
// holds a recognised kind of key material that is not in `accepted`; ""
// when it fits or is not recognised (the library then has its say).
std::string WrongKeyFile(const std::string& path, const Bytes& data, const std::string& option,
                         const std::vector<std::string>& accepted, const std::string& wants);

// Subject, issuer, serial and validity of a certificate into the report.
void ReportCert(Report* r, const CertSummary& c);

struct TicketInspectArgs {
  std::string input = "-";
};
int TicketInspect(const Global& g, const TicketInspectArgs& a);

struct TicketVerifyArgs {
  std::string cert, keystore, pin_file, sysid, client, codepage, input = "-";
  bool assertion = false;
};
int TicketVerify(const Global& g, const TicketVerifyArgs& a);

struct TicketIssueArgs {
  std::string keystore, pin_file, sysid, client, user, portal_user, language, auth_scheme, output;
  std::string own_sysid, own_client, hash = "SHA256";
  bool include_cert = false;
};
int TicketIssue(const Global& g, const TicketIssueArgs& a);

struct JwtInspectArgs {
  std::string input = "-";
};
int JwtInspect(const Global& g, const JwtInspectArgs& a);

struct JwtVerifyArgs {
  std::string secret_file, secret_b64, cert, jwks, sub, iss, aud, jti, claim, input = "-";
};
int JwtVerify(const Global& g, const JwtVerifyArgs& a);

struct CertShowArgs {
  std::string file, attribute;
};
int CertShow(const Global& g, const CertShowArgs& a);

struct KeystoreArgs {
  std::string file, pin_file, subject = "/CN=SYS", key_type = "rsa", cert;
  int days = 365;
  bool force = false;
};
int KeystoreCreate(const Global& g, const KeystoreArgs& a);
int KeystoreShow(const Global& g, const KeystoreArgs& a);
int KeystoreAddCert(const Global& g, const KeystoreArgs& a);

}  // namespace qortool
