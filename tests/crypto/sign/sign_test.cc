// Signatures we make, checked by the openssl tool: PKCS#7 SignedData with
// RSA and ECDSA keys from key stores made by `openssl pkcs12 -export`, the
// raw formats, the optional outputs and the SSF result codes.
#include <gtest/gtest.h>

#include "crypto/sign/signtest.h"

using namespace qortest;

namespace {

std::string Printed(const TempDir& dir, const Bytes& sig) {
  WriteBytes(dir.file("p.p7"), sig);
  return ShOut("openssl cms -cmsout -print -inform DER -in " + dir.file("p.p7"));
}

class Sign : public ::testing::Test {
 protected:
  void SetUp() override {
    msg_ = SigBytes("msg.bin");
    msg_file_ = SigData("msg.bin");
  }
  SignArgs Pkcs7(const std::string& pse) { return Raw("PKCS7", "SHA256", pse, DataContentInfo(msg_)); }
  SignArgs Raw(const std::string& format, const std::string& digest, const std::string& pse, Bytes input = {}) {
    SignArgs a;
    a.format = format, a.digest = digest;
    a.input = input.empty() ? msg_ : input;
    a.signers.push_back({"<implicit>", pse, kPin});
    return a;
  }
  TempDir dir_;
  Bytes msg_;
  std::string msg_file_;
};

TEST_F(Sign, DetachedSignedDataVerifiesWithOpenssl) {
  for (const char* key : {"rsa", "ec"}) {
    MemImage store(MakeP12(dir_, key));
    ASSERT_TRUE(store.ok());
    for (const char* digest : {"SHA1", "SHA256", "sha384"}) {
      for (unsigned char inc : {0, 1}) {
        SCOPED_TRACE(std::string(key) + " " + digest + " certs=" + std::to_string(inc));
        SignArgs a = Pkcs7(store.name());
        a.digest = digest;
        a.inc_certs = inc;
        Signed s = RunSign(a);
        ASSERT_EQ(s.rc, SSF_API_OK);
        EXPECT_EQ(s.results, std::vector<uint32_t>{0});
        EXPECT_TRUE(OpensslVerifies(dir_, s.out, msg_file_, inc ? "" : SigData(std::string(key) + ".pem")));
        EXPECT_FALSE(OpensslVerifies(dir_, s.out, SigData("ca.pem"), SigData(std::string(key) + ".pem")));
        const std::string p = Printed(dir_, s.out);
        std::string lower = digest;
        for (char& ch : lower) ch = static_cast<char>(tolower(ch));
        for (const std::string& part : std::vector<std::string>{"algorithm: " + lower, "object: contentType",
             "object: messageDigest", "eContent: <ABSENT>", std::string(key) == "ec" ? "ecdsa-with-" : ""})
          EXPECT_CONTAINS(p, part);
        EXPECT_EQ(CountOf(p, "cert_info:"), inc ? 1u : 0u);
      }
    }
  }
}

TEST_F(Sign, AttachedContentDefaultDigestAndTwoSigners) {
  MemImage rsa(MakeP12(dir_, "rsa")), ec(MakeP12(dir_, "ec"));
  SignArgs a = Pkcs7(rsa.name());
  a.digest = "DEFAULT";
  a.detached = 0;
  a.signers.push_back({"CN=Signer ec,O=Sig Test", ec.name(), kPin});
  Signed s = RunSign(a);
  ASSERT_EQ(s.rc, SSF_API_OK);
  EXPECT_EQ(s.results, (std::vector<uint32_t>{0, 0}));
  EXPECT_TRUE(OpensslVerifies(dir_, s.out, "", "", dir_.file("content")));
  EXPECT_EQ(ReadBytes(dir_.file("content")), msg_);
  const std::string p = Printed(dir_, s.out);
  EXPECT_EQ(CountOf(p, "sha256 (2.16.840.1.101.3.4.2.1)"), 3u) << p;  // the set and each SignerInfo
  EXPECT_EQ(CountOf(p, "cert_info:"), 2u);
  // The same signer twice: two SignerInfos, one certificate.
  a.signers[1] = a.signers[0];
  s = RunSign(a);
  ASSERT_EQ(s.rc, SSF_API_OK);
  EXPECT_TRUE(OpensslVerifies(dir_, s.out, ""));
  EXPECT_EQ(CountOf(Printed(dir_, s.out), "cert_info:"), 1u);
  // "DFAULT" and an empty name mean the same.
  for (const char* d : {"DFAULT", ""}) {
    a.digest = d;
    EXPECT_EQ(RunSign(a).rc, SSF_API_OK) << d;
  }
}

TEST_F(Sign, KeyStoreByPathProfileAndJavaKeytool) {
  const std::string p12 = MakeP12(dir_, "ec");
  EXPECT_EQ(RunSign(Pkcs7(p12)).rc, SSF_API_OK);
  Bytes data = ToBytes("mempse:");
  const Bytes image = ReadBytes(p12);
  data.insert(data.end(), image.begin(), image.end());
  ASSERT_EQ(SsfCreateProfile("signprof", 8, nullptr, 0, data.data(), static_cast<int32_t>(data.size())), 0);
  EXPECT_EQ(RunSign(Pkcs7("signprof")).rc, SSF_API_OK);
  const std::string jks = dir_.file("java.p12");
  if (!Sh("keytool -genkeypair -storetype PKCS12 -keystore " + jks + " -storepass " + kPin +
          " -keypass " + kPin + " -alias me -keyalg RSA -keysize 2048 -dname CN=Java -validity 30"))
    GTEST_SKIP() << "keytool failed";
  Signed s = RunSign(Pkcs7(jks));
  ASSERT_EQ(s.rc, SSF_API_OK);
  WriteBytes(dir_.file("java.p7"), s.out);
  EXPECT_TRUE(Sh("openssl cms -verify -inform DER -binary -noverify -in " + dir_.file("java.p7") + " -content " +
                 msg_file_ + " -out /dev/null"));
}

TEST_F(Sign, SignerFaultsSetTheRecordResult) {
  MemImage rsa(MakeP12(dir_, "rsa")), old(MakeP12(dir_, "old"));
  MemStore certs_only({"rsa.pem"});
  const struct {
    std::string id, pse, pin;
    uint32_t result;
  } rows[] = {
      {"<implicit>", rsa.name(), "wrong", SSF_API_INVALID_PASSWORD},
      {"<implicit>", "/nonexistent/store.p12", kPin, SSF_API_UNKNOWN_PROFILE},
      {"<implicit>", certs_only.name(), "", SSF_API_UNKNOWN_SIGNER},
      {"<implicit>", old.name(), kPin, SSF_API_CERT_EXPIRED},
      {"CN=Someone else,O=Sig Test", rsa.name(), kPin, SSF_API_UNKNOWN_SIGNER},
      {"not a name", rsa.name(), kPin, SSF_API_UNKNOWN_SIGNER},
      {"<implicit>", "", kPin, SSF_API_UNKNOWN_PROFILE},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.id + " " + r.pse);
    SignArgs a = Pkcs7(rsa.name());
    a.signers.insert(a.signers.begin(), {r.id, r.pse, r.pin});
    Signed s = RunSign(a);
    EXPECT_EQ(s.rc, SSF_API_SIGNER_ERRORS);
    EXPECT_EQ(s.results, (std::vector<uint32_t>{r.result, 0}));
    EXPECT_TRUE(s.out.empty());
  }
  SignArgs dn = Pkcs7(rsa.name());
  dn.signers[0].id = "CN=Signer rsa, O=Sig Test";
  EXPECT_EQ(RunSign(dn).rc, SSF_API_OK);
}

