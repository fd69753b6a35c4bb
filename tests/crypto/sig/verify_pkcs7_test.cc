// PKCS#7 signatures made by the openssl tool (cms and smime) and by python
// cryptography, verified against memory key stores; the content wrapping
// against openssl's own ContentInfo.
#include <gtest/gtest.h>

#include <functional>

#include "crypto/sig/sigtest.h"

using namespace qortest;

namespace {

const std::string kMsg = SigData("msg.bin");

// Signs msg.bin with the openssl tool into `dir`; returns the DER bytes.
Bytes OpensslSign(const TempDir& dir, const std::string& signer, const std::string& opts,
                  const std::string& tool = "cms") {
  const std::string out = dir.file("s.p7");
  const std::string cmd = "openssl " + tool + " -sign -binary -in " + kMsg + " -signer " +
                          SigData(signer + ".pem") + " -inkey " + SigData(signer + ".key") +
                          " -outform DER -out " + out + " " + opts;
  EXPECT_TRUE(Sh(cmd)) << cmd;
  return ReadBytes(out);
}

Bytes Encode(const Bytes& content) {
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  EXPECT_EQ(
      SsfEncode("PKCS7", 5, content.data(), static_cast<int32_t>(content.size()), &out, &outL), 0);
  Bytes b(out, out + outL);
  SsfDELSsfOctetstring(&out, &outL);
  return b;
}

VerifyArgs Detached(const Bytes& sig, const MemStore& store) {
  VerifyArgs a;
  a.signature = sig;
  a.input = Encode(SigBytes("msg.bin"));
  a.pab = store.name();
  return a;
}

TEST(VerifyPkcs7, OpensslSignaturesOfEverySignerDigestAndAttributeChoiceVerify) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  ASSERT_TRUE(trust.ok());
  for (const char* key : {"rsa", "ec", "dsa"}) {
    for (const char* md : {"sha1", "sha256"}) {
      for (const char* attrs : {"", "-noattr"}) {
        SCOPED_TRACE(std::string(key) + " " + md + " " + attrs);
        Verified v = RunVerify(
            Detached(OpensslSign(dir, key, std::string("-md ") + md + " " + attrs), trust));
        ASSERT_EQ(v.rc, SSF_API_OK);
        ASSERT_EQ(v.signers.size(), 1u);
        EXPECT_EQ(v.signers[0].result, 0u);
        EXPECT_EQ(v.signers[0].id, std::string("CN=Signer ") + key + ",O=Sig Test");
        EXPECT_EQ(v.signers[0].cert, SigBytes(std::string(key) + ".der"));
        EXPECT_EQ(v.signers[0].profile.rfind("SigningTime= ", 0), *attrs ? std::string::npos : 0u)
            << v.signers[0].profile;
        EXPECT_EQ(v.content, SigBytes("msg.bin"));
      }
    }
  }
}

TEST(VerifyPkcs7, AttachedContentAndPythonSignaturesVerify) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  for (const std::string tool : {"cms", "smime"}) {
    VerifyArgs a = Detached(OpensslSign(dir, "rsa", "-nodetach -md sha256", tool), trust);
    a.input.clear();
    a.format = "pkcs7";
    Verified v = RunVerify(a);
    EXPECT_EQ(v.rc, SSF_API_OK) << tool;
    EXPECT_EQ(v.content, SigBytes("msg.bin"));
    a.input = Encode(ToBytes("other content"));
    EXPECT_EQ(RunVerify(a).rc, SSF_API_NODATA);
  }
  // Streamed output is BER with indefinite lengths.
  VerifyArgs ber = Detached(OpensslSign(dir, "ec", "-nodetach -stream -md sha256"), trust);
  ber.input.clear();
  EXPECT_EQ(RunVerify(ber).rc, SSF_API_OK);
  EXPECT_EQ(RunVerify(Detached(SigBytes("py.rsa.detached.p7"), trust)).rc, SSF_API_OK);
  VerifyArgs a = Detached(SigBytes("py.ec.attached.p7"), trust);
  a.input.clear();
  EXPECT_EQ(RunVerify(a).rc, SSF_API_OK);

  // Without certificates in the message the key store must hold the signer.
  MemStore signer({"rsa.pem"});
  EXPECT_EQ(RunVerify(Detached(SigBytes("py.rsa.noattr.nocerts.p7"), signer)).rc, SSF_API_OK);
  Verified v = RunVerify(Detached(SigBytes("py.rsa.noattr.nocerts.p7"), trust));
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  ASSERT_EQ(v.signers.size(), 1u);
  EXPECT_EQ(v.signers[0].result, U(SSF_API_SIGNER_NOT_OK));
  EXPECT_EQ(v.signers[0].id, "CN=Sig Test CA,O=Sig Test/No-01:A2");
  EXPECT_TRUE(v.signers[0].cert.empty());
}

