// Each allocation of a full call fails once in turn, for N = 1, 2, ...:
// a ticket evaluation, JWT evaluations, key loads and an assertion ticket
// creation. Every run ends in a defined error result (or in a success whose
// output is right), and the same call succeeds right after.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "crypto/sign/signtest.h"
#include "fault/failalloc.h"
#include "sec/jwt/jwttest.h"
#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {


std::function<bool(int32_t)> OneOf(std::set<int32_t> results) {
  return [results](int32_t rc) { return results.count(rc) == 1; };
}

// A result of the library's table, or an SSF result of the signature step
// (low half), possibly with the signer's result in the high half: the
// crypto library reports its memory failures under several names.
bool TicketResult(int32_t rc) { return rc > 0 && (rc & 0xFFFF) != 0; }

// Every N up to kDense fails in turn; beyond it a stride keeps about kSparse
// more runs, so calls with thousands of allocations (the crypto library's
// decoders allocate a lot for one certificate) stay within seconds.
constexpr long kDense = 400;
constexpr long kSparse = 400;

struct Call {
  const char* name;
  std::function<void()> fresh;   // new outputs, made before arming
  std::function<int32_t()> run;  // the call
  std::function<bool()> right;   // the outputs of the last successful run
  std::function<bool(int32_t)> defined;  // the failure results the call may give
  long dense = kDense, sparse = kSparse;
};

int32_t Run(const Call& c, long n = -1) {
  if (c.fresh) c.fresh();
  if (n >= 0) qorfault::Arm(n);
  const int32_t rc = c.run();
  if (n >= 0) qorfault::Disarm();
  return rc;
}

void Sweep(const Call& c) {
  SCOPED_TRACE(c.name);
  ASSERT_EQ(Run(c), kRcOk);  // lazily made state (providers, caches) stays out of the count
  ASSERT_TRUE(c.right());
  ASSERT_EQ(Run(c, 0), kRcOk);
  const long total = qorfault::Disarm();
  ASSERT_GT(total, 0);
  const long stride = total > c.dense + c.sparse ? (total - c.dense) / c.sparse : 1;
  long runs = 0, failed = 0;
  std::map<int32_t, long> unexpected;
  for (long n = 1; n <= 2 * total + 100; n += n < c.dense ? 1 : stride) {
    const int32_t rc = Run(c, n);
    if (!qorfault::Hit()) {  // past the last allocation
      EXPECT_EQ(rc, 0);
      EXPECT_TRUE(c.right());
      break;
    }
    ++runs;
    if (rc == 0) {
      EXPECT_TRUE(c.right()) << "success with wrong output, allocation " << n;
    } else {
      ++failed;
      if (!c.defined(rc)) unexpected.emplace(rc, n);  // keeps the first allocation per result
    }
    EXPECT_EQ(Run(c), kRcOk) << "not usable after allocation " << n << " failed";
    EXPECT_TRUE(c.right());
    if (::testing::Test::HasFailure()) return;
  }
  for (const auto& u : unexpected) ADD_FAILURE() << "result " << u.first << " first at allocation " << u.second;
  printf("%s: %ld allocations, %ld runs with one failed, %ld of them ended in an error\n", c.name,
         total, runs, failed);
}

constexpr char kFields[] = "--user JDOE --sysid ABC --client 000 --lang E --hours 8";

class AllocFault : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    issuers_ = new Issuers;
    if (!issuers_->ok) return;
    ticket_ = new std::string(issuers_->Ticket(kFields));
    if (ExportP12(issuers_->dir, "iss", kPin)) p12_ = new Bytes(ReadBytes(issuers_->dir.file("iss.p12")));
  }
  static void TearDownTestSuite() {
    delete issuers_;
    delete ticket_;
    delete p12_;
  }
  void SetUp() override {
    ASSERT_TRUE(issuers_->ok && ticket_ && !ticket_->empty() && p12_);
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  }
  void TearDown() override { TavriShutdown(); }

  // The outside ticket, verified with the loaded key; fields and signer exact.
  static int32_t Eval(Info* out) {
    return TavriEvalLogonTicketEx(ticket_->c_str(), nullptr, nullptr, nullptr, nullptr, &out->ti);
  }
  static bool Right(const Info& out) {
    return out.User() == "JDOE" && out.Sys() == "ABC" && out.Cli() == "000" && out.Lang() == "E" &&
           out.Cert() == issuers_->Der("iss") && out.Type() == ZOVEDADU2_LOGON_TICKET;
  }
  static bool TicketEvaluates() {
    Info out;
    return Eval(&out) == 0 && Right(out);
  }
  static int32_t Load(const Bytes& key, int32_t type, const char* pin = nullptr) {
    return TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()), pin, 0, type);
  }

  static Issuers* issuers_;
  static std::string* ticket_;
  static Bytes* p12_;
};
Issuers* AllocFault::issuers_ = nullptr;
std::string* AllocFault::ticket_ = nullptr;
Bytes* AllocFault::p12_ = nullptr;

TEST_F(AllocFault, LogonTicketEvaluation) {
  ASSERT_EQ(LoadCert(issuers_->Der("ca")), kRcOk);
  std::unique_ptr<Info> out;
  int32_t rc = -1;
  Sweep({"logon ticket", [&] { out.reset(new Info); }, [&] { return rc = Eval(out.get()); },
         [&] { return rc == 0 && Right(*out); }, TicketResult});
}

