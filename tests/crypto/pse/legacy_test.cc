// PKCS#12 images with the old PBE ciphers (RC2-40 certificates, as
// "openssl pkcs12 -legacy" writes them) open with their PIN, give a key that
// signs in the default context, and leave the old ciphers out of it.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "crypto/cryptotest.h"
#include "crypto/pse/pseint.h"

using namespace qortest;
using namespace qorcr;

namespace {

Image ToImage(const Bytes& b) { return Image(b.begin(), b.end()); }

class LegacyPkcs12 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeSelfSigned(dir_, "own", "Legacy Signer"));
    ASSERT_TRUE(Sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=Extra"
                   " -days 30 -keyout " + dir_.file("extra.key") + " -out " + dir_.file("extra.pem")));
    ASSERT_TRUE(ExportP12(dir_.file("own.key"), dir_.file("own.pem"), "1234", dir_.file("legacy.p12"),
                          "-legacy -certfile " + dir_.file("extra.pem")));
    ASSERT_TRUE(ExportP12(dir_.file("own.key"), dir_.file("own.pem"), "1234", dir_.file("modern.p12")));
  }
  Bytes file(const char* name) { return ReadBytes(dir_.file(name)); }
  TempDir dir_;
};

TEST_F(LegacyPkcs12, OpensWithItsPinAndGivesKeyAndEveryCertificate) {
  PseRef ks;
  ASSERT_EQ(ImageDecode(ToImage(file("legacy.p12")), "1234", &ks), PseStatus::kOk);
  ASSERT_NE(ks->private_key(), nullptr);
  EXPECT_EQ(ks->certs().size(), 2u);
  // The key works in the default context: it signs.
  SslPtr<EVP_MD_CTX> md(EVP_MD_CTX_new());
  unsigned char sig[512];
  size_t sig_len = sizeof sig;
  const unsigned char data[] = "signed part";
  ASSERT_EQ(EVP_DigestSignInit_ex(md.get(), nullptr, "SHA256", nullptr, nullptr, ks->private_key(), nullptr), 1);
  EXPECT_EQ(EVP_DigestSign(md.get(), sig, &sig_len, data, sizeof data), 1);
}

TEST_F(LegacyPkcs12, WrongPinIsAWrongPin) {
  PseRef ks;
  EXPECT_EQ(ImageDecode(ToImage(file("legacy.p12")), "4321", &ks), PseStatus::kWrongPin);
}

TEST_F(LegacyPkcs12, OnlyImagesWithOldCiphersAreLegacyAndTheDefaultContextStaysWithout) {
  const Bytes legacy = file("legacy.p12"), modern = file("modern.p12");
  const unsigned char* p = legacy.data();
  SslPtr<PKCS12> l(d2i_PKCS12(nullptr, &p, static_cast<long>(legacy.size())));
  p = modern.data();
  SslPtr<PKCS12> m(d2i_PKCS12(nullptr, &p, static_cast<long>(modern.size())));
  ASSERT_TRUE(l && m);
  EXPECT_TRUE(Pkcs12UsesLegacyCipher(l.get()));
  EXPECT_FALSE(Pkcs12UsesLegacyCipher(m.get()));

  PseRef ks;
  ASSERT_EQ(ImageDecode(ToImage(legacy), "1234", &ks), PseStatus::kOk);
  EVP_CIPHER* rc2 = EVP_CIPHER_fetch(nullptr, "RC2-40-CBC", nullptr);
  EXPECT_EQ(rc2, nullptr);
  EVP_CIPHER_free(rc2);
}

}  // namespace
