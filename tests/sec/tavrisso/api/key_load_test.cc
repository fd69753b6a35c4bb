// Loading the ticket key and parsing certificates through the exports,
// with certificates and key stores made by the openssl tool.
#include <gtest/gtest.h>

#include <string.h>

#include "crypto/cryptotest.h"
#include "qorjwt.h"
#include "sec/tavrisso/api/key_snapshot.h"
#include "sec/tavrisso/api/state.h"

using namespace qortest;

namespace {

int32_t Load(const Bytes& key, int32_t type, const char* password = nullptr) {
  return TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()), password, 0, type);
}

Bytes LoadedX509Key() { return Bytes(X509Key, X509Key + X509KeyLen); }

// What of a loaded key is left: memory store, its name and password, the
// stored key bytes and the current key snapshot.
std::string KeyState() {
  return std::string(pMemoryPSE ? "store" : "no store") + "|" + PSEPath + "|" + PSEpwd + "|" +
         std::to_string(X509KeyLen) + "|" + std::to_string(TavriCurrentKey()->key.size());
}

// Whether the loaded memory key store opens with the stored password.
bool LoadedStoreOpens() {
  SsfProfileHandle h = nullptr;
  int32_t rc = SsfOpenProfile(PSEPath, static_cast<SsfCharlen>(strlen(PSEPath)), PSEpwd,
                              static_cast<SsfCharlen>(strlen(PSEpwd)), nullptr, 0, nullptr, 0, &h);
  SsfCloseProfile(&h);
  return rc == SSF_API_OK;
}

class TicketKey : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
    ASSERT_TRUE(MakeSelfSigned(dir_, "issuer", "eval issuer"));
    der_ = ReadBytes(dir_.file("issuer.der"));
    pem_ = ReadBytes(dir_.file("issuer.pem"));
    ASSERT_TRUE(ExportP12(dir_, "issuer", "s3cret"));
    p12_ = ReadBytes(dir_.file("issuer.p12"));
  }
  void TearDown() override { TavriShutdown(); }

  TempDir dir_;
  Bytes der_, pem_, p12_;
};

TEST_F(TicketKey, CertificateInDerOrPemBecomesTheMemoryStore) {
  for (const Bytes* cert : {&der_, &pem_}) {
    ASSERT_EQ(Load(*cert, 1), kRcOk);
    ASSERT_NE(pMemoryPSE, nullptr);
    EXPECT_STREQ(PSEPath, pMemoryPSE);
    EXPECT_EQ(strncmp(PSEPath, "#_MemPSE_#", 10), 0);
    EXPECT_EQ(LoadedX509Key(), *cert);  // as the caller passed it
    EXPECT_TRUE(LoadedStoreOpens());
  }
}

TEST_F(TicketKey, FailedLoadsClearTheEarlierKey) {
  const Bytes junk = ToBytes("this is no certificate at all");
  struct Case {
    int32_t type;
    const Bytes* key;
    int32_t want;
  } cases[] = {{1, &junk, kRcInternal}, {4, &junk, kRcInternal}, {0, &junk, kRcInvalid},
               {5, &der_, kRcInvalid}, {-1, &der_, kRcInvalid}};
  // The earlier key is a certificate, or an HMAC secret (which has no memory store).
  const Bytes secret = ToBytes("0123456789abcdef");
  for (int32_t earlier : {1, 2}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(earlier) + " then " + std::to_string(c.type));
      ASSERT_EQ(earlier == 1 ? Load(der_, 1) : Load(secret, 2, "pw"), kRcOk);
      EXPECT_EQ(Load(*c.key, c.type), c.want);
      EXPECT_EQ(KeyState(), "no store|||0|0");
    }
    for (int32_t length : {10, -5}) {
      SCOPED_TRACE(std::to_string(earlier) + " then length " + std::to_string(length));
      ASSERT_EQ(earlier == 1 ? Load(der_, 1) : Load(secret, 2, "pw"), kRcOk);
      EXPECT_EQ(TavriLoadTicketKey(length > 0 ? nullptr : der_.data(), length, nullptr, 0, 1), kRcNullArgument);
      EXPECT_EQ(KeyState(), "no store|||0|0");
    }
  }
}

