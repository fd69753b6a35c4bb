// Assertion tickets we issue, taken apart by an independent python helper
// (tests/tools/split_ticket.py) and checked with `openssl cms -verify`;
// the round trip through our own evaluation; input limits and faults.
#include <gtest/gtest.h>

#include <string.h>
#include <time.h>

#include <map>

#include "crypto/sign/signtest.h"
#include "sec/tavrisso/tickettest.h"
#include "qorjwt.h"

using namespace qortest;

namespace {

constexpr char kIssuer[] = "ISS";
constexpr char kIssuerClient[] = "100";

struct Input {
  std::string sys = "RCP", cli = "001", user = "alice", lang = "E", portal, scheme, codepage;
  bool has_user = true, has_lang = true, has_portal = false, has_scheme = false;
  int32_t sysL, cliL, userL, langL, portalL, schemeL;
};

TICKET_INFO Request(Input& in) {
  TICKET_INFO ti = {};
  ti.struct_size = sizeof ti;
  memcpy(ti.sQORCodepage, in.codepage.data(), std::min<size_t>(4, in.codepage.size()));
  auto set = [](std::string& s, bool has, char** p, int32_t** pl, int32_t* l) {
    *l = static_cast<int32_t>(s.size());
    if (has) *p = &s[0], *pl = l;
  };
  set(in.sys, true, &ti.pSysID, &ti.pIntSysIDL, &in.sysL);
  set(in.cli, true, &ti.pQORClient, &ti.pIntQORClientL, &in.cliL);
  set(in.user, in.has_user, &ti.pQORUser, &ti.pIntQORUserL, &in.userL);
  set(in.lang, in.has_lang, &ti.pQORLangu, &ti.pIntQORLanguL, &in.langL);
  set(in.portal, in.has_portal, &ti.pPrtUser, &ti.pIntPrtUserL, &in.portalL);
  set(in.scheme, in.has_scheme, &ti.pAuthScheme, &ti.pIntAuthSchemeL, &in.schemeL);
  return ti;
}

// What split_ticket.py read: header lines and the units in stream order.
struct Split {
  bool ok = false;
  std::string version, codepage;
  std::vector<std::pair<int, std::string>> units;  // id, hex
  std::map<int, std::string> by_id;
};

Split SplitTicket(const TempDir& dir, const std::string& text) {
  WriteBytes(dir.file("ticket.txt"), ToBytes(text));
  Split s;
  const std::string out = ShOut("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/split_ticket.py " + dir.file("ticket.txt") +
                                " " + dir.path());
  for (const std::string& line : Lines(out)) {
    const size_t sp = line.find(' ');
    const std::string key = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (key == "version") s.version = rest;
    if (key == "codepage") s.codepage = rest;
    if (key == "signature") s.ok = true;
    if (key == "unit") {
      const size_t sp2 = rest.find(' ');
      const int id = std::stoi(rest.substr(0, sp2));
      const std::string hex = sp2 == std::string::npos ? "" : rest.substr(sp2 + 1);
      s.units.emplace_back(id, hex);
      s.by_id[id] = hex;
    }
  }
  return s;
}

class Create : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(TavriInitialize(nullptr), kRcOk); }
  void TearDown() override { TavriShutdown(); }

  int32_t LoadOwnKey(const std::string& base) {
    const Bytes p12 = ReadBytes(MakeP12(dir_, base));
    return TavriLoadTicketKey(p12.data(), static_cast<int32_t>(p12.size()), kPin, 0, 0);
  }
  int32_t Make(Input in, std::string* text, const char* pse = nullptr, const char* pin = nullptr,
               uint32_t cap = 4096) {
    TICKET_INFO ti = Request(in);
    std::string buf(cap, 'x');
    uint32_t len = cap;
    const int32_t rc = TavriCreateAssertionTicket(kIssuer, kIssuerClient, pse, pin, &ti, &buf[0], &len);
    last_len_ = len;
    last_buf_ = buf;
    *text = buf.substr(0, rc == 0 ? len : 0);
    return rc;
  }
  // A failed creation leaves an empty output.
  bool Cleared() const { return last_len_ == 0 && last_buf_[0] == '\0'; }
  TempDir dir_;
  uint32_t last_len_ = 0;
  std::string last_buf_;
};

