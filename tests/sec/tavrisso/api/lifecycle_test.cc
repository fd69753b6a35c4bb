#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "qorjwt.h"
#include "sec/tavrisso/api/state.h"
#include "crypto/cryptotest.h"
#include "testutil.h"

using qortest::Lines;
using qortest::ShOut;
using qortest::ReadFile;
using qortest::ScopedEnv;
using qortest::TempDir;

namespace {

std::string Get(const char* name) {
  const char* v = RavAreGetProperty(name);
  return v ? v : "<null>";
}
// Several properties at once, "|" between them.
std::string Get(std::initializer_list<const char*> names) {
  std::string out;
  for (const char* n : names) out += (out.empty() ? "" : "|") + Get(n);
  return out;
}

// The entry texts of a trace: prefixes and stamp lines removed.
std::vector<std::string> Entries(const std::string& text) {
  static const std::regex stamp(R"(\[Thr \d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
  static const std::regex prefix(R"(^\[Thr \d+\] )");
  std::vector<std::string> out;
  for (auto& line : Lines(text)) {
    if (std::regex_match(line, stamp) || !std::regex_search(line, prefix)) continue;
    out.push_back(std::regex_replace(line, prefix, ""));
  }
  return out;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

// The name list itself is checked by the threaded stress test.
TEST(Properties, Defaults) {
  ScopedEnv a("QORSYSTEMNAME", nullptr), b("QORSYSTEMCLIENT", nullptr),
      c("QOR_EXT_CODEPAGE", nullptr), d("SSF_HASH", nullptr), e("QOR_EXT_TRL", nullptr),
      f("QOR_EXT_TRC", nullptr);
  EXPECT_EQ(Get({"QOR_EXT_TRC", "QOR_EXT_SYSID", "QOR_EXT_CLIENT", "QOR_OWN_SYSID", "QOR_OWN_CLIENT",
                 "QOR_EXT_CODEPAGE", "SSF_HASH", "SSF_INCLUDE_CERT"}),
            "<null>|EXT|999|SYS|000|1100|SHA1|0");
  EXPECT_EQ(RavAreGetProperty("qor_own_sysid"), nullptr);
}

TEST(Properties, CopiedValuesMustFitOrLeaveTheFieldEmpty) {
  const struct { const char* name; const char* value; std::string got; } rows[] = {
      {"QOR_OWN_SYSID", "ABCDEFGH", "ABCDEFGH"}, {"QOR_OWN_SYSID", "ABCDEFGHI", ""},
      {"QOR_OWN_CLIENT", "1234", ""},            {"QOR_OWN_CLIENT", nullptr, "000"},
      {"QOR_EXT_CODEPAGE", "4110", "4110"},      {"QOR_EXT_CODEPAGE", "41100", ""},
      {"SSF_HASH", "SHA256", "SHA256"},          {"SSF_HASH", "HHHHHHHHHHHHHHHHHHHH", ""},
      {"SSF_HASH", "", "SHA1"},                  {"QOR_EXT_CLIENT", "123", "123"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(RavAreSetProperty(r.name, r.value), kRcOk);
    EXPECT_EQ(Get(r.name), r.got) << r.name << "=" << (r.value ? r.value : "null");
  }
}

TEST(Properties, UnknownAndNullNamesAreRejectedWithoutChange) {
  EXPECT_EQ(RavAreSetProperty(nullptr, "x"), kRcInvalid);
  EXPECT_EQ(RavAreSetProperty("QOR_OWN_SYSID ", "x"), kRcInvalid);
  EXPECT_EQ(RavAreSetProperty("ssf_hash", "SHA256"), kRcInvalid);
  EXPECT_EQ(Get("SSF_HASH"), "SHA1");
}

TEST(Properties, TraceLevelTakesTheFirstCharacter) {
  ScopedEnv env("QOR_EXT_TRL", nullptr);
  const struct { const char* in; const char* out; int level; } rows[] = {
      {"0", "0", 0}, {"1", "1", 1}, {"2", "2", 2}, {"3", "3", 3},
      {"7", "1", 1}, {"3x", "3", 3}, {"x3", "1", 1}, {"-2", "1", 1},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRL", r.in), kRcOk);
    EXPECT_EQ(Get("QOR_EXT_TRL"), r.out) << r.in;
    EXPECT_EQ(ct_level.load(), r.level) << r.in;
  }
  EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRL", ""), kRcOk);
  EXPECT_EQ(Get("QOR_EXT_TRL") + "|" + std::to_string(ct_level.load()), "1|0");
  for (auto [env, got] : {std::pair{"2abc", "2"}, {"9", "1"}}) {
    ScopedEnv e("QOR_EXT_TRL", env);
    EXPECT_EQ(Get("QOR_EXT_TRL"), got) << env;
  }
}

TEST(Properties, IncludeCertAcceptsOneYesTrue) {
  for (const char* yes : {"1", "yes", "YES", "Yes", "true", "TRUE", "tRuE"}) {
    RavAreSetProperty("SSF_INCLUDE_CERT", "0");
    EXPECT_EQ(RavAreSetProperty("SSF_INCLUDE_CERT", yes), kRcOk);
    EXPECT_EQ(Get("SSF_INCLUDE_CERT"), "1") << yes;
    EXPECT_TRUE(bIncludeCert);
  }
  for (const char* no : {"on", "2", "y", "yess", "11", "true ", "", static_cast<const char*>(nullptr)}) {
    RavAreSetProperty("SSF_INCLUDE_CERT", "1");
    EXPECT_EQ(RavAreSetProperty("SSF_INCLUDE_CERT", no), kRcOk);
    EXPECT_EQ(Get("SSF_INCLUDE_CERT"), "0") << (no ? no : "null");
    EXPECT_FALSE(bIncludeCert);
  }
}

TEST(Properties, EnvironmentSpeaksWhileTheStoredValueIsTheDefault) {
  ScopedEnv name("QORSYSTEMNAME", "ENV"), client("QORSYSTEMCLIENT", "321"),
      cp("QOR_EXT_CODEPAGE", "4110"), hash("SSF_HASH", "SHA512");
  EXPECT_EQ(Get({"QOR_OWN_SYSID", "QOR_EXT_SYSID", "QOR_OWN_CLIENT", "QOR_EXT_CLIENT", "QOR_EXT_CODEPAGE", "SSF_HASH"}),
            "ENV|ENV|321|321|4110|SHA512");
  RavAreSetProperty("QOR_OWN_SYSID", "OWN");
  EXPECT_EQ(Get({"QOR_OWN_SYSID", "QOR_EXT_SYSID"}), "OWN|ENV");
  // The comparison covers the default's length only.
  RavAreSetProperty("QOR_EXT_SYSID", "EXTRA");
  RavAreSetProperty("SSF_HASH", "SHA1X");
  EXPECT_EQ(Get({"QOR_EXT_SYSID", "SSF_HASH"}), "ENV|SHA512");
  RavAreSetProperty("SSF_HASH", "SHA256");
  EXPECT_EQ(Get("SSF_HASH"), "SHA256");
}

TEST(Properties, SsfLibGoesToTheEnvironment) {
  ScopedEnv env("SSF_LIB", nullptr);
  EXPECT_EQ(RavAreGetProperty("SSF_LIB"), nullptr);
  EXPECT_EQ(RavAreSetProperty("SSF_LIB", "libother.so"), kRcOk);
  EXPECT_STREQ(getenv("SSF_LIB"), "libother.so");
  EXPECT_EQ(Get("SSF_LIB"), "libother.so");
  EXPECT_EQ(RavAreSetProperty("SSF_LIB", nullptr), kRcOk);  // no effect
  EXPECT_EQ(Get("SSF_LIB"), "libother.so");
}

TEST(Lifecycle, ExportsBeforeInitialiseGiveNine) {
  TavriShutdown();  // whatever ran before in this process
  unsigned char buf[16] = {};
  int32_t len = sizeof buf;
  uint32_t ulen = sizeof buf;
  TICKET_INFO ti = {};
  ti.struct_size = sizeof ti;
  EXPECT_EQ(TavriLoadTicketKey(buf, 1, nullptr, 0, 2), kRcInvalid);
  EXPECT_EQ(TavriParseCertificate(buf, 1, "SUBJECT", buf, &len), kRcInvalid);
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, reinterpret_cast<char*>(buf), &ulen),
            kRcInvalid);
}

TEST(Lifecycle, InitialiseTwiceShutdownAnyTimeAndAgain) {
  EXPECT_EQ(TavriGetVersion(), kRcNoUser);
  EXPECT_EQ(TavriShutdown(), kRcOk);  // without a prior initialise
  EXPECT_FALSE(bInit.load());
  EXPECT_EQ(TavriInitialize(nullptr), kRcOk);
  EXPECT_TRUE(bInit.load());
  EXPECT_EQ(TavriInitialize("ignored"), kRcOk);
  EXPECT_EQ(TavriShutdown(), kRcOk);
  EXPECT_FALSE(bInit.load());
  EXPECT_EQ(s_SsfLib.bSsfDll, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(TavriInitialize(""), kRcOk);
    EXPECT_EQ(s_SsfLib.bSsfDll, 1);
    EXPECT_EQ(TavriShutdown(), kRcOk);
  }
  // Properties survive shutdown.
  RavAreSetProperty("QOR_OWN_SYSID", "KEEP");
  TavriInitialize(nullptr);
  TavriShutdown();
  EXPECT_EQ(Get("QOR_OWN_SYSID"), "KEEP");
}

TEST(Lifecycle, FirstInitialiseCopiesSigningSettingsFromTheEnvironment) {
  ScopedEnv hash("SSF_HASH", "SHA384"), cert("SSF_INCLUDE_CERT", "true");
  RavAreSetProperty("SSF_HASH", "SHA256");
  RavAreSetProperty("SSF_INCLUDE_CERT", "0");
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  EXPECT_EQ(Get({"SSF_HASH", "SSF_INCLUDE_CERT"}), "SHA384|1");
  // A second call does not read the environment again.
  RavAreSetProperty("SSF_INCLUDE_CERT", "0");
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  EXPECT_EQ(Get("SSF_INCLUDE_CERT"), "0");
  TavriShutdown();
}

TEST(TraceFile, InitialiseWritesHeaderEntriesAndErrorsWithLocation) {
  TempDir dir;
  std::string path = dir.file("lib.trc");
  ScopedEnv trc("QOR_EXT_TRC", path.c_str()), trl("QOR_EXT_TRL", "3"), lib("SSF_LIB", nullptr);
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  EXPECT_EQ(Get("QOR_EXT_TRC"), path);
  EXPECT_EQ(ct_level.load(), 3);
  EXPECT_EQ(RavAreSetProperty("NOPE", "secret-value"), kRcInvalid);
  RavAreGetProperty("NOPE2");
  ASSERT_EQ(TavriShutdown(), kRcOk);
  EXPECT_EQ(tavriTf.load(), nullptr);
  EXPECT_EQ(Get("QOR_EXT_TRC"), path);  // the environment's value again

  auto lines = Lines(ReadFile(path));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "trc file: \"lib.trc\", trc level: 3, release: \"" QOR_RELEASE "\"");
  auto e = Entries(ReadFile(path));
  ASSERT_GE(e.size(), 6u);
  EXPECT_EQ(e[0], "Leave RavAreSetProperty");
  EXPECT_TRUE(Contains(e, "TavriInitialize was called."));
  EXPECT_TRUE(Contains(e, "    Initializing QORJWT Version 1 "));
  EXPECT_TRUE(std::regex_match(
      e[std::find(e.begin(), e.end(), "    Initializing QORJWT Version 1 ") - e.begin() + 1],
      std::regex(R"(    Built at \w{3} [ \d]\d \d{4} \d\d:\d\d:\d\d using release \d{3}, patch \d+ )")));
  // The platform the library was built for, as the host names itself.
  const std::string machine = ShOut("uname -m"), os = ShOut("uname -s");
  const std::string platform = (machine == "x86_64\n" ? "x86_64" : machine == "aarch64\n" ? "ARM64" : "?") +
                               std::string(" with ") + (os == "Linux\n" ? "Linux" : "?") + " (little endian)";
  EXPECT_TRUE(Contains(e, "    " + platform + " on multithread environment with (QOR_CHAR/size_t/void* = 8/64/64)"));
  EXPECT_TRUE(Contains(e, "Leave function TavriInitialize with rc = 0."));
  std::regex located(R"(\*\*\* ERROR => RavAreSetProperty: Unknown property NOPE  \[ssoxxext     \d+\])");
  EXPECT_TRUE(std::any_of(e.begin(), e.end(),
                          [&](const std::string& s) { return std::regex_match(s, located); }));
  EXPECT_TRUE(std::any_of(e.begin(), e.end(), [](const std::string& s) {
    return s.rfind("*** ERROR => RavAreGetProperty: Unknown property NOPE2  [ssoxxext", 0) == 0;
  }));
}

TEST(TraceFile, LevelsAreHonoured) {
  auto e = Entries(qortest::Traced("1", [] {
    RavAreSetProperty("QOR_OWN_SYSID", "L1");  // level 3 entry: not written
    RavAreSetProperty("BAD", nullptr);         // error: written
    RavAreSetProperty("QOR_EXT_TRL", "0");
    RavAreSetProperty("BAD0", nullptr);  // level 0: nothing
  }));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].rfind("*** ERROR => RavAreSetProperty: Unknown property BAD  [ssoxxext", 0), 0u);
}

