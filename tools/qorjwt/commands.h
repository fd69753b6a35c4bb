// The tool's subcommands. Each returns the process exit code: 0 valid,
// 1 rejected by the library, 2 usage or I/O error.
#pragma once

#include <string>

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

// Prints "qorjwt: <what>" on standard error and returns kExitUsage.
int Fail(const std::string& what);
// Starts the library with the trace settings; kExitValid or kExitUsage.
int StartLibrary(const Global& g);
// A whole input file ("-" for standard input) as text.
bool ReadText(const std::string& path, std::string* out, std::string* error);
// The PIN in a file, without its line ending; empty path, empty PIN.
bool ReadPin(const std::string& path, std::string* pin, std::string* error);

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
};
int TicketIssue(const Global& g, const TicketIssueArgs& a);

struct JwtVerifyArgs {
  std::string secret_file, cert, jwks, sub, iss, aud, jti, input = "-";
};
int JwtVerify(const Global& g, const JwtVerifyArgs& a);

struct CertShowArgs {
  std::string file, attribute;
};
int CertShow(const Global& g, const CertShowArgs& a);

struct KeystoreArgs {
  std::string file, pin_file, subject = "/CN=SYS", key_type = "rsa", cert;
  int days = 365;
};
int KeystoreCreate(const Global& g, const KeystoreArgs& a);
int KeystoreShow(const Global& g, const KeystoreArgs& a);
int KeystoreAddCert(const Global& g, const KeystoreArgs& a);

}  // namespace qortool