constexpr char kSecret[] = "a secret of thirty-two bytes....";

TEST_F(AllocFault, JwtEvaluation) {
  jwttest::Signer signer;
  const std::string payload = R"({"sub":"jdoe","iss":"fault","user":"JDOE","exp":4102444800})", secret = kSecret;
  signer.AddHs("HS256", secret, payload);
  signer.Add("RS256", "rsa:k1:2048", R"({"alg":"RS256","typ":"JWT"})", payload);
  signer.Run();
  ASSERT_FALSE(HasFailure());
  const struct {
    const char* name;
    std::string token;
    Bytes key;
  } cases[] = {{"HS256", signer.token(0), ToBytes(secret)}, {"RS256", signer.token(1), signer.key("k1.cert")}};
  for (const auto& t : cases) {
    std::unique_ptr<jwttest::Info> out;
    int32_t rc = -1;
    Sweep({t.name, [&] { out.reset(new jwttest::Info); },
           [&] {
             return rc = TavriEvalJWToken(t.token.data(), t.token.size(), t.key.data(), t.key.size(), "user",
                                          &out->info);
           },
           [&] {
             const bool right = rc == 0 && out->user() == "JDOE" && out->sub() == "jdoe" && out->iss() == "fault" && out->body() == payload;
             if (rc == 0 && !right) ADD_FAILURE() << out->error();
             return right;
           },
           OneOf({kRcInvalidTicket})});
  }
}

// A part whose buffer cannot be had is reported as that part failing to
// decode; only the body's token array is "out of memory".
TEST_F(AllocFault, JwtPartDecodingWithoutMemoryNamesThePart) {
  jwttest::Signer signer;
  signer.AddHs("HS256", kSecret, R"({"sub":"jdoe","exp":4102444800})");
  signer.Run();
  ASSERT_FALSE(HasFailure());
  const std::string token = signer.token(0);
  const Bytes key = ToBytes(kSecret);
  std::map<std::string, int32_t> seen;
  for (long n = 1;; ++n) {
    jwttest::Info out;
    qorfault::Arm(n);
    const int32_t rc = jwttest::Eval(token, key, &out.info);
    qorfault::Disarm();
    if (!qorfault::Hit()) {
      EXPECT_EQ(rc, 0);
      break;
    }
    if (rc != 0) seen.emplace(out.error(), rc);
  }
  const std::map<std::string, int32_t> parts = {
      {"Invalid JWT header detected during base64 decode.", 1281},
      {"Invalid JWT signature detected during base64", 1281},
      {"Invalid JWT body detected during base64", 1281}};
  for (const auto& p : parts) {
    ASSERT_EQ(seen.count(p.first), 1u) << p.first;
    EXPECT_EQ(seen[p.first], p.second) << p.first;
  }
  for (const auto& s : seen) EXPECT_TRUE(s.second != 11 || s.first == "JWT malloc failed") << s.first;
}

TEST_F(AllocFault, KeyLoad) {
  const Bytes cert = issuers_->Der("iss");
  Sweep({"certificate load", nullptr, [&] { return Load(cert, 1); }, TicketEvaluates, OneOf({kRcNoMemory, kRcInternal})});
  // A key store image is only taken apart when first used: load and use it.
  std::unique_ptr<Info> out;
  Sweep({"key store load and first use", [&] { out.reset(new Info); },
         [&] {
           const int32_t rc = Load(*p12_, 0, kPin);
           return rc != 0 ? rc : Eval(out.get());
         },
         [&] { return Right(*out) && TicketEvaluates(); },
         TicketResult, 150, 150});  // each run derives the image's keys twice: fewer runs
}

TEST_F(AllocFault, AssertionCreation) {
  ASSERT_EQ(Load(*p12_, 0, kPin), kRcOk);
  CreateRequest in("RCP", "001", "alice");
  char buf[4096];
  uint32_t len = 0;
  int32_t rc = -1;
  Sweep({"assertion ticket", [&] { len = sizeof buf; },
         [&] {
           return rc = TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &in.ti, buf, &len);
         },
         [&] {
           // Read back by the evaluation, which runs unarmed.
           const std::string text(buf, rc == 0 ? len : 0);
           Info out;
           const int32_t erc = rc == 0 ? TavriEvalAssertionTicket(text.c_str(), nullptr, nullptr, "RCP", "001", &out.ti) : -1;
           return rc == 0 && erc == 0 &&
                  out.User() == "alice" && out.Sys() == "ISS" && out.Cli() == "100" &&
                  out.Type() == ZOVEDADU2_ASSERTION_TICKET;
         },
         TicketResult});
}

TEST_F(AllocFault, CertificateParse) {
  const Bytes cert = issuers_->Der("iss");
  std::string want;
  for (const char* type : {"SUBJECT", "SUMMARY"}) {
    unsigned char buf[4096];
    int32_t len = 0;
    int32_t rc = -1;
    Sweep({type, [&] { len = sizeof buf; },
           [&] { return rc = TavriParseCertificate(cert.data(), static_cast<int32_t>(cert.size()), type, buf, &len); },
           [&] {
             if (want.empty()) want.assign(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
             const std::string got(reinterpret_cast<const char*>(buf), rc == 0 ? static_cast<size_t>(len) : 0);
             if (rc == 0 && got != want) ADD_FAILURE() << got;
             return rc == 0 && !got.empty() && got == want;
           },
           TicketResult});
    want.clear();
  }
}

}  // namespace
