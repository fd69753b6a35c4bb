// Ticket evaluation end to end with tickets from the outside issuer: exact
// fields for good tickets, the exact result for each fault.
#include <gtest/gtest.h>

#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {

// The verification failed for the one signer: a bad signature, or a signer
// the key store does not trust.
constexpr int32_t kSignerNotOk = TavriCombine(SSF_API_SIGNER_NOT_OK, SSF_API_SIGNER_ERRORS);
constexpr int32_t kUnknownSigner = TavriCombine(SSF_API_UNKNOWN_SIGNER, SSF_API_SIGNER_ERRORS);

constexpr char kFields[] =
    "--user JDOE --sysid ABC --client 000 --lang E --portal portal:jdoe --auth basic --hours 8 ";

class Eval : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { issuers_ = new Issuers; }
  static void TearDownTestSuite() { delete issuers_; }
  void SetUp() override {
    ASSERT_TRUE(issuers_->ok);
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
    ASSERT_EQ(LoadCert(issuers_->Der("ca")), kRcOk);
  }
  void TearDown() override { TavriShutdown(); }

  static std::string Ticket(const std::string& opts, const std::string& base = "iss") {
    return issuers_->Ticket(opts, base);
  }
  static int32_t Ex(const std::string& ticket, Info* out) {
    return TavriEvalLogonTicketEx(ticket.c_str(), nullptr, nullptr, nullptr, nullptr, &out->ti);
  }
  static int32_t Assertion(const std::string& ticket, const char* sys, const char* cli, Info* out) {
    return TavriEvalAssertionTicket(ticket.c_str(), nullptr, nullptr, sys, cli, &out->ti);
  }

  static Issuers* issuers_;
};
Issuers* Eval::issuers_ = nullptr;

TEST_F(Eval, OutsideTicketsGiveExactlyTheirFields) {
  time_t cre;
  const std::string created = "--created " + CreatedAgo(5, &cre) + " ";
  struct Case { const char* name; std::string opts, signer; } cases[] = {
      {"sha256 with attributes", "", "iss"},
      {"sha1 by openssl without attributes", "--openssl --hash sha1 --no-attrs", "iss"},
      {"URL-encoded text with plus signs", "--keep-plus --urlencode", "iss"},
      {"ECDSA signer trusted directly", "--hash sha256", "ec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.signer == "ec") {
      ASSERT_EQ(LoadCert(issuers_->Der("ec")), kRcOk);
    }
    Info out;
    ASSERT_EQ(Ex(Ticket(kFields + created + c.opts, c.signer), &out), kRcOk);
    EXPECT_EQ(out.Texts(), "JDOE|ABC|000|E|jdoe|basic");
    EXPECT_EQ(out.cre, cre);
    const time_t used = time(nullptr) / 60 * 60 - cre;  // whole minutes
    EXPECT_TRUE(out.val == 8 * 3600 - used || out.val == 8 * 3600 - used + 60) << out.val;
    EXPECT_EQ(out.Cert(), issuers_->Der(c.signer));
    EXPECT_EQ(out.Type(), ZOVEDADU2_LOGON_TICKET);
  }
}

TEST_F(Eval, SignerCertificateOnlyInTheKeyStore) {
  ASSERT_EQ(LoadCert(issuers_->Der("iss")), kRcOk);
  Info out;
  unsigned char cert[2048];
  int32_t certL = sizeof cert;
  ASSERT_EQ(TavriEvalLogonTicketEx(Ticket(std::string(kFields) + "--no-certs").c_str(), nullptr,
                                   nullptr, cert, &certL, &out.ti),
            0);
  EXPECT_EQ(Bytes(cert, cert + certL), issuers_->Der("iss"));
  EXPECT_EQ(out.Cert(), issuers_->Der("iss"));
}

TEST_F(Eval, Rsa3072SignerAndAFailedLoadAfterwards) {
  ASSERT_TRUE(Sh(std::string(kMakeTicket) + "cert " + issuers_->dir.file("big") +
                 " --kind rsa3072 --cn Big"));
  ASSERT_EQ(LoadCert(issuers_->Der("big")), kRcOk);
  const std::string t = Ticket(std::string(kFields) + "--hash sha512", "big");
  Info out;
  ASSERT_EQ(Ex(t, &out), kRcOk);
  EXPECT_EQ(out.User(), "JDOE");
  // A failed load leaves no key: the ticket no longer verifies.
  const Bytes junk = ToBytes("no certificate at all");
  EXPECT_EQ(TavriLoadTicketKey(junk.data(), static_cast<int32_t>(junk.size()), nullptr, 0, 1), kRcInternal);
  Info after;
  EXPECT_EQ(Ex(t, &after), TavriCombine(SSF_API_UNKNOWN_PAB, kRcNoSignerEntry));
}