TEST_F(TicketKey, HmacSecretLeavesTheStoreAndIsBounded) {
  ASSERT_EQ(Load(der_, 1), kRcOk);
  const Bytes secret = ToBytes("0123456789abcdef");
  ASSERT_EQ(Load(secret, 2, "pw"), kRcOk);
  EXPECT_NE(pMemoryPSE, nullptr);  // tickets still verify
  EXPECT_EQ(LoadedX509Key(), secret);
  EXPECT_STREQ(PSEpwd, "pw");

  EXPECT_EQ(Load(Bytes(8191, 'y'), 2), kRcOk);
  EXPECT_EQ(X509KeyLen, 8191u);

  // Base64 is stored decoded; white space and foreign characters are skipped.
  EXPECT_EQ(Load(ToBytes("MDEy\nMzQ1*Njc4\n"), 3, "b64"), kRcOk);
  EXPECT_EQ(LoadedX509Key(), ToBytes("012345678"));
  EXPECT_STREQ(PSEpwd, "b64");

  const std::string longpw(512, 'p');
  EXPECT_EQ(Load(secret, 2, longpw.c_str()), kRcOk);
  EXPECT_STREQ(PSEpwd, "");

  // Shutdown removes the store; a secret loaded without one stays.
  TavriShutdown();
  EXPECT_EQ(pMemoryPSE, nullptr);
  EXPECT_EQ(X509KeyLen, 0u);
  ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
  ASSERT_EQ(Load(secret, 2), kRcOk);
  TavriShutdown();
  EXPECT_EQ(LoadedX509Key(), secret);
}

// A secret longer than 8191 bytes (or Base64 text that long) loads
// nothing and leaves no key, neither the earlier secret nor the store.
TEST_F(TicketKey, HmacSecretTooLongLeavesNoKey) {
  const Bytes secret = ToBytes("0123456789abcdef");
  const std::string trace = Traced("1", [&] {
    for (int32_t type : {2, 3}) {
      SCOPED_TRACE(type);
      ASSERT_EQ(Load(der_, 1), 0);
      ASSERT_EQ(Load(secret, 2), 0);
      EXPECT_EQ(Load(Bytes(8192, 'Q'), type), kRcInvalid);
      EXPECT_EQ(KeyState(), "no store|||0|0");
    }
  });
  EXPECT_CONTAINS(trace, "HMAC key of 8192 bytes is longer than 8191 bytes, not loaded.");
}

TEST_F(TicketKey, ParseCertificateMatchesNamesByPrefix) {
  std::string serial = ShOut("openssl x509 -noout -serial -in " + dir_.file("issuer.pem"));
  serial = serial.substr(serial.find('=') + 1);
  serial.erase(serial.find_last_not_of("\n") + 1);
  std::string pairs;
  for (size_t i = 0; i < serial.size(); i += 2) pairs += (i ? ":" : "") + serial.substr(i, 2);

  auto parse = [&](const char* attr, int32_t cap, int32_t* rc) {
    std::string buf(static_cast<size_t>(cap), '\0');
    int32_t len = cap;
    *rc = TavriParseCertificate(der_.data(), static_cast<int32_t>(der_.size()), attr,
                                reinterpret_cast<unsigned char*>(&buf[0]), &len);
    return std::make_pair(len, buf.substr(0, static_cast<size_t>(std::min(len, cap))));
  };
  int32_t rc;
  EXPECT_EQ(parse("SUBJECT", 100, &rc).second, "CN=eval issuer");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(parse("SUBJECTSOMETHING", 100, &rc).second, "CN=eval issuer");
  EXPECT_EQ(parse("SERIAL", 100, &rc).second, serial);
  EXPECT_EQ(parse("SERIALNO", 100, &rc).second, pairs);
  EXPECT_EQ(parse("SERIALNOX", 100, &rc).second, pairs);
  EXPECT_EQ(parse("KEYTYPE", 100, &rc).second, "EC");  // passed through whole

  auto small = parse("SUBJECT", 13, &rc);  // "CN=eval issuer" is 14
  EXPECT_EQ(rc, 3);
  EXPECT_EQ(small.first, 14);
  parse("subject", 100, &rc);
  EXPECT_EQ(rc, 17);

  unsigned char buf[16];
  int32_t len = sizeof buf;
  EXPECT_EQ(TavriParseCertificate(der_.data(), 20, "SUBJECT", buf, &len), kRcNoSignerCert);
  EXPECT_EQ(len, 0);
  len = sizeof buf;
  EXPECT_EQ(TavriParseCertificate(der_.data(), 20, nullptr, buf, &len), kRcInvalidTicket);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(TavriParseCertificate(der_.data(), 20, "SUBJECT", buf, nullptr), kRcInvalidTicket);
}

}  // namespace