TEST_F(Create, OutsideToolsVerifyEveryField) {
  for (const char* key : {"rsa", "ec"}) {
    ASSERT_EQ(LoadOwnKey(key), kRcOk);
    for (auto [hash, lower] : {std::pair{"SHA1", "sha1"}, {"SHA256", "sha256"}}) {
      for (const char* certs : {"0", "1"}) {
        SCOPED_TRACE(std::string(key) + " " + hash + " certs=" + certs);
        RavAreSetProperty("SSF_HASH", hash);
        RavAreSetProperty("SSF_INCLUDE_CERT", certs);
        Input in;
        in.has_portal = in.has_scheme = true;
        in.portal = "jdoe";
        in.scheme = "basicauth";
        std::string text;
        const std::string cre = CreatedAgo(0, nullptr);
        ASSERT_EQ(Make(in, &text), kRcOk);
        EXPECT_EQ(last_len_, text.size());
        EXPECT_EQ(last_buf_.find_first_not_of('\0', text.size()), std::string::npos);  // rest zeroed
        Split s = SplitTicket(dir_, text);
        ASSERT_TRUE(s.ok) << text;
        EXPECT_EQ(s.version + "/" + s.codepage, "2/1100");
        EXPECT_EQ(s.by_id[4].substr(0, 20), Hex(cre).substr(0, 20));  // minute may have turned
        EXPECT_EQ(s.by_id[4].size(), 24u);
        EXPECT_EQ(s.units, (std::vector<std::pair<int, std::string>>{
                               {1, Hex("alice")}, {2, Hex(kIssuerClient)}, {3, Hex(kIssuer)}, {4, s.by_id[4]},
                               {7, "00000002"}, {8, "01"}, {9, Hex("E")}, {15, Hex("001")}, {16, Hex("RCP")},
                               {32, Hex("portal:jdoe")}, {136, Hex("basicauth")}}));
        const Bytes sig = ReadBytes(dir_.file("signature.der"));
        const std::string signer = SigData(std::string(key) + ".pem");
        EXPECT_TRUE(OpensslVerifies(dir_, sig, dir_.file("signed.bin"), certs[0] == '1' ? "" : signer));
        WriteBytes(dir_.file("p.p7"), sig);
        const std::string printed = ShOut("openssl cms -cmsout -print -inform DER -in " + dir_.file("p.p7"));
        EXPECT_CONTAINS(printed, std::string("algorithm: ") + lower + " (");
        EXPECT_EQ(printed.find("cert_info:") != std::string::npos, certs[0] == '1');
      }
    }
  }
}

TEST_F(Create, CodePagesOfTheTicket) {
  ASSERT_EQ(LoadOwnKey("rsa"), kRcOk);
  const struct {
    const char* codepage;  // "" = property default
    const char* header;
    std::string portal, portal_utf8, user;
  } rows[] = {
      {"", "1100", "M\xfcller", "portal:M\xc3\xbcller", "b\xe4r"},
      {"1100", "1100", "M\xfcller", "portal:M\xc3\xbcller", "b\xe4r"},
      {"4110", "4110", "M\xc3\xbcller", "portal:M\xc3\xbcller", "b\xc3\xa4r"},
      {"    ", "4110", "M\xc3\xbcller", "portal:M\xc3\xbcller", "b\xc3\xa4r"},
      {"8000", "8000", "\x93\x8c\x8b\x9e", "portal:\xe6\x9d\xb1\xe4\xba\xac", "\x93\x8c"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.codepage);
    Input in;
    in.codepage = r.codepage;
    in.has_portal = true;
    in.portal = r.portal;
    in.user = r.user;
    std::string text;
    ASSERT_EQ(Make(in, &text), kRcOk);
    Split s = SplitTicket(dir_, text);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.codepage, r.header);
    EXPECT_EQ(s.by_id[32], Hex(r.portal_utf8));
    EXPECT_EQ(s.by_id[1], Hex(r.user));  // as passed
  }
}