TEST_F(Eval, FaultsGiveTheirResults) {
  const std::string good = Ticket(kFields);
  struct Case { const char* name; std::string ticket; int32_t want; } cases[] = {
      // A changed bit anywhere in the signed part: low half 5, signer 27.
      {"flipped bit in the version", Ticket(std::string(kFields) + "--flip-bit 3"), kSignerNotOk},
      {"flipped bit in the user", Ticket(std::string(kFields) + "--flip-bit 70"), kSignerNotOk},
      {"signature over other content", Ticket(std::string(kFields) + "--sign-other"), kSignerNotOk},
      {"untrusted signer", Ticket(kFields, "ec"), kUnknownSigner},
      {"truncated signature", Ticket(std::string(kFields) + "--truncate 5"), kRcInvalidTicket},
      {"expired", Ticket(std::string(kFields) + "--created 202601010000"), kRcExpired},
      {"no creation time", Ticket(std::string(kFields) + "--no-created"), kRcInvalidTicket},
      {"not Base64", "@@@@" + good.substr(4), kRcBase64Decode},
      {"4096 characters", std::string(4096, 'A'), kRcInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Info out;
    EXPECT_EQ(Ex(c.ticket, &out), c.want);
    if (c.want != kRcInvalid) {
      EXPECT_EQ(out.user[0], '\0');
    }
    EXPECT_EQ(out.cre, c.want == kRcInvalid ? -1 : 0);  // argument errors write nothing
    EXPECT_EQ(out.val, c.want == kRcInvalid ? -1 : 0);
    EXPECT_EQ(out.Type(), c.want == kRcInvalid ? 7 : ZOVEDADU2_ERROR);
  }
  // 4095 characters are taken for processing (and then are no ticket).
  Info out;
  EXPECT_EQ(TavriEvalTicket(std::string(4095, 'A').c_str(), 4095, &out.ti), kRcInvalidTicket);
  EXPECT_EQ(TavriEvalTicket(good.c_str(), good.size(), &out.ti), kRcOk);
  EXPECT_EQ(TavriEvalTicket(good.c_str(), 4096, &out.ti), kRcInvalid);
}

TEST_F(Eval, RecordSizeArgumentsAndFieldsReachingPastStructSize) {
  const std::string t = Ticket(std::string(kFields) + "--flags 1");
  Info out;
  out.ti.struct_size = 0;
  EXPECT_EQ(Ex(t, &out), kRcInvalid);
  out.ti.struct_size = 120;
  EXPECT_EQ(Ex(t, &out), kRcInvalid);
  out.ti.struct_size = 128;  // no flags, type or certificate in the record
  out.ti.flags = 0x55;
  EXPECT_EQ(Ex(t, &out), kRcOk);
  EXPECT_EQ(out.User(), "JDOE");
  EXPECT_EQ(out.ti.flags, 0x55);
  EXPECT_EQ(out.Type(), 7);
  EXPECT_EQ(out.certL, sizeof out.cert);
  Info full;
  EXPECT_EQ(Ex(t, &full), kRcOk);
  EXPECT_EQ(full.ti.flags, 1);
  EXPECT_EQ(TavriEvalLogonTicketEx(nullptr, nullptr, nullptr, nullptr, nullptr, &out.ti), kRcInvalid);
  EXPECT_EQ(TavriEvalLogonTicketEx(t.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr), kRcInvalid);
  // A field that struct_size covers only in part is neither read nor written.
  Info part;
  part.ti.struct_size = 124;  // half of pIntAuthSchemeL
  memset(part.auth, 'x', sizeof part.auth);
  ASSERT_EQ(Ex(t, &part), kRcOk);
  EXPECT_EQ(part.User(), "JDOE");
  EXPECT_EQ(part.auth[0], 'x');
  EXPECT_EQ(part.authL, Info::kCap);
  Info type;
  type.ti.struct_size = 150;  // half of tTicketType
  ASSERT_EQ(Ex(t, &type), kRcOk);
  EXPECT_EQ(type.ti.flags, 1);
  EXPECT_EQ(type.Type(), Info::kUntouched);
  type.userL = 1;  // a failure clears what the record holds, and only that
  EXPECT_EQ(Ex(t, &type), kRcUserBufferTooSmall);
  EXPECT_EQ(type.Type(), Info::kUntouched);
  Info cert;
  cert.ti.struct_size = 132;  // half of pAsn1Certificate
  cert.cert[0] = 0xAB;
  cert.userL = 1;
  EXPECT_EQ(Ex(t, &cert), kRcUserBufferTooSmall);
  EXPECT_EQ(cert.cert[0], 0xAB);
  TavriShutdown();
  EXPECT_EQ(Ex(t, &out), kRcInvalid);
}

TEST_F(Eval, BuffersTooSmall) {
  const std::string t = Ticket(std::string(kFields) + "--client '001  '");
  Info out;
  out.userL = 4;  // exactly fits: no terminator
  memset(out.user, 'x', sizeof out.user);
  ASSERT_EQ(Ex(t, &out), kRcOk);
  EXPECT_EQ(out.User(), "JDOE");
  EXPECT_EQ(out.user[4], 'x');
  EXPECT_EQ(out.Cli(), "001");  // trailing blanks dropped

  Info small;
  small.userL = 3;
  EXPECT_EQ(Ex(t, &small), kRcUserBufferTooSmall);
  EXPECT_EQ(small.userL, 4);
  EXPECT_EQ(small.sys[0], '\0');
  EXPECT_EQ(small.Type(), ZOVEDADU2_ERROR);

  Info a, b, c;  // system ID, portal user, language one short
  for (auto [info, len, cap, need] :
       {std::tuple<Info*, int32_t*, int32_t, int32_t>{&a, &a.sysL, 2, 3}, {&b, &b.prtL, 10, 11},
        {&c, &c.langL, 0, 1}}) {
    *len = cap;
    EXPECT_EQ(Ex(t, info), kRcBufferTooSmall);
    EXPECT_EQ(*len, need);
  }
  Info d;
  d.certL = 10;
  EXPECT_EQ(Ex(t, &d), kRcBufferTooSmall);
  EXPECT_EQ(d.certL, issuers_->Der("iss").size());
}

TEST_F(Eval, AssertionRecipients) {
  const std::string to_abc =
      Ticket(std::string(kFields) + "--rcpt-sysid ABC --rcpt-client 001 --flags 1");
  Info ok;
  ASSERT_EQ(Assertion(to_abc, "ABC", "001", &ok), kRcOk);
  EXPECT_EQ(ok.Type(), ZOVEDADU2_ASSERTION_TICKET);
  EXPECT_EQ(ok.ti.flags, 1);
  for (auto [sys, cli] : {std::pair<const char*, const char*>{"ABCD", "001"}, {"ABD", "001"},
                          {"ABC", "002"}}) {
    Info out;
    EXPECT_EQ(Assertion(to_abc, sys, cli, &out), kRcRecipientMismatch) << sys << "/" << cli;
    EXPECT_EQ(out.Type(), ZOVEDADU2_ERROR);
  }
  // Defaults of the own identity come from the properties.
  ASSERT_EQ(RavAreSetProperty("QOR_OWN_SYSID", "ABC"), kRcOk);
  ASSERT_EQ(RavAreSetProperty("QOR_OWN_CLIENT", "001"), kRcOk);
  Info dflt;
  EXPECT_EQ(Assertion(to_abc, nullptr, nullptr, &dflt), kRcOk);

  struct Case { const char* opts; int32_t assertion, logon; } cases[] = {
      {"", kRcRecipientMissing, kRcOk},                                            // no recipient at all
      {"--rcpt-client 001 --flags 1", kRcRecipientMissing, kRcRecipientMissing},                // client without system
      {"--rcpt-sysid ABC --flags 1", kRcRecipientMissing, kRcRecipientMissing},                // system without client
      {"--rcpt-sysid ABC --rcpt-client 001", kRcRecipientMissing, kRcOk},          // no flags
      {"--rcpt-sysid ABC --rcpt-client 001 --flags 0", kRcRecipientMissing, kRcOk},  // not marked as assertion
  };
  ASSERT_EQ(RavAreSetProperty("QOR_EXT_SYSID", "ABC"), kRcOk);
  ASSERT_EQ(RavAreSetProperty("QOR_EXT_CLIENT", "001"), kRcOk);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.opts);
    const std::string t = Ticket(std::string(kFields) + c.opts);
    Info a, l;
    EXPECT_EQ(Assertion(t, "ABC", "001", &a), c.assertion);
    EXPECT_EQ(Ex(t, &l), c.logon);
    if (c.logon == 0) {
      EXPECT_EQ(l.Type(), ZOVEDADU2_LOGON_TICKET);
    }
  }
  ASSERT_EQ(RavAreSetProperty("QOR_EXT_SYSID", "XYZ"), kRcOk);
  Info other;
  EXPECT_EQ(Ex(to_abc, &other), kRcRecipientMismatch);
}

