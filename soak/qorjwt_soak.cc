// Memory soak: one process evaluates a logon ticket, an assertion ticket,
// an HS256 and an RS256 token N times each (default 1,000,000) and prints
// its resident memory after 10,000 evaluations and at the end of each kind.
// Tickets and tokens come from the outside test signers in tests/tools.
//
//   qorjwt_soak [--iterations N]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qorjwt.h"
#include "testutil.h"
#include "ticketinfo.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr long kFirstReport = 10000;
constexpr char kOwnSys[] = "SOK", kOwnClient[] = "007";
constexpr char kSecret[] = "the soak's HS256 secret, 32 byte";
constexpr char kPy[] = "/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/";

// Standard output of a command that succeeded, else nothing.
std::string Run(const std::string& cmd) {
  bool ok = false;
  std::string out = qortest::ShOut(cmd, &ok);
  if (!ok) out.clear();
  return out;
}

std::string Hex(const std::string& s) {
  static const char d[] = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) h += d[c >> 4], h += d[c & 15];
  return h;
}

Bytes ReadBytes(const std::string& path) {
  Bytes b;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    int c;
    while ((c = fgetc(f)) != EOF) b.push_back(static_cast<unsigned char>(c));
    fclose(f);
  }
  return b;
}

// Resident set size in KiB, from the second field of /proc/self/statm.
long ResidentKiB() {
  long size = 0, resident = 0;
  if (FILE* f = fopen("/proc/self/statm", "r")) {
    if (fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Material {
  std::string logon, assertion, hs256, rs256;
  Bytes issuer_der;
};

bool MakeMaterial(const std::string& dir, Material* m) {
  const std::string base = dir + "/issuer";
  const std::string mk = std::string(kPy) + "make_ticket.py ";
  if (Run(mk + "cert " + base + " --cn 'Soak Issuer' && echo ok").empty()) return false;
  const std::string ticket = mk + "ticket --key " + base + ".key --cert " + base +
                             ".pem --user SOAKUSER --sysid ABC --client 000 --lang E --hours 8";
  m->logon = Run(ticket);
  m->assertion = Run(ticket + " --rcpt-sysid " + kOwnSys + " --rcpt-client " + kOwnClient + " --flags 1");
  m->issuer_der = ReadBytes(base + ".der");
  const std::string body = R"({"sub":"soak","exp":4102444800})";
  const std::string requests = dir + "/requests";
  if (FILE* f = fopen(requests.c_str(), "w")) {
    fprintf(f, "HS256 secret:%s %s %s\n", Hex(kSecret).c_str(), Hex(R"({"alg":"HS256"})").c_str(),
            Hex(body).c_str());
    fprintf(f, "RS256 pem:%s.key %s %s\n", base.c_str(), Hex(R"({"alg":"RS256"})").c_str(),
            Hex(body).c_str());
    fclose(f);
  }
  std::istringstream lines(Run(std::string(kPy) + "make_jwt.py < " + requests));
  std::vector<std::string> tokens;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("token ", 0) == 0) tokens.push_back(line.substr(6));
  if (tokens.size() != 2) return false;
  m->hs256 = tokens[0];
  m->rs256 = tokens[1];
  return !m->logon.empty() && !m->assertion.empty() && !m->issuer_der.empty();
}

bool EvalTicket(const Material& m, bool assertion) {
  qortest::BufferedTicketInfo<64, 4096> out;
  int32_t rc = assertion ? TavriEvalAssertionTicket(m.assertion.c_str(), nullptr, nullptr, nullptr,
                                                    nullptr, &out.ti)
                         : TavriEvalLogonTicketEx(m.logon.c_str(), nullptr, nullptr, nullptr, nullptr,
                                                  &out.ti);
  return rc == 0 && out.userL == 8 && memcmp(out.user, "SOAKUSER", 8) == 0;
}

bool EvalToken(const std::string& token, const Bytes* key) {
  unsigned char payload[512];
  JWT_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  info.pPayloadBuffer = payload;
  info.lPayLoadBuffer = sizeof payload;
  int32_t rc = TavriEvalJWToken(token.data(), token.size(), key ? key->data() : nullptr,
                                key ? key->size() : 0, nullptr, &info);
  return rc == 0 && info.lSubject == 4 && memcmp(info.pSubject, "soak", 4) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 1000000;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--iterations") == 0 && i + 1 < argc) {
      iterations = strtol(argv[++i], nullptr, 10);
    } else {
      fprintf(stderr, "usage: %s [--iterations N]\n", argv[0]);
      return 2;
    }
  }
  if (iterations <= 0) {
    fprintf(stderr, "--iterations must be positive\n");
    return 2;
  }
  char tmpl[] = "/tmp/qorjwt-soak-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::string dir = tmpl;
  Material m;
  const bool made = MakeMaterial(dir, &m);
  if (system(("rm -rf '" + dir + "'").c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
  if (!made) {
    fprintf(stderr, "the outside signers failed\n");
    return 1;
  }
  if (TavriInitialize(nullptr) != 0 || RavAreSetProperty("QOR_OWN_SYSID", kOwnSys) != 0 ||
      RavAreSetProperty("QOR_OWN_CLIENT", kOwnClient) != 0 ||
      TavriLoadTicketKey(m.issuer_der.data(), static_cast<int32_t>(m.issuer_der.size()), nullptr, 0, 1) != 0) {
    fprintf(stderr, "library set-up failed\n");
    return 1;
  }
  const Bytes secret(kSecret, kSecret + strlen(kSecret));
  struct Kind {
    const char* name;
    std::function<bool()> eval;
  };
  const Kind kinds[] = {
      {"logon ticket", [&] { return EvalTicket(m, false); }},
      {"assertion ticket", [&] { return EvalTicket(m, true); }},
      {"HS256 token", [&] { return EvalToken(m.hs256, &secret); }},
      {"RS256 token", [&] { return EvalToken(m.rs256, nullptr); }},  // the loaded certificate
  };
  printf("%-17s %12s %14s %12s %10s\n", "kind", "evaluations", "RSS@10000 KiB", "RSS end KiB", "growth");
  int failed = 0;
  for (const Kind& k : kinds) {
    long first = -1, failures = 0;
    for (long n = 1; n <= iterations; ++n) {
      if (!k.eval()) ++failures;
      if (n == kFirstReport) first = ResidentKiB();
    }
    const long end = ResidentKiB();
    if (first < 0) first = end;  // fewer than 10,000 evaluations
    printf("%-17s %12ld %14ld %12ld %+10ld", k.name, iterations, first, end, end - first);
    if (failures != 0) printf("  %ld FAILED", failures), failed = 1;
    printf("\n");
    fflush(stdout);
  }
  TavriShutdown();
  return failed;
}
