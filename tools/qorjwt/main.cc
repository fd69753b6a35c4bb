// qorjwt: look at, verify and issue tickets, verify tokens, show
// certificates and manage key stores, on top of libqorjwt's C interface.
#include <CLI/CLI.hpp>

#include "commands.h"

using namespace qortool;

namespace {

void add_input(CLI::App* cmd, std::string* input, const char* what) {
  cmd->add_option("input", *input, std::string(what) + " file, or - for standard input")
      ->default_val("-");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Look at, verify and issue single sign-on tickets and JSON Web Tokens", "qorjwt"};
  app.require_subcommand(1);
  // Options of the top level are also taken after a subcommand ("qorjwt ticket verify --json").
  app.fallthrough();
  app.set_version_flag("--version", std::string("qorjwt ") + QOR_TOOL_VERSION);
  Global g;
  app.add_flag("--json", g.json, "machine-readable output");
  app.add_option("--trace", g.trace_file, "write the library's trace to this file");
  app.add_option("--trace-level", g.trace_level, "trace level 0..3")->check(CLI::Range(0, 3));

  int rc = kExitUsage;
  CLI::App* ticket = app.add_subcommand("ticket", "logon and assertion tickets")->require_subcommand(1);

  TicketInspectArgs inspect;
  CLI::App* t_inspect = ticket->add_subcommand("inspect", "decode a ticket without verifying it");
  add_input(t_inspect, &inspect.input, "ticket text");
  t_inspect->callback([&] { rc = TicketInspect(g, inspect); });

  TicketVerifyArgs verify;
  CLI::App* t_verify = ticket->add_subcommand("verify", "evaluate a ticket with the library");
  auto* key_opt = t_verify->add_option("--cert", verify.cert, "issuer certificate (PEM or DER)");
  t_verify->add_option("--keystore", verify.keystore, "key store (PKCS#12 or PEM bundle)")->excludes(key_opt);
  t_verify->add_option("--pin-file", verify.pin_file, "file holding the key store PIN");
  t_verify->add_flag("--assertion", verify.assertion, "expect an assertion ticket for --sysid/--client");
  t_verify->add_option("--sysid", verify.sysid, "own system id (assertion tickets)");
  t_verify->add_option("--client", verify.client, "own client (assertion tickets)");
  t_verify->add_option("--codepage", verify.codepage, "code page of returned texts")->default_val("4110");
  add_input(t_verify, &verify.input, "ticket text");
  t_verify->callback([&] { rc = TicketVerify(g, verify); });

  TicketIssueArgs issue;
  CLI::App* t_issue = ticket->add_subcommand("issue", "create an assertion ticket");
  t_issue->add_option("--keystore", issue.keystore, "own key store (PKCS#12 or PEM bundle)")->required();
  t_issue->add_option("--pin-file", issue.pin_file, "file holding the key store PIN");
  t_issue->add_option("--sysid", issue.sysid, "recipient system id")->required();
  t_issue->add_option("--client", issue.client, "recipient client")->required();
  t_issue->add_option("--user", issue.user, "user name");
  t_issue->add_option("--portal-user", issue.portal_user, "portal user name");
  t_issue->add_option("--language", issue.language, "logon language (one character)");
  t_issue->add_option("--auth-scheme", issue.auth_scheme, "authentication scheme");
  t_issue->add_option("-o,--output", issue.output, "write the ticket text to this file");
  t_issue->callback([&] { rc = TicketIssue(g, issue); });

  JwtVerifyArgs jwt_args;
  CLI::App* jwt = app.add_subcommand("jwt", "JSON Web Tokens")->require_subcommand(1);
  CLI::App* j_verify = jwt->add_subcommand("verify", "check a token's signature and claims");
  auto* secret = j_verify->add_option("--secret-file", jwt_args.secret_file, "HMAC secret (raw bytes)");
  auto* cert_opt = j_verify->add_option("--cert", jwt_args.cert, "certificate or public key of the signer")->excludes(secret);
  j_verify->add_option("--jwks", jwt_args.jwks, "JWK Set; the token's kid chooses the key")->excludes(secret)->excludes(cert_opt);
  j_verify->add_option("--sub", jwt_args.sub, "required subject");
  j_verify->add_option("--iss", jwt_args.iss, "required issuer");
  j_verify->add_option("--aud", jwt_args.aud, "required audience");
  j_verify->add_option("--jti", jwt_args.jti, "required token id");
  add_input(j_verify, &jwt_args.input, "token");
  j_verify->callback([&] { rc = JwtVerify(g, jwt_args); });

  CertShowArgs cert_args;
  CLI::App* cert = app.add_subcommand("cert", "certificates")->require_subcommand(1);
  CLI::App* c_show = cert->add_subcommand("show", "certificate attributes");
  c_show->add_option("file", cert_args.file, "certificate (PEM or DER)")->required();
  c_show->add_option("attribute", cert_args.attribute, "one attribute (SUBJECT, ISSUER, ...); all if omitted");
  c_show->callback([&] { rc = CertShow(g, cert_args); });

  KeystoreArgs ks;
  CLI::App* keystore = app.add_subcommand("keystore", "PKCS#12 key stores")->require_subcommand(1);
  CLI::App* k_create = keystore->add_subcommand("create", "new key store with a key and self-signed certificate");
  k_create->add_option("file", ks.file, "key store to write")->required();
  k_create->add_option("--pin-file", ks.pin_file, "file holding the PIN (none: no PIN)");
  k_create->add_option("--subject", ks.subject, "certificate subject")->default_val("/CN=SYS");
  k_create->add_option("--key-type", ks.key_type, "rsa or ec")->default_val("rsa")->check(CLI::IsMember({"rsa", "ec"}));
  k_create->add_option("--days", ks.days, "validity in days")->default_val(365)->check(CLI::Range(1, 36500));
  k_create->callback([&] { rc = KeystoreCreate(g, ks); });
  CLI::App* k_show = keystore->add_subcommand("show", "list a key store's entries");
  k_show->add_option("file", ks.file, "key store")->required();
  k_show->add_option("--pin-file", ks.pin_file, "file holding the PIN");
  k_show->callback([&] { rc = KeystoreShow(g, ks); });
  CLI::App* k_add = keystore->add_subcommand("add-cert", "add a trusted certificate");
  k_add->add_option("file", ks.file, "key store")->required();
  k_add->add_option("cert", ks.cert, "certificate (PEM or DER)")->required();
  k_add->add_option("--pin-file", ks.pin_file, "file holding the PIN");
  k_add->callback([&] { rc = KeystoreAddCert(g, ks); });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version come here too, with exit code 0.
    return app.exit(e) == 0 ? kExitValid : kExitUsage;
  }
  return rc;
}