TEST_F(Create, RoundTripThroughOurEvaluation) {
  ASSERT_EQ(LoadOwnKey("ec"), kRcOk);
  MemStore trust({"ec.pem", "ca.pem"});
  ASSERT_TRUE(trust.ok());
  struct Row {
    bool user, lang, portal, scheme;
    const char* codepage;
  };
  // Every combination of the optional fields (a user or a portal user is required).
  std::vector<Row> rows;
  for (const char* cp : {"1100", "4110", "8000"})
    for (int m = 0; m < 16; ++m)
      if (m & 5) rows.push_back({(m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0, cp});
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.codepage) + (r.user ? " user" : "") + (r.lang ? " lang" : "") +
                 (r.portal ? " portal" : "") + (r.scheme ? " scheme" : ""));
    Input in;
    in.has_user = r.user;
    in.has_lang = r.lang;
    in.has_portal = r.portal;
    in.has_scheme = r.scheme;
    in.portal = "jdoe";
    in.scheme = "saml";
    in.codepage = r.codepage;
    std::string text;
    ASSERT_EQ(Make(in, &text), kRcOk);
    Info out;
    memcpy(out.ti.sQORCodepage, "4110", 4);
    ASSERT_EQ(TavriEvalAssertionTicket(text.c_str(), trust.name().c_str(), nullptr, "RCP", "001", &out.ti), kRcOk);
    // Evaluation drops the portal user's prefix.
    EXPECT_EQ(out.Texts(), std::string(r.user ? "alice" : "") + "|" + kIssuer + "|" + kIssuerClient + "|" +
                               (r.lang ? "E" : "") + "|" + (r.portal ? "jdoe" : "") + "|" + (r.scheme ? "saml" : ""));
    EXPECT_EQ(out.ti.flags, 1);
    EXPECT_EQ(out.Type(), ZOVEDADU2_ASSERTION_TICKET);
    EXPECT_GT(out.val, 0);
    EXPECT_LE(out.val, 120);
    EXPECT_EQ(out.Cert(), SigBytes("ec.der"));
    // Addressed to someone else, it is refused.
    EXPECT_NE(TavriEvalAssertionTicket(text.c_str(), trust.name().c_str(), nullptr, "OTHER", "001", &out.ti), kRcOk);
  }
}

TEST_F(Create, InputLimitsAndFaults) {
  ASSERT_EQ(LoadOwnKey("rsa"), kRcOk);
  auto with = [](auto change) {
    Input in;
    change(in);
    return in;
  };
  const struct { Input in; int32_t rc; } rows[] = {
      {with([](Input& i) { i.user = std::string(36, 'u'); }), 0},
      {with([](Input& i) { i.user = std::string(37, 'u'); }), 1},
      {with([](Input& i) { i.has_user = false; }), 1},
      {with([](Input& i) { i.has_user = false, i.has_portal = true, i.portal = std::string(249, 'p'); }), 0},
      {with([](Input& i) { i.has_portal = true, i.portal = std::string(250, 'p'); }), 3},
      {with([](Input& i) { i.has_portal = true, i.portal = std::string(257, 'p'); }), 1},
      {with([](Input& i) { i.has_scheme = true, i.scheme = std::string(256, 's'); }), 0},
      {with([](Input& i) { i.has_scheme = true, i.scheme = std::string(257, 's'); }), 3},
      {with([](Input& i) { i.sys = std::string(8, 'S'); }), 0},
      {with([](Input& i) { i.sys = std::string(9, 'S'); }), 23},
      {with([](Input& i) { i.cli = "1234"; }), 23},
      {with([](Input& i) { i.lang = "DE"; }), 9},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.rc);
    std::string text;
    EXPECT_EQ(Make(r.in, &text), r.rc);
    if (r.rc != kRcOk) {
      EXPECT_EQ(last_buf_, std::string(4096, 'x'));  // failures before the engine leave the buffer
    }
  }
  // A 249-byte portal user keeps its last character.
  std::string text;
  ASSERT_EQ(Make(rows[3].in, &text), kRcOk);
  EXPECT_EQ(SplitTicket(dir_, text).by_id[32], Hex("portal:" + std::string(249, 'p')));

  // Own identity, output and record.
  Input in;
  TICKET_INFO ti = Request(in);
  char buf[4096];
  uint32_t len = sizeof buf;
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, nullptr, &len), kRcNullArgument);
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, buf, nullptr), kRcNullArgument);
  EXPECT_EQ(TavriCreateAssertionTicket(nullptr, "100", nullptr, nullptr, &ti, buf, &len), kRcNullArgument);
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", nullptr, nullptr, nullptr, &ti, buf, &len), kRcNullArgument);
  EXPECT_EQ(TavriCreateAssertionTicket("ISSUER123", "100", nullptr, nullptr, &ti, buf, &len), kRcRecipientMissing);
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "1000", nullptr, nullptr, &ti, buf, &len), kRcRecipientMissing);
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, nullptr, buf, &len), kRcNullArgument);
  ti.struct_size = 144;
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, buf, &len), kRcNullArgument);
  ti = Request(in);
  ti.pIntQORClientL = nullptr;
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, buf, &len), kRcRecipientMissing);
  ti = Request(in);
  ti.pSysID = nullptr;
  EXPECT_EQ(TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, buf, &len), kRcRecipientMissing);
}

