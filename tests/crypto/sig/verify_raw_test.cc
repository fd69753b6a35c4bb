// Raw signature values made by python cryptography: PKCS#1 v1.5, DSA and
// ECDSA, with keys from the caller or from a key store.
#include <gtest/gtest.h>

#include <functional>

#include "crypto/sig/sigtest.h"

using namespace qortest;

namespace {

constexpr char kNoCheck[] = "<no_certificate_check>";

VerifyArgs Raw(const std::string& format, const std::string& digest, const std::string& sig) {
  VerifyArgs a;
  a.format = format;
  a.digest = digest;
  a.inc_certs = 0;
  a.signature = SigBytes(sig);
  a.input = SigBytes("msg.bin");
  a.pab = kNoCheck;
  return a;
}

VerifyArgs WithKey(VerifyArgs a, const std::string& chain, const std::string& file) {
  a.chain = chain;
  a.certs = SigBytes(file);
  return a;
}

TEST(VerifyPkcs1, VerifiesWithAPublicKeyOrCertificateWithoutKeyStore) {
  const struct {
    const char* digest;
    const char* chain;
    const char* key;
  } rows[] = {
      {"SHA256", "RAWPUBKEY", "rsa.pub.pem"},   {"sha256", "RAWPUBKEY", "rsa.pub.der"},
      {"SHA256", "RAWPUBKEY", "rsa.pkcs1.pem"}, {"SHA256", "x509v3", "rsa.der"},
      {"SHA256", "X509v3", "rsa.pem"},          {"SHA1", "X509v3", "rsa.der"},
      {"SHA512", "X509v3", "rsa.der"},          {"MD5", "X509v3", "rsa.der"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.digest) + " " + r.chain + " " + r.key);
    std::string d = r.digest;
    for (char& ch : d) ch = static_cast<char>(tolower(ch));
    Verified v =
        RunVerify(WithKey(Raw("PKCS1-V1.5", r.digest, "rsa." + d + ".sig"), r.chain, r.key));
    ASSERT_EQ(v.rc, SSF_API_OK);
    ASSERT_EQ(v.signers.size(), 1u);
    EXPECT_EQ(v.signers[0].result, 0u);
    if (std::string(r.chain) != "RAWPUBKEY") {
      EXPECT_EQ(v.signers[0].id, "CN=Signer rsa,O=Sig Test");
      EXPECT_EQ(v.signers[0].cert, SigBytes("rsa.der"));
    }
  }
}

// Each row: one raw signature check whose signer result is named.
struct Row {
  const char *format, *digest, *sig, *chain, *key;
  int32_t rc, result;
};

void ExpectRows(const std::vector<Row>& rows, const std::function<void(VerifyArgs&)>& change = {}) {
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.format) + " " + r.digest + " " + r.sig + " " + r.key);
    VerifyArgs a = WithKey(Raw(r.format, r.digest, r.sig), r.chain, r.key);
    if (change) change(a);
    Verified v = RunVerify(a);
    EXPECT_EQ(v.rc, r.rc);
    if (r.rc == SSF_API_OK || r.rc == SSF_API_SIGNER_ERRORS) {
      EXPECT_EQ(v.signers.at(0).result, U(r.result));
    }
    EXPECT_TRUE(v.openssl_queue_empty);
  }
}

constexpr int32_t kErrors = SSF_API_SIGNER_ERRORS;

TEST(VerifyPkcs1, WrongContentKeyOrAlgorithmGiveTheSignerResult) {
  ExpectRows({{"PKCS1-V1.5", "SHA256", "rsa.sha256.sig", "RAWPUBKEY", "rsa.pub.pem", kErrors, SSF_API_SIGNER_NOT_OK}},
             [](VerifyArgs& a) { a.input.back() ^= 1; });
  ExpectRows({
      {"PKCS1-V1.5", "SHA384", "rsa.sha256.sig", "RAWPUBKEY", "rsa.pub.pem", kErrors, SSF_API_SIGNER_NOT_OK},
      {"PKCS1-V1.5", "SHA256", "rsa.sha256.sig", "X509v3", "rogue.der", kErrors, SSF_API_SIGNER_NOT_OK},
      {"PKCS1-V1.5", "SHA256", "ec.sha256.sig", "RAWPUBKEY", "ec.pub.pem", kErrors, SSF_API_ALG_MISMATCH},
      {"PKCS1-V1.5", "SHA256", "rsa.sha256.sig", "RAWPUBKEY", "msg.bin", kErrors, SSF_API_ERROR_DECODING_PEM},
  });
  EXPECT_EQ(RunVerify(WithKey(Raw("PKCS1-V1.5", "SHA256", "rsa.sha256.sig"), "RAWPUBKEY", "msg.bin")).signers.at(0).id,
            "<unknown>");
}

