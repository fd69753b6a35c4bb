// Eight threads mix ticket and token evaluation, certificate parsing and the
// properties while one of them keeps switching the loaded key between two
// issuers: every success carries exactly its ticket's or token's fields,
// every failure is the library's result for a key that is not in force.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "sec/jwt/jwttest.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define QOR_STRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define QOR_STRESS_SANITIZED 1
#endif
#endif
#ifdef QOR_STRESS_SANITIZED
constexpr int kRounds = 40;  // per evaluating thread; sanitizers are ~10x slower
#else
constexpr int kRounds = 400;
#endif
constexpr int kThreads = 8;  // thread 0 reloads the key, the others evaluate

// Verification with the issuer that is not loaded.
constexpr int32_t kWrongSigner = TavriCombine(SSF_API_UNKNOWN_SIGNER, SSF_API_SIGNER_ERRORS);

constexpr char kOwnSys[] = "STR", kOwnClient[] = "042";
constexpr char kPropertyList[] =
    "QOR_EXT_TRC;QOR_EXT_TRL;QOR_EXT_SYSID;QOR_EXT_CLIENT;QOR_OWN_SYSID;QOR_OWN_CLIENT;"
    "QOR_EXT_CODEPAGE;SSF_LIB;SSF_HASH;SSF_INCLUDE_CERT";

enum Op {
  kLogon,         // logon ticket of issuer A, B or the never-loaded C
  kAssertion,     // assertion ticket of A or B for the own identity
  kJwtRsLoaded,   // RS256 token of A or B, verified with the loaded key
  kJwtHsLoaded,   // HS256 token keyed with A's or B's certificate bytes: a
                  // loaded certificate is never taken as an HMAC secret
  kJwtOwnKey,     // HS384 and RS256 tokens with the caller's key
  kParseCert,
  kProperties,
  kOpCount
};

struct Issuer {
  std::string name, logon, assertion, rs, hs;
  Bytes der;
};

// Issuers A, B and C with their tickets, and the tokens, made once for the suite.
struct Material {
  TempDir dir;
  std::vector<Issuer> issuers;
  jwttest::Signer jwt;
  std::string own_secret = "a secret of the caller, 32 bytes";
  std::map<std::string, size_t> rs, hs;
  size_t own_hs = 0, own_rs = 0;
};

class Stress : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    m_ = new Material;
    const std::string fields = " --sysid ABC --client 000 --lang E --hours 8";
    for (const char* name : {"A", "B", "C"}) {
      Issuer is;
      is.name = name;
      const std::string base = m_->dir.file(name);
      ASSERT_TRUE(Sh(std::string(kMakeTicket) + "cert " + base + " --cn 'Stress " + name + "'"));
      const std::string keys = " --key " + base + ".key --cert " + base + ".pem";
      is.logon = ShOut(std::string(kMakeTicket) + "ticket" + keys + " --user U" + name + fields);
      is.assertion = ShOut(std::string(kMakeTicket) + "ticket" + keys + " --user S" + name + fields +
                           " --rcpt-sysid " + kOwnSys + " --rcpt-client " + kOwnClient + " --flags 1");
      ASSERT_FALSE(is.logon.empty() || is.assertion.empty());
      is.der = ReadBytes(base + ".der");
      const std::string body = R"({"sub":"user-)" + is.name + R"(","exp":4102444800})";
      m_->rs[is.name] = m_->jwt.Add("RS256", "pem:" + base + ".key", R"({"alg":"RS256"})", body);
      m_->hs[is.name] = m_->jwt.Add("HS256", "raw:" + jwttest::Hex(std::string(is.der.begin(), is.der.end())),
                                    R"({"alg":"HS256"})", body);
      m_->issuers.push_back(is);
    }
    m_->own_hs = m_->jwt.AddHs("HS384", m_->own_secret, R"({"sub":"own-hs","exp":4102444800})");
    m_->own_rs = m_->jwt.Add("RS256", "rsa:own:2048", R"({"alg":"RS256"})", R"({"sub":"own-rs","exp":4102444800})");
    m_->jwt.Run();
  }
  static void TearDownTestSuite() { delete m_; }
  void SetUp() override {
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
    ASSERT_EQ(RavAreSetProperty("QOR_OWN_SYSID", kOwnSys), kRcOk);
    ASSERT_EQ(RavAreSetProperty("QOR_OWN_CLIENT", kOwnClient), kRcOk);
    ASSERT_EQ(LoadCert(m_->issuers.at(0).der), kRcOk);
  }
  void TearDown() override { TavriShutdown(); }

  static Material* m_;
};
Material* Stress::m_ = nullptr;