TEST_F(Sign, ArgumentFaultsLeaveRecordsUnprocessed) {
  MemImage rsa(MakeP12(dir_, "rsa"));
  const struct {
    std::string format, digest;
    Bytes input;
    int32_t rc;
  } rows[] = {
      {"PKCS7", "SHA256", {}, SSF_API_NODATA},
      {"PKCS9", "SHA256", DataContentInfo(msg_), SSF_API_INVALID_FORMAT},
      {"PKCS7-TSTAMP", "SHA256", DataContentInfo(msg_), SSF_API_INVALID_FORMAT},
      {"RAWHASH", "SHA256", msg_, SSF_API_INVALID_FORMAT},
      {"PKCS1-V1.5", "", msg_, SSF_API_INVALID_MDALG},
      {"PKCS1-V1.5", "MD2", msg_, SSF_API_INSECURE_MDALG},
      {"PKCS7", "MD4", DataContentInfo(msg_), SSF_API_INSECURE_MDALG},
      {"PKCS7", "SHA999", DataContentInfo(msg_), SSF_API_INVALID_MDALG},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.format + " " + r.digest);
    SignArgs a = Raw(r.format, r.digest, rsa.name());
    a.input = r.input;
    Signed s = RunSign(a);
    EXPECT_EQ(s.rc, r.rc);
    EXPECT_EQ(s.results, std::vector<uint32_t>{SSF_API_UNDEFINED_RESULT});
  }
  SignArgs a = Pkcs7(rsa.name());
  a.chain = "X509v4";
  EXPECT_EQ(RunSign(a).rc, SSF_API_INVALID_FORMAT);
  a = Pkcs7(rsa.name());
  a.input = msg_;  // not a ContentInfo
  EXPECT_EQ(RunSign(a).rc, SSF_API_DECODE_FAILED);
  a.input = DataContentInfo(msg_);
  a.input.insert(a.input.end(), {0, 0});  // zero padding is fine
  EXPECT_EQ(RunSign(a).rc, SSF_API_OK);
  a.signers.clear();
  EXPECT_EQ(RunSign(a).rc, SSF_API_SIGNER_ERRORS);
}

