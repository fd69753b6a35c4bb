// Tickets from the outside issuer (tests/tools/make_ticket.py) and a fully
// wired TICKET_INFO for the evaluation tests.
#pragma once

#include <string.h>
#include <time.h>

#include <string>

#include "crypto/cryptotest.h"
#include "crypto/ssf/ssftypes.h"
#include "qorjwt.h"
#include "sec/tavrisso/results.h"
#include "ticketinfo.h"

namespace qortest {

constexpr char kMakeTicket[] = "/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/make_ticket.py ";

// Issuer keys made once per test in a temporary directory: a CA, an
// RSA-2048 issuer certified by it, and a self-signed EC P-256 stranger.
struct Issuers {
  TempDir dir;
  bool ok = false;
  Issuers() {
    ok = Sh(std::string(kMakeTicket) + "cert " + dir.file("ca") + " --cn 'Test CA' --is-ca") &&
         Sh(std::string(kMakeTicket) + "cert " + dir.file("iss") + " --cn Issuer --ca " + dir.file("ca")) &&
         Sh(std::string(kMakeTicket) + "cert " + dir.file("ec") + " --kind ec256 --cn Stranger");
  }
  Bytes Der(const std::string& base) const { return ReadBytes(dir.file(base + ".der")); }
  // A ticket signed by `base` (default the RSA issuer) with further options.
  std::string Ticket(const std::string& opts, const std::string& base = "iss") const {
    return ShOut(std::string(kMakeTicket) + "ticket --key " + dir.file(base + ".key") + " --cert " +
                 dir.file(base + ".pem") + " " + opts);
  }
};

inline int32_t LoadCert(const Bytes& der) {
  return TavriLoadTicketKey(der.data(), static_cast<int32_t>(der.size()), nullptr, 0, 1);
}

// "YYYYMMDDhhmm" of now - minutes_ago, and its seconds since 1970.
inline std::string CreatedAgo(int minutes_ago, time_t* at) {
  time_t t = time(nullptr) / 60 * 60 - minutes_ago * 60;
  struct tm tm;
  gmtime_r(&t, &tm);
  char buf[16];
  strftime(buf, sizeof buf, "%Y%m%d%H%M", &tm);
  if (at) *at = t;
  return buf;
}

// Every output of TICKET_INFO wired to a buffer of 64 bytes (the
// certificate 4096), the ticket type marked as not written.
struct Info : BufferedTicketInfo<64, 4096> {
  Info() { memcpy(&ti.tTicketType, &kUntouched, sizeof kUntouched); }
  // Written raw: 7 is no TICKET_TYPE value, and shows an untouched field.
  static constexpr int32_t kUntouched = 7;
  int32_t Type() const {
    int32_t v;
    memcpy(&v, &ti.tTicketType, sizeof v);
    return v;
  }
  static std::string Text(const char* p, int32_t n) { return std::string(p, static_cast<size_t>(n)); }
  std::string User() const { return Text(user, userL); }
  std::string Sys() const { return Text(sys, sysL); }
  std::string Cli() const { return Text(cli, cliL); }
  std::string Lang() const { return Text(lang, langL); }
  std::string Prt() const { return Text(prt, prtL); }
  std::string Auth() const { return Text(auth, authL); }
  Bytes Cert() const { return Bytes(cert, cert + certL); }
  // The returned texts in one line, for one comparison: user|system|client|language|portal user|scheme.
  std::string Texts() const {
    return User() + "|" + Sys() + "|" + Cli() + "|" + Lang() + "|" + Prt() + "|" + Auth();
  }
};

// A creation request for TavriCreateAssertionTicket: recipient system,
// client and user, each wired with its length.
struct CreateRequest {
  std::string sys, cli, user;
  int32_t sysL, cliL, userL;
  TICKET_INFO ti = {};
  CreateRequest(std::string s, std::string c, std::string u) : sys(std::move(s)), cli(std::move(c)), user(std::move(u)) {
    ti.struct_size = sizeof ti;
    sysL = static_cast<int32_t>(sys.size()), ti.pSysID = &sys[0], ti.pIntSysIDL = &sysL;
    cliL = static_cast<int32_t>(cli.size()), ti.pQORClient = &cli[0], ti.pIntQORClientL = &cliL;
    userL = static_cast<int32_t>(user.size()), ti.pQORUser = &user[0], ti.pIntQORUserL = &userL;
  }
  CreateRequest(const CreateRequest&) = delete;
  CreateRequest& operator=(const CreateRequest&) = delete;
};

}  // namespace qortest