// What one evaluating thread saw: result counts per operation and issuer,
// and the descriptions of wrong outcomes.
struct Tally {
  std::map<std::string, int> counts;
  std::vector<std::string> wrong;
  void Count(const std::string& what, int32_t rc) { ++counts[what + " rc=" + std::to_string(rc)]; }
  void Wrong(const std::string& what, int32_t rc, const std::string& detail) {
    wrong.push_back(what + " rc=" + std::to_string(rc) + " " + detail);
  }
};

// Thread 0 runs reload(n) for n = 0, 1, ... until the others have run
// work(thread, round) for kRounds rounds each; every wrong outcome fails the
// test and the result counts are printed. The number of reloads.
template <typename Reload, typename Work>
int RunAndReport(Reload reload, Work work) {
  std::vector<Tally> tallies(kThreads);
  std::atomic<int> running{kThreads - 1};
  int reloads = 0;
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (; reloads == 0 || running.load() > 0; ++reloads) {  // at least one reload
      reload(reloads, tallies[0]);
      std::this_thread::yield();
    }
  });
  for (int n = 1; n < kThreads; ++n)
    threads.emplace_back([&, n] {
      for (int round = 0; round < kRounds; ++round) work(n, round, tallies[n]);
      --running;
    });
  for (auto& th : threads) th.join();
  std::map<std::string, int> counts;
  for (const Tally& t : tallies) {
    for (const auto& w : t.wrong) ADD_FAILURE() << w;
    for (const auto& [what, n] : t.counts) counts[what] += n;
  }
  for (const auto& [what, n] : counts) std::cout << what << ": " << n << "\n";
  std::cout << reloads << " key reloads\n";
  return reloads;
}

// The certificate's subject, or "rc=<result>".
std::string Subject(const Bytes& der) {
  unsigned char buf[64];
  int32_t len = sizeof buf;
  const int32_t rc = TavriParseCertificate(der.data(), static_cast<int32_t>(der.size()), "SUBJECT", buf, &len);
  return rc == kRcOk ? std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(len)) : "rc=" + std::to_string(rc);
}

int32_t EvalJwt(const std::string& token, const Bytes* key, jwttest::Info* out) {
  return TavriEvalJWToken(token.data(), token.size(), key ? key->data() : nullptr, key ? key->size() : 0,
                          nullptr, &out->info);
}

TEST_F(Stress, EvaluationsStayCorrectWhileTheKeyIsReloaded) {
  const std::vector<Issuer>& is = m_->issuers;
  const Bytes own_secret = ToBytes(m_->own_secret), own_cert = m_->jwt.key("own.cert");
  auto reload = [&](int n, Tally& t) {
    int32_t rc = LoadCert(is[n % 2].der);
    if (rc != 0) t.Wrong("reload", rc, is[n % 2].name);
    if (n % 16 == 0) {
      // Property sets of values nobody reads meanwhile, under paramSetting.
      RavAreSetProperty("QOR_EXT_SYSID", n % 32 ? "EXTA" : "EXTB");
      RavAreSetProperty("QOR_EXT_TRL", n % 32 ? "0" : "1");
    }
  };

  auto work = [&](int thread, int round, Tally& t) {
    const Issuer& who = is[(thread + round) % 3];  // C is never loaded
    const bool loadable = who.name != "C";
    const Op op = static_cast<Op>((thread * 3 + round) % kOpCount);
    switch (op) {
      case kLogon: {
        Info out;
        int32_t rc = TavriEvalLogonTicketEx(who.logon.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti);
        t.Count("logon " + who.name, rc);
        if (rc == 0 && (!loadable || out.User() != "U" + who.name || out.Sys() != "ABC" ||
                        out.Cert() != who.der || out.Type() != ZOVEDADU2_LOGON_TICKET))
          t.Wrong("logon " + who.name, rc, out.User());
        if (rc != 0 && rc != kWrongSigner) t.Wrong("logon " + who.name, rc, "");
        break;
      }
      case kAssertion: {
        const Issuer& a = is[round % 2];
        Info out;
        int32_t rc = TavriEvalAssertionTicket(a.assertion.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti);
        t.Count("assertion " + a.name, rc);
        if (rc == 0 && (out.User() != "S" + a.name || out.Type() != ZOVEDADU2_ASSERTION_TICKET))
          t.Wrong("assertion " + a.name, rc, out.User());
        if (rc != 0 && rc != kWrongSigner) t.Wrong("assertion " + a.name, rc, "");
        break;
      }
      case kJwtRsLoaded:
      case kJwtHsLoaded: {
        const bool rs = op == kJwtRsLoaded;
        const std::string what = std::string(rs ? "RS256 " : "HS256 ") + who.name;
        jwttest::Info out;
        int32_t rc = EvalJwt(m_->jwt.token(rs ? m_->rs[who.name] : m_->hs[who.name]), nullptr, &out);
        t.Count(what, rc);
        if (rc == 0 && (!rs || !loadable || out.sub() != "user-" + who.name)) t.Wrong(what, rc, out.sub());
        if (rc != 0 && (rc != kRcInvalidTicket || out.error() != "JWT signature validation failed"))
          t.Wrong(what, rc, out.error());
        break;
      }
      case kJwtOwnKey: {
        const bool rs = round % 2;
        jwttest::Info out;
        int32_t rc = EvalJwt(m_->jwt.token(rs ? m_->own_rs : m_->own_hs), rs ? &own_cert : &own_secret, &out);
        t.Count(rs ? "RS256 own" : "HS384 own", rc);
        if (rc != 0 || out.sub() != (rs ? "own-rs" : "own-hs")) t.Wrong("own key", rc, out.error());
        break;
      }
      case kParseCert: {
        const std::string subject = Subject(who.der);
        t.Count("parse", subject.rfind("rc=", 0) == 0 ? std::stoi(subject.substr(3)) : 0);
        if (subject != "CN=Stress " + who.name) t.Wrong("parse " + who.name, 0, subject);
        break;
      }
      case kProperties: {
        const char* list = RavAreGetProperty(nullptr);
        const char* sys = RavAreGetProperty("QOR_OWN_SYSID");
        const char* lvl = RavAreGetProperty("QOR_EXT_TRL");
        const std::string level = lvl ? lvl : "";
        t.Count("properties", 0);
        if (!list || strcmp(list, kPropertyList) != 0 || !sys || strcmp(sys, kOwnSys) != 0 ||
            (level != "0" && level != "1"))
          t.Wrong("properties", 0, level);
        if (RavAreSetProperty("QOR_EXT_CLIENT", thread % 2 ? "111" : "222") != 0) t.Wrong("set", 9, "");
        break;
      }
      case kOpCount:
        break;
    }
  };

  const int reloads = RunAndReport(reload, work);
  RecordProperty("reloads", reloads);
  EXPECT_GT(reloads, 0);

  // Afterwards the library is as usable as before.
  ASSERT_EQ(LoadCert(is[1].der), kRcOk);
  Info out;
  EXPECT_EQ(TavriEvalLogonTicketEx(is[1].logon.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti), kRcOk);
  EXPECT_EQ(out.User(), "UB");
  Info other;
  EXPECT_EQ(TavriEvalLogonTicketEx(is[0].logon.c_str(), nullptr, nullptr, nullptr, nullptr, &other.ti),
            kWrongSigner);
}

