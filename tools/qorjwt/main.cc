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
  app.add_flag("--json", g.json, "machine-readable output: one JSON object on standard output, errors included");
  app.add_option("--trace", g.trace_file, "write the library's trace to this file");
  app.add_option("--trace-level", g.trace_level, "trace level 0..3")->check(CLI::Range(0, 3));

  int rc = kExitUsage;
  // Runs a subcommand once the whole command line is read, so --json counts wherever it stands.
  auto run = [&](CLI::App* cmd, auto command) {
    cmd->callback([&rc, &g, command] {
      SetJsonErrors(g.json);
      rc = command();
    });
  };

  CLI::App* ticket = app.add_subcommand("ticket", "logon and assertion tickets")->require_subcommand(1);

  TicketInspectArgs inspect;
  CLI::App* t_inspect = ticket->add_subcommand("inspect", "decode a ticket without verifying it");
  add_input(t_inspect, &inspect.input, "ticket text");
  run(t_inspect, [&] { return TicketInspect(g, inspect); });

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
  run(t_verify, [&] { return TicketVerify(g, verify); });

  TicketIssueArgs issue;
  CLI::App* t_issue = ticket->add_subcommand("issue", "create an assertion ticket");
  t_issue->add_option("--keystore", issue.keystore, "own key store (PKCS#12 or PEM bundle)")->required();
  t_issue->add_option("--pin-file", issue.pin_file, "file holding the key store PIN");
  t_issue->add_option("--sysid", issue.sysid, "recipient system id")->required();
  t_issue->add_option("--client", issue.client, "recipient client")->required();
  t_issue->add_option("--own-sysid", issue.own_sysid, "issuing system id (default: QOR_OWN_SYSID, else SYS)");
  t_issue->add_option("--own-client", issue.own_client, "issuing client (default: QOR_OWN_CLIENT, else 000)");
  t_issue->add_option("--user", issue.user, "user name");
  t_issue->add_option("--portal-user", issue.portal_user, "portal user name");
  t_issue->add_option("--language", issue.language, "logon language (one character)");
  t_issue->add_option("--auth-scheme", issue.auth_scheme, "authentication scheme");
  t_issue->add_option("--hash", issue.hash, "signature digest")
      ->default_val("SHA256")
      ->check(CLI::IsMember({"SHA1", "SHA256", "SHA384", "SHA512"}, CLI::ignore_case));
  t_issue->add_flag("--include-cert", issue.include_cert, "put the signer certificate into the ticket");
  t_issue->add_option("-o,--output", issue.output, "write the ticket text to this file");
  run(t_issue, [&] { return TicketIssue(g, issue); });

  CLI::App* jwt = app.add_subcommand("jwt", "JSON Web Tokens")->require_subcommand(1);
  JwtInspectArgs jwt_inspect;
  CLI::App* j_inspect = jwt->add_subcommand("inspect", "show a token's header and claims without a key (unverified)");
  add_input(j_inspect, &jwt_inspect.input, "token");
  run(j_inspect, [&] { return JwtInspect(g, jwt_inspect); });

  JwtVerifyArgs jwt_args;
  CLI::App* j_verify = jwt->add_subcommand("verify", "check a token's signature and claims");
  j_verify->add_option("--secret-file", jwt_args.secret_file, "HMAC secret (raw bytes)");
  j_verify->add_option("--secret-b64", jwt_args.secret_b64, "HMAC secret in Base64");
  j_verify->add_option("--cert", jwt_args.cert, "certificate or public key of the signer");
  j_verify->add_option("--jwks", jwt_args.jwks, "JWK Set; the token's kid chooses the key");
  j_verify->add_option("--sub", jwt_args.sub, "required subject");
  j_verify->add_option("--iss", jwt_args.iss, "required issuer");
  j_verify->add_option("--aud", jwt_args.aud, "required audience");
  j_verify->add_option("--jti", jwt_args.jti, "required token id");
  j_verify->add_option("--claim", jwt_args.claim, "claim holding the user, shown when valid");
  add_input(j_verify, &jwt_args.input, "token");
  run(j_verify, [&] { return JwtVerify(g, jwt_args); });

  CertShowArgs cert_args;
  CLI::App* cert = app.add_subcommand("cert", "certificates")->require_subcommand(1);
  CLI::App* c_show = cert->add_subcommand("show", "certificate attributes");
  c_show->add_option("file", cert_args.file, "certificate (PEM or DER)")->required();
  c_show->add_option("attribute", cert_args.attribute, "one attribute (SUBJECT, ISSUER, ...); all if omitted");
  run(c_show, [&] { return CertShow(g, cert_args); });

  KeystoreArgs ks;
  CLI::App* keystore = app.add_subcommand("keystore", "PKCS#12 key stores")->require_subcommand(1);
  CLI::App* k_create = keystore->add_subcommand("create", "new key store with a key and self-signed certificate");
  k_create->add_option("file", ks.file, "key store to write")->required();
  k_create->add_option("--pin-file", ks.pin_file, "file holding the PIN (none: no PIN)");
  k_create->add_option("--subject", ks.subject, "certificate subject")->default_val("/CN=SYS");
  k_create->add_option("--key-type", ks.key_type, "rsa or ec")->default_val("rsa")->check(CLI::IsMember({"rsa", "ec"}));
  k_create->add_option("--days", ks.days, "validity in days")->default_val(365)->check(CLI::Range(1, 36500));
  k_create->add_flag("--force", ks.force, "replace an existing file (and the trusted certificates in it)");
  run(k_create, [&] { return KeystoreCreate(g, ks); });
  CLI::App* k_show = keystore->add_subcommand("show", "list a key store's entries");
  k_show->add_option("file", ks.file, "key store")->required();
  k_show->add_option("--pin-file", ks.pin_file, "file holding the PIN");
  run(k_show, [&] { return KeystoreShow(g, ks); });
  CLI::App* k_add = keystore->add_subcommand("add-cert", "add a trusted certificate");
  k_add->add_option("file", ks.file, "key store")->required();
  k_add->add_option("cert", ks.cert, "certificate (PEM or DER)")->required();
  k_add->add_option("--pin-file", ks.pin_file, "file holding the PIN");
  run(k_add, [&] { return KeystoreAddCert(g, ks); });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version come here too, with exit code 0.
    if (e.get_exit_code() == 0) return app.exit(e) == 0 ? kExitValid : kExitUsage;
    bool json = g.json;
    for (int i = 1; i < argc; ++i) json = json || std::string(argv[i]) == "--json";
    if (!json) {
      app.exit(e);
      return kExitUsage;
    }
    PrintError(true, e.what(), kExitUsage);
    return kExitUsage;
  }
  return rc;
}