TEST_F(Sign, RawFormatsVerifyWithOpenssl) {
  MemImage rsa(MakeP12(dir_, "rsa")), dsa(MakeP12(dir_, "dsa"));
  WriteBytes(dir_.file("pub.pem"), ToBytes(ShOut("openssl x509 -pubkey -noout -in " + SigData("rsa.pem"))));
  WriteBytes(dir_.file("dsapub.pem"), ToBytes(ShOut("openssl x509 -pubkey -noout -in " + SigData("dsa.pem"))));
  const struct {
    std::string format, digest, pse, pub;
    size_t len;  // 0: DER, any length
  } rows[] = {
      {"PKCS1-V1.5", "SHA256", rsa.name(), "pub.pem", 256}, {"rsa-1_5", "SHA1", rsa.name(), "pub.pem", 256},
      {"PKCS1-V1.5", "MD5", rsa.name(), "pub.pem", 256},    {"DSA", "SHA256", dsa.name(), "dsapub.pem", 0},
      {"DSA-FLAT", "SHA256", dsa.name(), "", 64},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.format + " " + r.digest);
    Signed s = RunSign(Raw(r.format, r.digest, r.pse));
    ASSERT_EQ(s.rc, SSF_API_OK);
    EXPECT_EQ(s.results, std::vector<uint32_t>{0});
    EXPECT_TRUE(r.len == 0 || s.out.size() == r.len) << s.out.size();
    if (r.pub.empty()) continue;
    WriteBytes(dir_.file("raw.sig"), s.out);
    EXPECT_TRUE(Sh("openssl dgst -" + r.digest + " -verify " + dir_.file(r.pub) + " -signature " +
                   dir_.file("raw.sig") + " " + msg_file_));
  }
  SignArgs a = Raw("DSA", "SHA256", rsa.name());
  Signed s = RunSign(a);
  EXPECT_EQ(s.rc, SSF_API_ALG_MISMATCH);
  EXPECT_EQ(s.results, std::vector<uint32_t>{SSF_API_ALG_MISMATCH});
  a.format = "PKCS1-V1.5";
  a.signers[0].pse = dsa.name();
  EXPECT_EQ(RunSign(a).rc, SSF_API_ALG_MISMATCH);
  a.format = "DSA";
  a.digest = "SHA512";
  EXPECT_EQ(RunSign(a).rc, SSF_API_INVALID_MDALG);
  a.signers[0].pin = "wrong";
  s = RunSign(a);
  EXPECT_EQ(s.rc, SSF_API_SIGNER_ERRORS);
  EXPECT_EQ(s.results, std::vector<uint32_t>{SSF_API_INVALID_PASSWORD});
}

// Every digest from MD5 to RIPEMD128 passes the format's digest check; one
// the kernel cannot compute fails when hashing, as verification does.
TEST_F(Sign, Pkcs1DigestWithoutKernelSupportFailsWhenHashing) {
  MemImage rsa(MakeP12(dir_, "rsa"));
  Signed s = RunSign(Raw("PKCS1-V1.5", "RIPEMD128", rsa.name()));
  EXPECT_EQ(s.rc, SSF_API_UNKNOWN_SECTK_ERROR);
  EXPECT_EQ(s.results, std::vector<uint32_t>{SSF_API_UNKNOWN_SECTK_ERROR});
  VerifyArgs v;
  v.format = "PKCS1-V1.5", v.digest = "RIPEMD128", v.inc_certs = 0;
  v.signature = Bytes(256, 1), v.input = msg_;
  v.pab = "<no_certificate_check>", v.chain = "X509v3", v.certs = SigBytes("rsa.der");
  EXPECT_EQ(RunVerify(v).rc, SSF_API_UNKNOWN_SECTK_ERROR);
}