TEST(TraceFile, StdoutNamesAndSwitching) {
  TempDir dir;
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  RavAreSetProperty("QOR_EXT_TRL", "3");
  testing::internal::CaptureStdout();
  RavAreSetProperty("QOR_EXT_TRC", "stdout");
  RavAreSetProperty("QOR_OWN_SYSID", "OUT");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(tavriTf.load(), stdout);
  EXPECT_EQ(Get("QOR_EXT_TRC"), "<null>");  // no name stored
  EXPECT_CONTAINS(out, "RavAreSetProperty(QOR_OWN_SYSID,OUT)\n");

  // With a file stored, "stdout" is just a file name.
  RavAreSetProperty("QOR_EXT_TRC", dir.file("a.trc").c_str());
  RavAreSetProperty("QOR_EXT_TRC", "stdout");
  EXPECT_EQ(Get("QOR_EXT_TRC"), "stdout");
  EXPECT_NE(tavriTf.load(), stdout);
  RavAreSetProperty("QOR_OWN_SYSID", "FILE");
  RavAreSetProperty("QOR_EXT_TRC", nullptr);
  EXPECT_EQ(tavriTf.load(), nullptr);
  EXPECT_CONTAINS(ReadFile(dir.file("stdout")), "RavAreSetProperty(QOR_OWN_SYSID,FILE)");
  EXPECT_CONTAINS(ReadFile(dir.file("a.trc")), "RavAreSetProperty(QOR_EXT_TRC,stdout)");
}