TEST(VerifyPkcs7, TamperedUntrustedExpiredAndMisplacedSignersGiveTheirResults) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  const Bytes with_attrs = OpensslSign(dir, "rsa", "-md sha256");
  const Bytes no_attrs = OpensslSign(dir, "ec", "-md sha256 -noattr");
  for (const Bytes& sig : {with_attrs, no_attrs}) {
    VerifyArgs a = Detached(sig, trust);
    a.input = Encode(ToBytes("tampered"));
    Verified v = RunVerify(a);
    EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
    EXPECT_EQ(v.signers.at(0).result, U(SSF_API_SIGNER_NOT_OK));
    EXPECT_TRUE(v.openssl_queue_empty);
    if (sig == with_attrs) {
      EXPECT_CONTAINS(v.error_text, "Wrong MessageDigest");
    }
  }

  // Carried but not trusted: 22, the record still carries the certificate.
  Verified v = RunVerify(Detached(OpensslSign(dir, "rogue", "-md sha256"), trust));
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  EXPECT_EQ(v.signers.at(0).result, U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(v.signers.at(0).cert, SigBytes("rogue.der"));
  MemStore wrong({"rogue.pem"});
  EXPECT_EQ(RunVerify(Detached(with_attrs, wrong)).signers.at(0).result, U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(RunVerify(Detached(OpensslSign(dir, "old", "-md sha256"), trust)).signers.at(0).result,
            U(SSF_API_CERT_EXPIRED));
  // Not taking certificates from the message: the store must hold the signer.
  VerifyArgs a = Detached(with_attrs, trust);
  a.inc_certs = 0;
  EXPECT_EQ(RunVerify(a).signers.at(0).result, U(SSF_API_SIGNER_NOT_OK));
  MemStore signer({"rsa.pem"});
  a.pab = signer.name();
  EXPECT_EQ(RunVerify(a).rc, SSF_API_OK);
}

// Every failed verification leaves its error for SsfSecTKLastErrorInfo,
// and the next Ssf... call of the thread starts afresh.
TEST(VerifyPkcs7, EveryFailureLeavesItsErrorUntilTheNextCall) {
  MemStore trust({"ca.pem"});
  Verified v = RunVerify(Detached(SigBytes("py.rsa.noattr.nocerts.p7"), trust));  // signer not found
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  EXPECT_EQ(v.error_code, SSF_API_SIGNER_NOT_OK);
  VerifyArgs a = Detached(SigBytes("py.rsa.detached.p7"), trust);
  a.input.clear();  // detached, and no content
  v = RunVerify(a);
  EXPECT_EQ(v.rc, SSF_API_NODATA);
  EXPECT_EQ(v.error_code, SSF_API_NODATA);
  a.signature.clear();
  v = RunVerify(a);
  EXPECT_EQ(v.rc, SSF_API_NODATA);
  EXPECT_EQ(v.error_code, SSF_API_NODATA);
  a.format = "PKCS";
  EXPECT_EQ(RunVerify(a).error_code, SSF_API_INVALID_FORMAT);
  // A record or string call clears what the failure left.
  RunVerify(Detached(SigBytes("py.rsa.noattr.nocerts.p7"), trust));
  SsfOctetstring none = nullptr;
  SsfOctetlen noneL = 0;
  int32_t code = -1;
  EXPECT_EQ(SsfDELSsfOctetstring(&none, &noneL), 0);
  EXPECT_EQ(SsfSecTKLastErrorInfo(0, &code, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(code, 0);
}

TEST(VerifyPkcs7, SignersByKeyIdentifierAndSeveralSignersEachGetTheirRecord) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  EXPECT_EQ(RunVerify(Detached(OpensslSign(dir, "rsa", "-keyid -md sha256"), trust)).rc,
            SSF_API_OK);
  MemStore signer({"rsa.pem"});
  EXPECT_EQ(RunVerify(Detached(OpensslSign(dir, "rsa", "-keyid -nocerts -md sha256"), signer)).rc,
            SSF_API_OK);
  Verified v = RunVerify(Detached(OpensslSign(dir, "rsa", "-keyid -nocerts -md sha256"), trust));
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  EXPECT_EQ(v.signers.at(0).id.rfind("/Keyid=", 0), 0u);

  const std::string second = " -signer " + SigData("rogue.pem") + " -inkey " + SigData("rogue.key");
  v = RunVerify(Detached(OpensslSign(dir, "ec", "-md sha256" + second), trust));
  EXPECT_EQ(v.rc, SSF_API_SIGNER_ERRORS);
  ASSERT_EQ(v.signers.size(), 2u);
  EXPECT_EQ(v.signers[0].result, 0u);
  EXPECT_EQ(v.signers[0].id, "CN=Signer ec,O=Sig Test");
  EXPECT_EQ(v.signers[1].result, U(SSF_API_UNKNOWN_SIGNER));
}

TEST(VerifyPkcs7, DecodingDigestAndKeyStoreRulesGiveExactCodes) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  const VerifyArgs a = Detached(OpensslSign(dir, "rsa", "-md sha256"), trust);
  const struct {
    const char* name;
    std::function<void(VerifyArgs&)> change;
    int32_t rc;
  } cases[] = {
      {"no content", [](VerifyArgs& b) { b.input.clear(); }, SSF_API_NODATA},
      {"zeros after the signature", [](VerifyArgs& b) { b.signature.insert(b.signature.end(), {0, 0}); }, SSF_API_OK},
      {"zeros and a one after it", [](VerifyArgs& b) { b.signature.insert(b.signature.end(), {0, 0, 1}); },
       SSF_API_DECODE_FAILED},
      {"no DER", [](VerifyArgs& b) { b.signature = ToBytes("not DER at all"); }, SSF_API_DECODE_FAILED},
      {"data, not signed data", [](VerifyArgs& b) { b.signature = Encode(ToBytes("data, not signed data")); },
       SSF_API_INVALID_FORMAT},
      {"raw content", [](VerifyArgs& b) { b.input = ToBytes("raw content instead of a ContentInfo"); },
       SSF_API_DECODE_FAILED},
      {"MD5 named", [](VerifyArgs& b) { b.digest = "MD5"; }, SSF_API_OK},
      {"MD4 named", [](VerifyArgs& b) { b.digest = "MD4"; }, SSF_API_INSECURE_MDALG},
      {"caller certificate",
       [](VerifyArgs& b) { b.pab = "<no_certificate_check>", b.chain = "X509v3", b.certs = SigBytes("rsa.der"); },
       SSF_API_OK},
      {"caller public key",
       [](VerifyArgs& b) { b.pab = "<no_certificate_check>", b.chain = "RAWPUBKEY", b.certs = SigBytes("rsa.der"); },
       SSF_API_INVALID_FUNCARGS},
      {"key value", [](VerifyArgs& b) { b.chain = "KEYVALUE"; }, SSF_API_INVALID_FUNCARGS},
      {"missing memory store", [](VerifyArgs& b) { b.pab = "#_MemPSE_#nosuchstore"; }, SSF_API_UNKNOWN_PROFILE},
  };
  for (const auto& c : cases) {
    VerifyArgs b = a;
    c.change(b);
    EXPECT_EQ(RunVerify(b).rc, c.rc) << c.name;
  }
}

TEST(SsfEncode, WrapsLikeOpensslAndDecodeTakesTrailingZerosOnly) {
  TempDir dir;
  ASSERT_TRUE(
      Sh("openssl cms -data_create -binary -in " + kMsg + " -outform DER -out " + dir.file("d")));
  const Bytes der = ReadBytes(dir.file("d"));
  EXPECT_EQ(Encode(SigBytes("msg.bin")), der);
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  Bytes padded = der;
  padded.insert(padded.end(), {0, 0});
  ASSERT_EQ(SsfDecode("PKCS7", 5, padded.data(), static_cast<int32_t>(padded.size()), &out, &outL),
            0);
  EXPECT_EQ(Bytes(out, out + outL), SigBytes("msg.bin"));
  SsfDELSsfOctetstring(&out, &outL);
  padded.back() = 1;
  EXPECT_EQ(SsfDecode("PKCS7", 5, padded.data(), static_cast<int32_t>(padded.size()), &out, &outL),
            SSF_API_DECODE_FAILED);
  const Bytes signed_data = SigBytes("py.ec.attached.p7");
  EXPECT_EQ(SsfDecode("PKCS7", 5, signed_data.data(), static_cast<int32_t>(signed_data.size()),
                      &out, &outL),
            SSF_API_INVALID_FORMAT);
  EXPECT_EQ(SsfDecode("PKCS7", 5, der.data(), 0, &out, &outL), SSF_API_NODATA);
  EXPECT_EQ(SsfEncode("RAWSIG", 6, der.data(), 4, &out, &outL), SSF_API_INVALID_FORMAT);
  EXPECT_EQ(out, nullptr);
}

TEST(VerifyPkcs7, ThreadsVerifyAtOnceAgainstOneKeyStore) {
  TempDir dir;
  MemStore trust({"ca.pem"});
  const VerifyArgs detached = Detached(OpensslSign(dir, "rsa", "-md sha256"), trust);
  VerifyArgs raw;
  raw.format = "PKCS1-V1.5", raw.digest = "SHA256", raw.inc_certs = 0;
  raw.signature = SigBytes("rsa.sha256.sig"), raw.input = SigBytes("msg.bin");
  raw.pab = "<no_certificate_check>", raw.chain = "X509v3", raw.certs = SigBytes("rsa.der");
  EXPECT_EQ(FailuresOnThreads(8, 10, [&](int t, int i) { return RunVerify((t + i) % 2 ? detached : raw).rc == SSF_API_OK; }),
            0);
}

}  // namespace