TEST_F(Sign, OptionalOutputsDescribeTheSigner) {
  MemImage rsa(MakeP12(dir_, "rsa"));
  SignArgs a = Pkcs7(rsa.name());
  a.extras = true;
  a.chain = "X509PKIPathv1";
  Signed s = RunSign(a);
  ASSERT_EQ(s.rc, SSF_API_OK);
  EXPECT_EQ(std::string(s.name.begin(), s.name.end()), "CN=Signer rsa,O=Sig Test");
  const std::string ski = ShOut("openssl x509 -noout -ext subjectKeyIdentifier -in " + SigData("rsa.pem"));
  std::string hex;
  for (unsigned char b : s.key_id) hex += (hex.empty() ? "" : ":") + std::string(1, "0123456789ABCDEF"[b >> 4]) + "0123456789ABCDEF"[b & 15];
  EXPECT_CONTAINS(ski, hex);
  // The path lists the anchor first.
  Bytes ca = SigBytes("ca.der"), me = SigBytes("rsa.der");
  ASSERT_GT(s.chain.size(), ca.size() + me.size());
  EXPECT_EQ(Bytes(s.chain.end() - me.size() - ca.size(), s.chain.end() - me.size()), ca);
  EXPECT_EQ(Bytes(s.chain.end() - me.size(), s.chain.end()), me);
  a.chain = "X509v3";
  s = RunSign(a);
  EXPECT_EQ(Bytes(s.chain.begin(), s.chain.begin() + me.size()), me);
  a.chain = "PKCS7";
  s = RunSign(a);
  WriteBytes(dir_.file("bag.p7"), s.chain);
  EXPECT_EQ(CountOf(ShOut("openssl pkcs7 -inform DER -print_certs -in " + dir_.file("bag.p7")), "subject="), 2u);
  a.chain = "RAWPUBKEY";
  EXPECT_EQ(RunSign(a).chain, SigBytes("rsa.pub.der"));
  a.chain = "KEYVALUE";
  const Bytes xml = RunSign(a).chain;
  EXPECT_EQ(std::string(xml.begin(), xml.begin() + 22), "<RSAKeyValue><Modulus>");
}

std::string g_trace;
int32_t Collect(int32_t, const char*, const char*, const char* text) {
  g_trace += text;
  g_trace += "\n";
  return 0;
}

TEST_F(Sign, TraceNamesTheCertificatesOfAStoreThatCannotSign) {
  MemImage old(MakeP12(dir_, "old"));
  MemStore certs_only({"rsa.pem", "ca.pem"});
  Qorcryptolib_RegisterTraceCallback(nullptr, &Collect);
  Qorcryptolib_SetTraceLevel(4);
  SignArgs a = Pkcs7(certs_only.name());
  a.signers.push_back({"<implicit>", old.name(), kPin});
  a.signers.push_back({"CN=Nobody", certs_only.name(), ""});
  EXPECT_EQ(RunSign(a).rc, SSF_API_SIGNER_ERRORS);
  Qorcryptolib_UnregisterTraceCallback();
  const std::string list = "  Certificate: (Without key usage) CN=Signer rsa,O=Sig Test\n"
                           "  Certificate: (Without key usage) CN=Sig Test CA,O=Sig Test\n";
  EXPECT_CONTAINS(g_trace, "Didn't find a signer certificate in PSE '" + certs_only.name() + "', found only:\n" + list);
  EXPECT_CONTAINS(g_trace, "Didn't find the signer certificate of 'CN=Nobody' in PSE '" + certs_only.name());
  EXPECT_CONTAINS(g_trace, "Certificate in PSE '" + old.name() + "' expired");
  EXPECT_CONTAINS(g_trace, "SsfSignEx   : Format=PKCS7      Alg=SHA256     ChainFormat=None            "
                           "Return=SSF_API_SIGNER_ERRORS     Descr=signer errors");
  EXPECT_LACKS(g_trace, kPin);
}

}  // namespace