TEST_F(Stress, ValidTicketsOfAnIssuerTrustedBeforeAndAfterEveryReloadNeverFail) {
  // The reloads switch between a store trusting A and one trusting A and B:
  // A's tickets must always pass, C's never, B's as the store in force says.
  const std::vector<Issuer>& is = m_->issuers;
  const std::string a_pem = ReadFile(m_->dir.file("A.pem"));
  const Bytes images[2] = {ToBytes(a_pem), ToBytes(a_pem + ReadFile(m_->dir.file("B.pem")))};
  auto reload = [&](int n, Tally& t) {
    const Bytes& image = images[n % 2];
    const int32_t rc = TavriLoadTicketKey(image.data(), static_cast<int32_t>(image.size()), nullptr, 0, 0);
    if (rc != 0) t.Wrong("reload", rc, "");
  };
  auto work = [&](int thread, int round, Tally& t) {
    const Issuer& who = is[(thread + round) % 3];
    Info out;
    const int32_t rc = TavriEvalLogonTicketEx(who.logon.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti);
    t.Count("logon " + who.name, rc);
    const bool wrong = who.name == "A"   ? rc != 0 || out.User() != "UA"
                       : who.name == "B" ? (rc != 0 && rc != kWrongSigner) || (rc == 0 && out.User() != "UB")
                                         : rc != kWrongSigner;
    if (wrong) t.Wrong("logon " + who.name, rc, out.User());
  };
  EXPECT_GT(RunAndReport(reload, work), 1);
}

TEST_F(Stress, CertificatesParseWhileAnotherThreadHoldsTheLibraryLock) {
  // Parsing reads only the caller's bytes: a key load or shutdown running
  // on another thread (here: the lock they take, held) must not stall it.
  std::promise<void> release;
  std::promise<void> holding;
  std::thread holder([&] {
    ThrRecMtxGuard guard(&ssf_rmtx);
    holding.set_value();
    release.get_future().wait();
  });
  holding.get_future().wait();
  auto parsed = std::async(std::launch::async, [] { return Subject(m_->issuers.at(1).der); });
  const bool finished = parsed.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  release.set_value();
  holder.join();
  EXPECT_TRUE(finished) << "TavriParseCertificate waited for the library lock";
  EXPECT_EQ(parsed.get(), "CN=Stress B");
}

}  // namespace