TEST_F(Eval, CodePageOfTheTexts) {
  const std::string latin = Ticket("--user 'M\xc3\xbcller' --hours 1 --codepage 1100");
  const std::string utf8 = Ticket("--user 'M\xc3\xbcller' --hours 1 --codepage 4110");
  for (const std::string* t : {&latin, &utf8}) {
    Info as_utf8, as_latin, by_property;
    memcpy(as_utf8.ti.sQORCodepage, "0000", 4);  // invalid: UTF-8
    memcpy(as_latin.ti.sQORCodepage, "1100", 4);
    ASSERT_EQ(Ex(*t, &as_utf8), kRcOk);
    ASSERT_EQ(Ex(*t, &as_latin), kRcOk);
    ASSERT_EQ(Ex(*t, &by_property), kRcOk);  // "QOR_EXT_CODEPAGE" default 1100
    EXPECT_EQ(as_utf8.User() + "|" + as_latin.User() + "|" + by_property.User(), "M\xc3\xbcller|M\xfcller|M\xfcller");
  }
}

TEST_F(Eval, LogonTicketExportNeedsUserSysidAndClient) {
  auto eval = [](const std::string& t, std::string* user) {
    char u[16], s[16], c[16];
    unsigned char cert[2048];
    int32_t uL = sizeof u, sL = sizeof s, cL = sizeof c, certL = sizeof cert;
    int32_t rc = TavriEvalLogonTicket(t.c_str(), nullptr, nullptr, u, &uL, cert, &certL, s, &sL, c,
                                      &cL, nullptr);
    if (rc == 0) *user = std::string(u, static_cast<size_t>(uL));
    return rc;
  };
  std::string user;
  EXPECT_EQ(eval(Ticket("--user 'J\xc3\xa9r' --sysid ABC --client 000 --hours 1 --codepage 4110"), &user), kRcOk);
  EXPECT_EQ(user, "J\xc3\xa9r");  // always UTF-8
  EXPECT_EQ(eval(Ticket("--sysid ABC --client 000 --hours 1"), &user), kRcNoUser);
  EXPECT_EQ(eval(Ticket("--user JDOE --client 000 --hours 1"), &user), kRcNoCreationTime);
  EXPECT_EQ(eval(Ticket("--user JDOE --sysid ABC --hours 1"), &user), kRcNoCreationTime);
  char u[4];
  int32_t uL = sizeof u;
  EXPECT_EQ(TavriEvalLogonTicket("x", nullptr, nullptr, u, &uL, nullptr, nullptr, u, &uL, u, &uL,
                                 nullptr),
            9);
}

