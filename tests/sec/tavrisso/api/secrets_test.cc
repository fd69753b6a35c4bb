// A full-detail trace of key loads with a PIN and HMAC secrets, ticket and
// token evaluation and assertion creation holds none of the secrets, in
// any of the forms a trace could print them; released keys are wiped.
#include <gtest/gtest.h>

#include <algorithm>

#include "sec/jwt/jwttest.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {

constexpr char kPin[] = "Pin-7Qx%zeta!";
const std::string kSecret = "hmac secret bytes: 9f3a7c21e0d4b8";

// Every form of `secret` a trace could carry: raw, hex (plain, upper case
// and as a dump with blanks), standard and URL Base64.
std::vector<std::string> Forms(const std::string& secret) {
  std::string upper = jwttest::Hex(secret), dump;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  for (size_t i = 0; i < 8 && i < secret.size(); ++i) dump += jwttest::Hex(secret.substr(i, 1)) + " ";
  return {secret, jwttest::Hex(secret), upper, dump, Base64(secret, false), Base64(secret, true)};
}

bool AllZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

TEST(Secrets, FullTraceHoldsNoPinOrSecretAndReleasedKeysAreWiped) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRL", "3"), kRcOk);
  ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRC", trace.c_str()), kRcOk);
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  ASSERT_EQ(RavAreSetProperty("QOR_OWN_SYSID", "OWN"), kRcOk);
  ASSERT_EQ(RavAreSetProperty("QOR_OWN_CLIENT", "001"), kRcOk);

  ASSERT_TRUE(Sh(std::string(kMakeTicket) + "cert " + dir.file("own") + " --cn 'Own Key'"));
  ASSERT_TRUE(ExportP12(dir, "own", kPin));
  const std::string logon = ShOut(std::string(kMakeTicket) + "ticket --key " + dir.file("own.key") + " --cert " +
                                  dir.file("own.pem") + " --user ALICE --sysid ABC --client 000 --hours 8");
  jwttest::Signer signer;
  const size_t hs = signer.AddHs("HS256", kSecret, R"({"sub":"alice","exp":4102444800})");
  signer.Run();

  // The key store with its PIN: a logon ticket verifies, an assertion ticket is issued.
  const Bytes p12 = ReadBytes(dir.file("own.p12"));
  ASSERT_EQ(TavriLoadTicketKey(p12.data(), static_cast<int32_t>(p12.size()), kPin, 0, 0), kRcOk);
  Info out;
  EXPECT_EQ(TavriEvalLogonTicketEx(logon.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti), kRcOk);
  EXPECT_EQ(out.User(), "ALICE");
  {
    CreateRequest req("RCP", "002", "bob");
    char text[4096];
    uint32_t len = sizeof text;
    EXPECT_EQ(TavriCreateAssertionTicket("OWN", "001", nullptr, nullptr, &req.ti, text, &len), kRcOk);
  }
  // The same store named by the caller with the PIN.
  Info named;
  EXPECT_EQ(TavriEvalLogonTicketEx(logon.c_str(), dir.file("own.p12").c_str(), kPin, nullptr, nullptr,
                                   &named.ti), 0);

  // HMAC secrets of both types, used as the loaded key and as the caller's.
  const std::string& token = signer.token(hs);
  const std::string b64 = Base64(kSecret, false);
  for (int32_t type : {2, 3}) {
    const std::string& key = type == 2 ? kSecret : b64;
    ASSERT_EQ(TavriLoadTicketKey(reinterpret_cast<const unsigned char*>(key.data()),
                                 static_cast<int32_t>(key.size()), kPin, 0, type), 0);
    jwttest::Info loaded, given;
    EXPECT_EQ(TavriEvalJWToken(token.data(), token.size(), nullptr, 0, nullptr, &loaded.info), kRcOk) << loaded.error();
    EXPECT_EQ(TavriEvalJWToken(token.data(), token.size(), reinterpret_cast<const unsigned char*>(kSecret.data()),
                               kSecret.size(), nullptr, &given.info), 0);
    // A wrong secret fails, and its failure is traced without it either.
    EXPECT_EQ(TavriEvalJWToken(token.data(), token.size(), reinterpret_cast<const unsigned char*>("wrong"), 5,
                               nullptr, &given.info), 5);
  }

  // Replacing a longer secret with a shorter one leaves nothing of the old.
  ASSERT_EQ(TavriLoadTicketKey(reinterpret_cast<const unsigned char*>("k"), 1, "p", 0, 2), kRcOk);
  EXPECT_TRUE(AllZero(X509Key + 1, sizeof X509Key - 1));
  EXPECT_TRUE(AllZero(PSEpwd + 1, sizeof PSEpwd - 1));
  ASSERT_EQ(TavriShutdown(), kRcOk);
  EXPECT_EQ(PSEPath[0], '\0');  // the memory key store went away with shutdown
  EXPECT_TRUE(AllZero(X509Key, sizeof X509Key));

  const std::string text = ReadFile(trace);
  ASSERT_NE(text.find("TavriLoadTicketKey"), std::string::npos);  // the trace did run at full detail
  for (const std::string& secret : {std::string(kPin), kSecret})
    for (const std::string& form : Forms(secret))
      EXPECT_LACKS(text, form) << "trace shows \"" << form << "\"";
}

}  // namespace