TEST_F(Create, BufferAndSigningFaults) {
  ASSERT_EQ(LoadOwnKey("rsa"), kRcOk);
  std::string text;
  ASSERT_EQ(Make(Input(), &text), kRcOk);
  const uint32_t exact = static_cast<uint32_t>(text.size());
  EXPECT_EQ(Make(Input(), &text, nullptr, nullptr, exact), kRcOk);  // fits without terminator
  EXPECT_LACKS(text, "+");
  EXPECT_EQ(Make(Input(), &text, nullptr, nullptr, exact - 1), kRcBufferTooSmall);
  EXPECT_TRUE(Cleared());

  // A named key store: wrong PIN, no private key, missing.
  const std::string p12 = MakeP12(dir_, "ec");
  EXPECT_EQ(Make(Input(), &text, p12.c_str(), kPin), kRcOk);
  EXPECT_EQ(Make(Input(), &text, p12.c_str(), "wrong"), TavriCombine(SSF_API_INVALID_PASSWORD, kRcInvalid));
  EXPECT_TRUE(Cleared());
  MemStore certs_only({"rsa.pem"});
  EXPECT_EQ(Make(Input(), &text, certs_only.name().c_str(), nullptr), TavriCombine(SSF_API_UNKNOWN_SIGNER, kRcInvalid));
  EXPECT_EQ(Make(Input(), &text, "/nonexistent.p12", kPin), TavriCombine(SSF_API_UNKNOWN_PROFILE, kRcInvalid));
  // A signature that, with its certificate, does not fit the 4096-byte stream.
  const std::string san = ShOut("/usr/bin/python3 -c \"print(','.join('DNS:h%03d.example.org' % i for i in range(200)))\"");
  ASSERT_TRUE(Sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj /CN=big -keyout " +
                 dir_.file("big.key") + " -out " + dir_.file("big.pem") + " -addext subjectAltName=" + san));
  ASSERT_TRUE(ExportP12(dir_, "big", kPin));
  RavAreSetProperty("SSF_INCLUDE_CERT", "1");
  EXPECT_EQ(Make(Input(), &text, dir_.file("big.p12").c_str(), kPin), kRcBufferTooSmall);
  EXPECT_TRUE(Cleared());
  RavAreSetProperty("SSF_INCLUDE_CERT", "0");
  EXPECT_EQ(Make(Input(), &text, dir_.file("big.p12").c_str(), kPin), kRcOk);
  // Without any key store.
  TavriShutdown();
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  EXPECT_EQ(Make(Input(), &text), TavriCombine(SSF_API_UNKNOWN_PROFILE, kRcInvalid));
}

TEST_F(Create, TraceTellsTheStepsButNeverThePin) {
  const std::string p12 = MakeP12(dir_, "rsa", "Pin4Trace");
  const std::string trace = Traced("3", [&] {
    std::string text;
    ASSERT_EQ(Make(Input(), &text, p12.c_str(), "Pin4Trace"), kRcOk);
    Input bad;
    bad.cli = "1234";
    EXPECT_EQ(Make(bad, &text), kRcRecipientMissing);
  });
  for (const char* line : {"TavriCreateAssertionTicket was called, check input", "Preparing InContext...",
                           "Password is set (but not displayed here)", "Got the codepage 1100 from properties",
                           "Write assertion ticket validity", "Write Recipient system Id to ticket RCP",
                           "Creation of Assertion Ticket was successful.", "Cleanup of TavriCreateAssertionTicket",
                           "End of function TavriCreateAssertionTicket.", "Recipient system client too long [ssoxxext"})
    EXPECT_CONTAINS(trace, line);
  EXPECT_LACKS(trace, "Pin4Trace");
}

}  // namespace