// The DSA formats take DSA keys only: an ECDSA or RSA key is refused with
// signer result 30, and before a flat value is converted.
TEST(VerifyDsa, DerAndFlatValuesOfDsaKeysOnlyAndEcdsaAndRsaKeysAreRefusedBeforeAnyConversion) {
  ExpectRows({
      {"DSA", "SHA256", "dsa.sha256.sig", "X509v3", "dsa.der", SSF_API_OK, 0},
      {"DSA-FLAT", "SHA256", "dsa.sha256.flat", "X509v3", "dsa.der", SSF_API_OK, 0},
      {"DSA", "SHA384", "dsa.sha256.sig", "X509v3", "dsa.der", SSF_API_INVALID_MDALG, 0},
      {"DSA", "SHA256", "ec.sha256.sig", "X509v3", "ec.der", kErrors, SSF_API_ALG_MISMATCH},
      {"DSA-FLAT", "SHA256", "ec.sha256.flat", "X509v3", "ec.der", kErrors, SSF_API_ALG_MISMATCH},
      {"DSA-FLAT", "SHA256", "ec.sha256.flat", "RAWPUBKEY", "ec.pub.pem", kErrors, SSF_API_ALG_MISMATCH},
      {"DSA", "SHA256", "rsa.sha256.sig", "X509v3", "rsa.der", kErrors, SSF_API_ALG_MISMATCH},
  });
  // A flat value of odd length; an RSA key with a value of no r || s form either.
  ExpectRows({{"dsa-sha1", "SHA256", "dsa.sha256.flat", "X509v3", "dsa.der", kErrors, SSF_API_SIGNER_NOT_OK}},
             [](VerifyArgs& a) { a.signature.push_back(0); });
  ExpectRows({{"DSA-FLAT", "SHA256", "rsa.sha256.sig", "X509v3", "rsa.der", kErrors, SSF_API_ALG_MISMATCH}},
             [](VerifyArgs& a) { a.signature.resize(65); });
}

TEST(VerifyRaw, KeyValuesOfAnIndependentWriterVerify) {
  for (const char* base : {"rsa", "dsa"}) {
    SCOPED_TRACE(base);
    const std::string b = base;
    VerifyArgs a = Raw(b == "rsa" ? "PKCS1-V1.5" : "DSA", "SHA256", b + ".sha256.sig");
    a.chain = "KEYVALUE";
    a.certs = ToBytes(ShOut("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/key_value_xml.py " +
                            SigData(b + ".pem")));
    ASSERT_FALSE(a.certs.empty());
    EXPECT_EQ(RunVerify(a).rc, SSF_API_OK);
    a.certs.resize(a.certs.size() / 2);
    Verified v = RunVerify(a);
    EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
    EXPECT_EQ(v.signers.at(0).result, U(SSF_API_ERROR_PARSE_KEYVALUE));
  }
  VerifyArgs a = Raw("DSA", "SHA256", "ec.sha256.sig");
  a.chain = "KEYVALUE";
  a.certs = ToBytes("<ECKeyValue><NamedCurve URI=\"urn:oid:1.2.840.10045.3.1.7\"/></ECKeyValue>");
  EXPECT_EQ(RunVerify(a).signers.at(0).result,
            U(SSF_API_ERROR_UNSUPPORTED_KEYVALUE));
}

TEST(VerifyRawWithKeyStore, CallerCertificateIsCheckedAndStoreCandidatesAreSearched) {
  MemStore trust({"ca.pem"});
  ASSERT_TRUE(trust.ok());
  ExpectRows({{"PKCS1-V1.5", "SHA256", "rsa.sha256.sig", "X509v3", "rsa.der", SSF_API_OK, 0},
              {"PKCS1-V1.5", "SHA256", "rsa.sha256.sig", "X509v3", "rogue.der", kErrors, SSF_API_UNKNOWN_SIGNER},
              {"PKCS1-V1.5", "SHA256", "old.sha256.sig", "X509v3", "old.der", kErrors, SSF_API_CERT_EXPIRED}},
             [&](VerifyArgs& a) { a.pab = trust.name(); });

  // Without caller certificates: the store's certificates by subject name.
  MemStore signers({"rogue.pem", "rsa.pem", "old.pem"});
  ASSERT_TRUE(signers.ok());
  VerifyArgs a = Raw("PKCS1-V1.5", "SHA256", "rsa.sha256.sig");
  a.pab = signers.name();
  a.signer_name = "CN=Signer rsa,O=Sig Test";
  Verified v = RunVerify(a);
  EXPECT_EQ(v.rc, SSF_API_OK);
  EXPECT_EQ(v.signers.at(0).cert, SigBytes("rsa.der"));
  a.signer_name = "CN=Signer old,O=Sig Test";
  a.signature = SigBytes("old.sha256.sig");
  EXPECT_EQ(RunVerify(a).signers.at(0).result, U(SSF_API_CERT_EXPIRED));
  a.signer_name = "CN=Nobody";
  v = RunVerify(a);
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  EXPECT_EQ(v.signers.at(0).result, U(SSF_API_NOCERTIFICATE));
  EXPECT_EQ(v.signers.at(0).id, "CN=Nobody");
  a.signer_name = "CN";
  EXPECT_EQ(RunVerify(a).rc, SSF_API_BAD_NAME);
}