TEST_F(Eval, FailedVerificationTracesTheSignerCertificate) {
  const std::string text = Traced("2", [] {
    Info out;
    EXPECT_EQ(Ex(Ticket(kFields, "ec"), &out), kUnknownSigner);
  });
  EXPECT_CONTAINS(text, "ValidateTicket failed with rc = 5 and ssf_rc = 22.");
  EXPECT_CONTAINS(text, "Certificate in SSO ticket:");
  EXPECT_CONTAINS(text, "Subject: CN=Stranger");
}

}  // namespace

// A warning entry names where it was written, not where an earlier error was.
TEST_F(Eval, AssertionWarningsCarryTheirOwnLocation) {
  const std::string text = Traced("1", [] {
    JWT_INFO none = {};
    EXPECT_EQ(TavriEvalJWToken(nullptr, 0, nullptr, 0, nullptr, &none), kRcNullArgument);  // an error elsewhere first
    Info out;
    TavriEvalAssertionTicket(Ticket(kFields).c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti);
  });
  size_t warnings = 0;
  for (const std::string& line : Lines(text)) {
    if (line.find("*** WARNING => QOR Assertion Ticket requires") == std::string::npos) continue;
    ++warnings;
    EXPECT_CONTAINS(line, " [ssoxxext     ");
  }
  EXPECT_EQ(warnings, 2u);
}