TEST(TraceFile, NullValuesAreShownAsNull) {
  auto e = Entries(qortest::Traced("3", [] {
    RavAreSetProperty("QOR_OWN_SYSID", nullptr);
    RavAreSetProperty("QOR_OWN_CLIENT", "");
  }));
  EXPECT_TRUE(Contains(e, "RavAreSetProperty(QOR_OWN_SYSID,null)"));
  EXPECT_TRUE(Contains(e, "RavAreSetProperty(QOR_OWN_CLIENT,null)"));
}

TEST(Concurrency, ThreadsSetPropertiesAndTraceAtOnce) {
  TempDir dir;
  std::string path = dir.file("mt.trc");
  RavAreSetProperty("QOR_EXT_TRL", "3");
  RavAreSetProperty("QOR_EXT_TRC", path.c_str());
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  constexpr int kThreads = 8, kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string sys = "T" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        RavAreSetProperty("QOR_OWN_SYSID", sys.c_str());
        RavAreSetProperty("SSF_INCLUDE_CERT", (i & 1) ? "yes" : "0");
        RavAreSetProperty("QOR_EXT_TRL", "3");
        TavriInitialize(nullptr);
      }
    });
  }
  for (auto& th : threads) th.join();
  ASSERT_EQ(TavriShutdown(), kRcOk);
  // Every entry is whole: one known text per line, none interleaved.
  int sets = 0;
  std::regex entry(R"(RavAreSetProperty\((QOR_OWN_SYSID,T\d|SSF_INCLUDE_CERT,(yes|0)|QOR_EXT_TRL,3)\))");
  for (auto& s : Entries(ReadFile(path))) {
    if (s.rfind("RavAreSetProperty(", 0) == 0) {
      EXPECT_TRUE(std::regex_match(s, entry)) << s;
      ++sets;
    }
  }
  EXPECT_EQ(sets, kThreads * kRounds * 3);
  EXPECT_EQ(Get("QOR_OWN_SYSID").size(), 2u);
}

TEST(Lifecycle, AnExceptionInAnExportedCallBecomesItsResultAndFreesTheLockForOtherThreads) {
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  const auto body = [](auto error) {
    return [error]() -> int32_t {
      ThrRecMtxGuard guard(&ssf_rmtx);
      throw error;
    };
  };
  EXPECT_EQ(TavriNoThrow("test", "call", 11, 14, body(std::bad_alloc())), kRcNoMemory);
  EXPECT_EQ(TavriNoThrow("test", "call", 11, 14, body(std::runtime_error("x"))), kRcInternal);
  // Another thread can take the library lock: the unwinding released it.
  int32_t locked = -1;
  std::thread([&] {
    locked = ThrRecMtxLock(&ssf_rmtx);
    if (locked == THR_ERR_OK) ThrRecMtxUnlock(&ssf_rmtx);
  }).join();
  EXPECT_EQ(locked, THR_ERR_OK);
  EXPECT_EQ(TavriShutdown(), kRcOk);
}
