// Certificate attributes against an independent X.509 reader (python
// cryptography) and the openssl tool, on certificates made at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "crypto/cryptotest.h"

using namespace qortest;

namespace {

// Attributes inside one multi-valued RDN form a set: compare them sorted.
// (The names made here carry no escaped separators.)
std::string SortedRdns(const std::string& dn) {
  std::string out;
  size_t start = 0;
  while (start <= dn.size()) {
    size_t end = dn.find(',', start);
    if (end == std::string::npos) end = dn.size();
    std::vector<std::string> parts;
    std::string rdn = dn.substr(start, end - start);
    for (size_t a = 0, b; a <= rdn.size(); a = b + 1) {
      b = rdn.find('+', a);
      if (b == std::string::npos) b = rdn.size();
      parts.push_back(rdn.substr(a, b - a));
    }
    std::sort(parts.begin(), parts.end());
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "+" : "") + parts[i];
    out += ",";
    start = end + 1;
  }
  return out;
}

struct Generated {
  TempDir dir;
  // file -> attribute -> expected text
  std::map<std::string, std::map<std::string, std::string>> expected;
  bool ok = false;
  Generated() {
    ok = Sh("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/make_certs.py " + dir.path());
    for (const std::string& line : Lines(ReadFile(dir.file("expected.tsv")))) {
      size_t a = line.find('\t'), b = line.find('\t', a + 1);
      expected[line.substr(0, a)][line.substr(a + 1, b - a - 1)] = line.substr(b + 1);
    }
  }
};

TEST(SsfParseCertificate, AttributesAgreeWithAnIndependentReaderAndTheOpensslTool) {
  Generated g;
  ASSERT_TRUE(g.ok);
  ASSERT_EQ(g.expected.size(), 6u);
  for (const auto& [file, attrs] : g.expected) {
    SCOPED_TRACE(file);
    SsfCertHandle cert = Decode(ReadBytes(g.dir.file(file)));
    ASSERT_NE(cert, nullptr);
    for (const auto& [name, want] : attrs) {
      SCOPED_TRACE(name);
      if (name == "SIGALGOID") {
        for (const char* alias : {"SIGALG", "SIGALGID", "ALGID"}) {
          auto got = Attribute(cert, alias);
          EXPECT_EQ(got.first, 0);
          EXPECT_CONTAINS(got.second, " (OID " + want + ")");
        }
        continue;
      }
      auto got = Attribute(cert, name);
      if (want == "<none>") {
        EXPECT_EQ(got.first, 13);
      } else {
        EXPECT_EQ(got.first, 0);
        if (name == "SUBJECT" || name == "ISSUER") {
          EXPECT_EQ(SortedRdns(got.second), SortedRdns(want));
        } else {
          EXPECT_EQ(got.second, want);
        }
      }
    }
    // The binary time is the decimal one in machine form.
    auto bin = Attribute(cert, "VALIDTO_TIME_T_BIN");
    ASSERT_EQ(bin.second.size(), sizeof(time_t));
    time_t t;
    memcpy(&t, bin.second.data(), sizeof t);
    EXPECT_EQ(std::to_string(static_cast<long long>(t)), attrs.at("VALIDTO_TIME_T_DEC"));
    const std::string subject = Attribute(cert, "SUBJECT").second;
    const std::string issuer = Attribute(cert, "ISSUER").second;
    auto summary = Attribute(cert, "SUMMARY");
    EXPECT_EQ(summary.second, "subject=\"" + subject + "\";issuer=\"" + issuer +
                                  "\";serialNumber=\"" + attrs.at("SERIAL") + "\";fingerprint=\"" +
                                  attrs.at("FINGERPRINT") + "\";keyInfo=\"" + attrs.at("KEYTYPE") + " " +
                                  attrs.at("KEYLENGTH") + " bits\"");
    auto all = Attribute(cert, "ALL");
    EXPECT_EQ(all.first, 0);
    EXPECT_CONTAINS(all.second, "Subject: " + subject + "\n");
    EXPECT_CONTAINS(all.second, "Validity  -  NotBefore:   ");
    const std::vector<std::string> lines =
        Lines(ShOut("openssl x509 -inform DER -noout -startdate -enddate -serial -in " + g.dir.file(file)));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ("notBefore=" + Attribute(cert, "VALIDFROM").second, lines[0]);
    EXPECT_EQ("notAfter=" + Attribute(cert, "VALIDTO").second, lines[1]);
    EXPECT_EQ("serial=" + Attribute(cert, "SERIAL").second, lines[2]);
    // The raw ASN.1 times: UTCTime before 2050, GeneralizedTime from then on.
    const std::string validity = Attribute(cert, "VALIDITY").second;
    const bool generalized = std::stoll(attrs.at("VALIDTO_TIME_T_DEC")) >= 2524608000LL;
    const size_t open = validity.rfind('('), close = validity.rfind(')');
    ASSERT_LT(open, close);
    EXPECT_EQ(close - open - 1, generalized ? 15u : 13u) << validity;
    SsfFreeCertificate(&cert);
  }
}

TEST(SsfParseCertificate, RejectsUnknownNamesAndNullHandles) {
  TempDir dir;
  ASSERT_TRUE(MakeSelfSigned(dir, "c", "rejects"));
  SsfCertHandle cert = Decode(ReadBytes(dir.file("c.der")));
  ASSERT_NE(cert, nullptr);
  EXPECT_EQ(Attribute(cert, "Subject").first, 3);
  EXPECT_EQ(Attribute(cert, "SUBJECTX").first, 3);
  EXPECT_EQ(Attribute(cert, "").first, 3);
  EXPECT_EQ(Attribute(nullptr, "SUBJECT").first, 3);
  EXPECT_EQ(Attribute(cert, "SUBJECT").second, "CN=rejects");
  // No key usage extension: signatures allowed, KEYUSAGE unreadable.
  EXPECT_EQ(Attribute(cert, "SIGAVAILABLE").second, "TRUE");
  EXPECT_EQ(Attribute(cert, "KEYUSAGE").first, 13);
  EXPECT_EQ(Attribute(cert, "KEYSTRENGTH").second, "128");
  SsfFreeCertificate(&cert);
  EXPECT_EQ(cert, nullptr);
}

}  // namespace