TEST(VerifyArguments, AreCheckedInOrderBeforeAnyKeyStoreIsOpened) {
  VerifyArgs a = WithKey(Raw("PKCS1-V1.5", "SHA256", "rsa.sha256.sig"), "RAWPUBKEY", "rsa.pub.pem");
  auto rc = [](VerifyArgs x) { return RunVerify(x).rc; };
  VerifyArgs b = a;
  b.format = "PKCS";
  EXPECT_EQ(rc(b), SSF_API_INVALID_FORMAT);
  b = a, b.format = "SPNEGO";
  EXPECT_EQ(rc(b), SSF_API_INVALID_FORMAT);
  b = a, b.chain = "X509";
  EXPECT_EQ(rc(b), SSF_API_INVALID_FORMAT);
  b = a, b.digest = "SHA3";
  EXPECT_EQ(rc(b), SSF_API_INVALID_MDALG);
  b = a, b.digest = "MD4";
  EXPECT_EQ(rc(b), SSF_API_INSECURE_MDALG);
  b = a, b.signature.clear();
  EXPECT_EQ(rc(b), SSF_API_NODATA);
  b = a, b.pab.clear();
  EXPECT_EQ(rc(b), SSF_API_UNKNOWN_PAB);
  b = a, b.chain.clear();
  EXPECT_EQ(rc(b), SSF_API_INVALID_FUNCARGS);
  b = a, b.pab = "/nonexistent/store.pse";
  EXPECT_EQ(rc(b), SSF_API_INVALID_FUNCARGS);  // a raw key needs "<no_certificate_check>"
  b = a, b.pab = "/nonexistent/store.pse", b.chain = "X509v3", b.certs = SigBytes("rsa.der");
  EXPECT_EQ(rc(b), SSF_API_UNKNOWN_PROFILE);
  b = a, b.format = "PKCS7", b.digest.clear();
  EXPECT_EQ(rc(b), SSF_API_INVALID_FUNCARGS);

  SigRcpSsfInformationList list = nullptr;
  const Bytes sig = SigBytes("rsa.sha256.sig");
  EXPECT_EQ(
      SsfVerifyEx("PKCS1-V1.5", 10, nullptr, 0, 0, sig.data(), 256, nullptr, 0, "x", 1, nullptr, -1,
                  nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, &list, nullptr, nullptr),
      SSF_API_INVALID_PAB_PASSWORD);
  EXPECT_EQ(list, nullptr);
}

}  // namespace

#include <tuple>

#include "crypto/sig/sigint.h"

namespace {

TEST(CallerKeysGet, SameBytesShareOneDecodingAndOtherBytesDoNot) {
  Bytes pem = SigBytes("rsa.pub.pem");
  qorcr::CallerKeysRef a, b, c;
  const qorcr::Bytes view{pem.data(), pem.size()};
  ASSERT_EQ(qorcr::CallerKeysGet(SSF_CHAIN_RAWPUBKEY, view, &a), SSF_API_OK);
  ASSERT_EQ(qorcr::CallerKeysGet(SSF_CHAIN_RAWPUBKEY, view, &b), SSF_API_OK);
  EXPECT_EQ(a.get(), b.get());
  Bytes der = SigBytes("rsa.der");
  ASSERT_EQ(qorcr::CallerKeysGet(SSF_CHAIN_X509V3, qorcr::Bytes{der.data(), der.size()}, &c),
            SSF_API_OK);
  EXPECT_NE(c.get(), a.get());
  EXPECT_EQ(sk_X509_num(c->certs.get()), 1);
  pem[pem.size() / 2] ^= 1;  // another modulus
  ASSERT_EQ(qorcr::CallerKeysGet(SSF_CHAIN_RAWPUBKEY, qorcr::Bytes{pem.data(), pem.size()}, &c),
            SSF_API_OK);
  EXPECT_NE(c.get(), a.get());
  EXPECT_NE(EVP_PKEY_eq(c->key.get(), a->key.get()), 1);

  // X509v3: certificates one after the other or in a SEQUENCE OF; X509PKIPathv1 lists the anchor
  // first.
  Bytes two = SigBytes("rsa.der"), ca = SigBytes("ca.der");
  two.insert(two.end(), ca.begin(), ca.end());
  const size_t n = two.size();
  Bytes seq = {0x30, 0x82, static_cast<unsigned char>(n >> 8),
               static_cast<unsigned char>(n & 0xFF)};
  seq.insert(seq.end(), two.begin(), two.end());
  for (auto [chain, bytes, first] : {std::tuple{SSF_CHAIN_X509V3, two, "Signer rsa"},
                                     std::tuple{SSF_CHAIN_X509V3, seq, "Signer rsa"},
                                     std::tuple{SSF_CHAIN_X509PKIPATHV1, seq, "Sig Test CA"}}) {
    ASSERT_EQ(qorcr::CallerKeysGet(chain, qorcr::Bytes{bytes.data(), bytes.size()}, &c),
              SSF_API_OK);
    ASSERT_EQ(sk_X509_num(c->certs.get()), 2);
    EXPECT_CONTAINS(qorcr::NameOf(X509_get_subject_name(sk_X509_value(c->certs.get(), 0))), first);
  }
}

}  // namespace
