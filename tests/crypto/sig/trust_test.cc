// The trust decision against attack material made outside: certificates by
// tests/tools/make_trust_material.py (python cryptography, and bytes
// written by hand where no library would make them), signatures by the
// openssl tool, key stores by openssl pkcs12 and Java's keytool.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <time.h>

#include <algorithm>
#include <map>

#include "crypto/pse/pse.h"
#include "crypto/sig/sigtest.h"

using namespace qortest;

namespace {

constexpr char kPin[] = "trust-pin";

// A memory key store holding an image as it is.
class ImageStore : public MemStore {
 public:
  explicit ImageStore(const Bytes& image) { Load(image); }
};

class Trust : public ::testing::Test {
 protected:
  // The material is made once per ctest run by the fixture test
  // trust.material and only read here; run alone, the suite makes its own.
  static void SetUpTestSuite() {
    scratch_ = new TempDir;
    const char* made = getenv("QOR_TRUST_MATERIAL");
    material_ = made ? made : scratch_->path();
    ok_ = made ? !ReadFile(F("msg.bin")).empty()
               : Sh("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/make_trust_material.py " + material_);
  }
  static void TearDownTestSuite() { delete scratch_; }
  void SetUp() override { ASSERT_TRUE(ok_); }

  static std::string F(const std::string& name) { return material_ + "/" + name; }
  // Files a test writes go to its own directory, never into the shared material.
  static std::string W(const std::string& name) { return scratch_->file(name); }

  // A key store trusting the certificates `names` (a PEM bundle, no key).
  static Bytes Bundle(const std::vector<std::string>& names) {
    std::string image;
    for (const std::string& n : names) image += ReadFile(F(n + ".pem"));
    return ToBytes(image);
  }

  // A detached signature over msg.bin by `signer` (whose key is leaf.key,
  // or its own NAME.key), carrying the signer's certificate and those of `certfile`.
  static Bytes CmsSign(const std::string& signer, const std::string& certfile = "",
                       const std::string& key = "leaf") {
    const std::string out = W("sig-" + signer + "-" + certfile + ".p7");
    std::string cmd = "openssl cms -sign -binary -md sha256 -in " + F("msg.bin") + " -signer " +
                      F(signer + ".pem") + " -inkey " + F(key + ".key") + " -outform DER -out " + out;
    if (!certfile.empty()) cmd += " -certfile " + F(certfile + ".pem");
    EXPECT_TRUE(Sh(cmd)) << cmd;
    return ReadBytes(out);
  }

  // Checks a detached signature over msg.bin against the key store `pab`
  // (none: the caller's certificate `cert`).
  static Verified VerifyPkcs7(const Bytes& sig, const std::string& pab, const std::string& pin = "",
                              const std::string& cert = "") {
    VerifyArgs a;
    a.signature = sig;
    SsfOctetstring wrapped = nullptr;
    SsfOctetlen wrappedL = 0;
    const Bytes msg = ReadBytes(F("msg.bin"));
    EXPECT_EQ(SsfEncode("PKCS7", 5, msg.data(), static_cast<int32_t>(msg.size()), &wrapped, &wrappedL), 0);
    a.input.assign(wrapped, wrapped + wrappedL);
    SsfDELSsfOctetstring(&wrapped, &wrappedL);
    a.pab = cert.empty() ? pab : kSsfNoCertificateCheck;
    a.pin = pin;
    if (!cert.empty()) a.chain = "X509v3", a.certs = ReadBytes(F(cert + ".der"));
    return RunVerify(a);
  }
  static Verified VerifyPkcs7(const Bytes& sig, const MemStore& store, const std::string& pin = "") {
    return VerifyPkcs7(sig, store.name(), pin);
  }

  // The one signer's result of a verification, which the call's result follows.
  static uint32_t SignerResultOf(const Verified& v) {
    EXPECT_EQ(v.signers.size(), 1u);
    if (v.signers.empty()) return 0xFFFFFFFFu;
    EXPECT_EQ(v.rc, v.signers[0].result == 0 ? SSF_API_OK : SSF_API_SIGNER_ERRORS);
    return v.signers[0].result;
  }

  // The signer result of a PKCS#7 signature by `signer` against a store trusting `trusted`.
  static uint32_t SignerResult(const std::string& signer, const std::vector<std::string>& trusted,
                               const std::string& certfile = "", const std::string& key = "leaf") {
    ImageStore store(Bundle(trusted));
    EXPECT_TRUE(store.ok());
    return SignerResultOf(VerifyPkcs7(CmsSign(signer, certfile, key), store));
  }

  // The signer result of a raw signature value over msg.bin with the
  // caller's certificate `cert`, checked against a store trusting
  // `trusted`, or against none when `trusted` is empty.
  static uint32_t RawResult(const std::string& format, const std::string& sig,
                            const std::string& cert, const std::vector<std::string>& trusted) {
    ImageStore store(Bundle(trusted));
    EXPECT_TRUE(trusted.empty() || store.ok());
    VerifyArgs a;
    a.format = format;
    a.digest = "SHA256";
    a.signature = ReadBytes(F(sig));
    a.input = ReadBytes(F("msg.bin"));
    a.pab = trusted.empty() ? kSsfNoCertificateCheck : store.name();
    a.chain = "X509v3";
    a.certs = ReadBytes(F(cert + ".der"));
    return SignerResultOf(RunVerify(a));
  }

  static TempDir* scratch_;
  static std::string material_;
  static bool ok_;
};
TempDir* Trust::scratch_ = nullptr;
std::string Trust::material_;
bool Trust::ok_ = false;

TEST_F(Trust, ExpiredAndNotYetValidCertificatesAnywhereOnThePathGiveTwenty) {
  const struct {
    const char *signer, *trusted, *certfile;
    int32_t result;
  } cases[] = {
      {"leaf_ok", "ca", "", SSF_API_OK},                     {"leaf_expired", "ca", "", SSF_API_CERT_EXPIRED},
      {"leaf_future", "ca", "", SSF_API_CERT_EXPIRED},       {"leaf_ok", "ca_expired", "", SSF_API_CERT_EXPIRED},
      {"leaf_ok", "ca_future", "", SSF_API_CERT_EXPIRED},    {"leaf_expired", "leaf_expired", "", SSF_API_CERT_EXPIRED},
      {"leaf_of_inter", "ca", "inter", SSF_API_OK},          {"leaf_of_inter", "ca", "inter_expired", SSF_API_CERT_EXPIRED},
      {"leaf_of_inter", "ca_expired", "inter", SSF_API_CERT_EXPIRED},
      // A trusted certificate that is not self-signed ends the path.
      {"leaf_of_inter", "inter", "", SSF_API_OK},
      // Not trusted outweighs out of period.
      {"leaf_of_inter", "ca", "", SSF_API_UNKNOWN_SIGNER},   {"leaf_ok", "other_ca", "", SSF_API_UNKNOWN_SIGNER},
      {"leaf_expired", "other_ca", "", SSF_API_UNKNOWN_SIGNER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.signer) + " " + c.trusted + " " + c.certfile);
    EXPECT_EQ(SignerResult(c.signer, {c.trusted}, c.certfile), U(c.result));
  }
}

TEST_F(Trust, ValidityTimesThatAreNotStrictDerNeverPass) {
  EXPECT_EQ(SignerResult("time_ok", {"ca"}), U(SSF_API_OK));
  for (const char* name : {"time_offset_past", "time_offset_future", "time_month13",
                           "time_11_digits", "time_no_seconds", "time_fraction", "time_feb30"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SignerResult(name, {"ca"}), U(SSF_API_UNKNOWN_SIGNER));
    EXPECT_EQ(SignerResult(name, {name}), U(SSF_API_UNKNOWN_SIGNER));
  }
}

TEST_F(Trust, SignerKeyUsageAndCaConstraintsAreEnforced) {
  EXPECT_EQ(SignerResult("leaf_ku_sign", {"ca"}), U(SSF_API_OK));
  EXPECT_EQ(SignerResult("leaf_ku_nonrep", {"ca"}), U(SSF_API_OK));
  // A TLS server certificate of the same CA may only encipher keys.
  EXPECT_EQ(SignerResult("leaf_ku_tls_server", {"ca"}), U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(SignerResult("leaf_ku_tls_server", {"leaf_ku_tls_server"}), U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(SignerResult("leaf_under_ca_no_certsign", {"ca_no_certsign"}),
            U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(SignerResult("leaf_under_ca_no_bc", {"ca_no_bc"}), U(SSF_API_UNKNOWN_SIGNER));
}

TEST_F(Trust, StrictProfileFindingsRefuseThePathUnlessTheyOnlyMissOptionalParts) {
  // openssl verify is the oracle for what each certificate is: with
  // -x509_strict it names the finding, without it the path passes (where
  // `plain` says so). Missing key identifiers, a CA without key usage and a
  // CA's basicConstraints not marked critical are tolerated; all else refuses.
  struct Case {
    const char* signer;
    const char* anchor;
    int finding;  // the X509_V_ERR_ code openssl reports in strict mode
    bool plain;
    int32_t result;
  } cases[] = {
      {"leaf_ok", "ca", 85, true, SSF_API_OK},  // no authority key identifier
      {"tol_ca_no_skid_leaf", "tol_ca_no_skid", 86, true, SSF_API_OK},
      {"tol_ca_no_ku_leaf", "tol_ca_no_ku", 92, true, SSF_API_OK},
      {"tol_ca_pathlen_no_ku_leaf", "tol_ca_pathlen_no_ku", 81, true, SSF_API_OK},
      {"tol_ca_bc_not_critical_leaf", "tol_ca_bc_not_critical", 89, true, SSF_API_OK},
      {"bad_pathlen_non_ca", "ca", 80, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_certsign_non_ca", "ca", 82, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_ca_empty_subject_leaf", "bad_ca_empty_subject", 83, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_empty_subject", "ca", 84, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_empty_subject_san_not_critical", "ca", 88, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_empty_san", "ca", 87, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_v1_with_extensions", "ca", 93, true, SSF_API_UNKNOWN_SIGNER},
      {"bad_sig_alg_inconsistent", "ca", 78, false, SSF_API_UNKNOWN_SIGNER},
      {"bad_akid_critical", "ca", 34, false, SSF_API_UNKNOWN_SIGNER},  // unhandled critical extension
      {"bad_skid_critical", "ca", 34, false, SSF_API_UNKNOWN_SIGNER},
      {"bad_ec_explicit", "ca", 94, false, SSF_API_UNKNOWN_SIGNER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signer);
    const std::string verify =
        "openssl verify -partial_chain -CAfile " + F(std::string(c.anchor) + ".pem") + " ";
    // openssl verify reports on standard error.
    const std::string strict = ShOut("{ " + verify + "-x509_strict " + F(std::string(c.signer) + ".pem") + " 2>&1; }");
    EXPECT_CONTAINS(strict, "error " + std::to_string(c.finding) + " at");
    bool plain = false;
    ShOut(verify + F(std::string(c.signer) + ".pem"), &plain);
    EXPECT_EQ(plain, c.plain);
    const bool ec = strncmp(c.signer, "bad_ec", 6) == 0;
    EXPECT_EQ(SignerResult(c.signer, {c.anchor}, "", ec ? c.signer : "leaf"), U(c.result));
  }
  // A named curve is no finding.
  EXPECT_EQ(SignerResult("tol_ec_named", {"ca"}, "", "tol_ec_named"), U(SSF_API_OK));
}

TEST_F(Trust, DegenerateKeysAreUntrustedBeforeTheirSignatureIsLookedAt) {
  // rsa_e_1.sig is the padded digest itself: a valid signature for e = 1
  // that needs no private key. Sound keys get it checked and refused (27).
  const std::map<std::string, int32_t> rsa = {
      {"rsa_e_1", SSF_API_UNKNOWN_SIGNER},        {"rsa_e_2", SSF_API_UNKNOWN_SIGNER},
      {"rsa_e_3", SSF_API_SIGNER_NOT_OK},         {"rsa_e_65537", SSF_API_SIGNER_NOT_OK},
      {"rsa_e_4294967295", SSF_API_SIGNER_NOT_OK}, {"rsa_e_4294967297", SSF_API_UNKNOWN_SIGNER},
      {"rsa_e_18446744073709551617", SSF_API_UNKNOWN_SIGNER},
      {"rsa_1024", SSF_API_SIGNER_NOT_OK},        {"rsa_1016", SSF_API_UNKNOWN_SIGNER},
  };
  for (const auto& [cert, result] : rsa) {
    SCOPED_TRACE(cert);
    EXPECT_EQ(RawResult("PKCS1-V1.5", "rsa_e_1.sig", cert, {"ca"}), U(result));
  }
  EXPECT_EQ(RawResult("PKCS1-V1.5", "rsa_e_1.sig", "rsa_e_1", {"rsa_e_1"}), U(SSF_API_UNKNOWN_SIGNER));
  // DSA with g = y = 1 verifies r = 1 for any message.
  EXPECT_EQ(RawResult("DSA", "dsa_g1.sig", "dsa_g1", {"ca"}), U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(RawResult("DSA", "dsa_g1.sig", "dsa_g1", {"dsa_g1"}), U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(RawResult("DSA", "dsa_g1.sig", "dsa_ok", {"ca"}), U(SSF_API_SIGNER_NOT_OK));
}

TEST_F(Trust, ASignedMessageFromADegenerateKeyProvesNothingWithOrWithoutKeyStore) {
  // rsa_e_65537 is leaf.key's modulus with its own exponent, rsa_e_1 the
  // same modulus with e = 1. Without signed attributes, the signature value
  // for rsa_e_1 is the padded digest of msg.bin itself (rsa_e_1.sig): a
  // forger takes a genuine message, swaps in that value and rsa_e_1's
  // serial number (837 and 301, DER INTEGERs of one length), and the
  // forgery carries rsa_e_1 like the genuine one does.
  const std::string out = W("noattr.p7");
  ASSERT_TRUE(Sh("openssl cms -sign -noattr -nocerts -binary -md sha256 -in " + F("msg.bin") +
                 " -signer " + F("rsa_e_65537.pem") + " -inkey " + F("leaf.key") + " -certfile " +
                 F("rsa_e_1.pem") + " -outform DER -out " + out));
  const Bytes genuine = ReadBytes(out);
  const Bytes em = ReadBytes(F("rsa_e_1.sig"));
  const Bytes serial_65537 = {0x02, 0x02, 0x03, 0x45}, serial_1 = {0x02, 0x02, 0x01, 0x2D};
  Bytes forged = genuine;
  auto sid = std::search(forged.begin(), forged.end(), serial_65537.begin(), serial_65537.end());
  ASSERT_NE(sid, forged.end());
  std::copy(serial_1.begin(), serial_1.end(), sid);
  ASSERT_GT(forged.size(), em.size());
  std::copy(em.begin(), em.end(), forged.end() - static_cast<std::ptrdiff_t>(em.size()));  // the value ends the message

  // Key store: the carried rsa_e_1 chains to the trusted CA, and is refused for its key.
  ImageStore ca(Bundle({"ca"})), both(Bundle({"ca", "rsa_e_65537"}));
  EXPECT_EQ(SignerResultOf(VerifyPkcs7(forged, ca)), U(SSF_API_UNKNOWN_SIGNER));
  EXPECT_EQ(SignerResultOf(VerifyPkcs7(genuine, both)), U(SSF_API_OK));
  // No key store, the caller's certificate: nothing but the key check stands in the way.
  EXPECT_EQ(SignerResultOf(VerifyPkcs7(genuine, "", "", "rsa_e_65537")), U(SSF_API_OK));
  EXPECT_EQ(SignerResultOf(VerifyPkcs7(forged, "", "", "rsa_e_1")), U(SSF_API_UNKNOWN_SIGNER));
  // The raw signature value with the caller's certificate or public key, no key store.
  for (const char* cert : {"rsa_e_1", "rsa_e_2", "rsa_e_4294967297", "rsa_1016", "dsa_g1"}) {
    SCOPED_TRACE(cert);
    const bool dsa = strcmp(cert, "dsa_g1") == 0;
    EXPECT_EQ(RawResult(dsa ? "DSA" : "PKCS1-V1.5", dsa ? "dsa_g1.sig" : "rsa_e_1.sig", cert, {}),
              U(SSF_API_UNKNOWN_SIGNER));
  }
}

TEST_F(Trust, TheOwnKeyStoresCaChainIsNoAnchorUnlessMarkedTrusted) {
  // What a CA hands out and operators load: key, certificate and the CA chain.
  const std::string p12 = W("own.p12");
  ASSERT_TRUE(ExportP12(F("leaf.key"), F("leaf_ok.pem"), kPin, p12, "-certfile " + F("ca.pem")));
  {
    ImageStore store(ReadBytes(p12));
    ASSERT_TRUE(store.ok());
    EXPECT_EQ(SignerResultOf(VerifyPkcs7(CmsSign("leaf_ok"), store, kPin)), U(SSF_API_OK));
    for (const char* other : {"leaf_sibling", "leaf_ku_tls_server"}) {
      SCOPED_TRACE(other);
      EXPECT_EQ(SignerResultOf(VerifyPkcs7(CmsSign(other), store, kPin)), U(SSF_API_UNKNOWN_SIGNER));
    }
    // The chain still builds paths: the own certificate trusted through it.
    EXPECT_EQ(SignerResultOf(VerifyPkcs7(CmsSign("leaf_of_inter", "inter"), store, kPin)),
              U(SSF_API_UNKNOWN_SIGNER));
  }
  // Java's key tool marks an imported CA as a trusted certificate entry.
  ASSERT_TRUE(Sh("keytool -importcert -noprompt -alias trustca -file " + F("ca.pem") +
                 " -keystore " + p12 + " -storetype PKCS12 -storepass " + kPin));
  ImageStore marked(ReadBytes(p12));
  ASSERT_TRUE(marked.ok());
  EXPECT_EQ(VerifyPkcs7(CmsSign("leaf_sibling"), marked, kPin).rc, SSF_API_OK);
  EXPECT_EQ(VerifyPkcs7(CmsSign("leaf_ok"), marked, kPin).rc, SSF_API_OK);
  EXPECT_EQ(SignerResultOf(VerifyPkcs7(CmsSign("leaf_ku_tls_server"), marked, kPin)), U(SSF_API_UNKNOWN_SIGNER));
  // Without a private key every certificate of an image is trusted, as before.
  const std::string certs_only = W("certs.p12");
  ASSERT_TRUE(ExportP12("", F("ca.pem"), kPin, certs_only));
  ImageStore plain(ReadBytes(certs_only));
  EXPECT_EQ(VerifyPkcs7(CmsSign("leaf_sibling"), plain, kPin).rc, SSF_API_OK);
}

TEST_F(Trust, ACertificatePutIntoAKeyStoreWithAPrivateKeyIsTrustedAfterReading) {
  const std::string p12 = W("put.p12");
  ASSERT_TRUE(ExportP12(F("leaf.key"), F("leaf_ok.pem"), kPin, p12, "-certfile " + F("ca.pem")));
  SsfProfileHandle profile = nullptr;
  ASSERT_EQ(SsfOpenProfile(p12.data(), static_cast<SsfCharlen>(p12.size()), kPin,
                           static_cast<SsfCharlen>(strlen(kPin)), nullptr, 0, nullptr, 0, &profile),
            SSF_API_OK);
  SsfCertHandle ca = Decode(ReadBytes(F("ca.der")));
  ASSERT_NE(ca, nullptr);
  EXPECT_EQ(SsfPutCertificate(profile, ca), SSF_API_OK);
  EXPECT_EQ(SsfCloseProfile(&profile), SSF_API_OK);
  SsfFreeCertificate(&ca);
  // The CA the file held as chain is now marked trusted in it.
  ImageStore store(ReadBytes(p12));
  EXPECT_EQ(VerifyPkcs7(CmsSign("leaf_sibling"), store, kPin).rc, SSF_API_OK);
}

TEST_F(Trust, AKeyStoreFileReplacedInPlaceWithTheSameSizeAndTimeIsReadAgain) {
  // Two bundles of one size: a CA each, padded with blank lines.
  std::string trusted = ReadFile(F("ca.pem")), other = ReadFile(F("other_ca.pem"));
  const size_t size = std::max(trusted.size(), other.size()) + 1;
  trusted.append(size - trusted.size(), '\n');
  other.append(size - other.size(), '\n');
  const std::string path = W("named.pem");
  auto write_in_place = [&](const std::string& text) {
    FILE* f = fopen(path.c_str(), "r+b");
    if (f == nullptr) f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(text.data(), 1, text.size(), f), text.size());
    ASSERT_EQ(fclose(f), 0);
    const struct timespec when[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, 0), 0);
  };
  write_in_place(trusted);
  const Bytes sig = CmsSign("leaf_ok");
  auto verify = [&] { return VerifyPkcs7(sig, path); };
  EXPECT_EQ(verify().rc, SSF_API_OK);
  struct stat before, after;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  write_in_place(other);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  ASSERT_EQ(before.st_ino, after.st_ino);
  ASSERT_EQ(before.st_size, after.st_size);
  ASSERT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(SignerResultOf(verify()), U(SSF_API_UNKNOWN_SIGNER));
  write_in_place(trusted);
  EXPECT_EQ(verify().rc, SSF_API_OK);
}

TEST_F(Trust, AWrongPinStaysWrongAndTheRightOneStillOpens) {
  const std::string p12 = W("pin.p12");
  ASSERT_TRUE(ExportP12("", F("ca.pem"), kPin, p12));
  ImageStore store(ReadBytes(p12));
  const Bytes sig = CmsSign("leaf_ok");
  EXPECT_EQ(VerifyPkcs7(sig, store, "not-the-pin").rc, SSF_API_INVALID_PASSWORD);
  EXPECT_EQ(VerifyPkcs7(sig, store, "not-the-pin").rc, SSF_API_INVALID_PASSWORD);
  EXPECT_EQ(VerifyPkcs7(sig, store, kPin).rc, SSF_API_OK);
  EXPECT_EQ(VerifyPkcs7(sig, store, "not-the-pin").rc, SSF_API_INVALID_PASSWORD);
}

TEST_F(Trust, KeyStoresWithMoreIterationsThanAnyToolWritesAreRefused) {
  const std::string p12 = W("slow.p12");
  ASSERT_TRUE(ExportP12("", F("ca.pem"), kPin, p12, "-iter 1000001 -nomaciter"));
  ImageStore store(ReadBytes(p12));
  ASSERT_TRUE(store.ok());
  EXPECT_EQ(VerifyPkcs7(CmsSign("leaf_ok"), store, kPin).rc, SSF_API_UNKNOWN_PROFILE);
}

}  // namespace

namespace {

// Key store contents built afresh (with an empty verdict memo) from certificates of the material.
struct Contents {
  qorcr::PseRef ref;
  std::vector<qorcr::SslPtr<X509>> held;  // kept alive for the helpers below
  X509* Cert(const std::string& path) {
    const Bytes der = ReadBytes(path);
    qorcr::SslPtr<X509> x;
    EXPECT_EQ(qorcr::CertDecode(der.data(), static_cast<int32_t>(der.size()), &x), 0) << path;
    held.push_back(std::move(x));
    return held.back().get();
  }
  explicit Contents(const std::vector<std::string>& trusted) {
    std::vector<qorcr::SslPtr<X509>> certs;
    for (const std::string& path : trusted) certs.push_back(qorcr::X509Ref(Cert(path)));
    EXPECT_TRUE(qorcr::PseContents::Build(nullptr, std::move(certs), {}, &ref));
  }
};

// `n` copies of `x` as helpers (no copy: none).
qorcr::X509Stack Helpers(X509* x, int n) {
  qorcr::X509Stack s(sk_X509_new_null());
  for (int i = 0; i < n; ++i) {
    X509_up_ref(x);
    sk_X509_push(s.get(), x);
  }
  return s;
}

std::string Said(const qorcr::TrustVerdict& v) {
  return std::to_string(static_cast<int>(v.kind)) + " " + v.what;
}

}  // namespace

TEST_F(Trust, AKeptVerdictHoldsOnlyForTheSameHelpersAndUntilAValidityTimeIsCrossed) {
  const time_t now = time(nullptr);
  const time_t day = 24 * 3600;
  // Two CAs of one name and key, neither valid now: the path and the verdict
  // change with the time asked about.
  Contents store({F("ca_expired.der"), F("ca_future.der")});
  X509* leaf = store.Cert(F("leaf_ok.der"));
  const time_t times[] = {now + 2 * day, now, now + 2 * day, now + 366 * day, now + 2 * day,
                          now - 2 * day, now + 3 * day};
  for (time_t at : times) {
    SCOPED_TRACE((at - now) / day);
    Contents fresh({F("ca_expired.der"), F("ca_future.der")});
    EXPECT_EQ(Said(store.ref->CheckTrust(leaf, nullptr, at)),
              Said(fresh.ref->CheckTrust(fresh.Cert(F("leaf_ok.der")), nullptr, at)));
  }
  EXPECT_EQ(store.ref->CheckTrust(leaf, nullptr, now + 2 * day).kind,
            qorcr::TrustVerdict::Kind::kTrusted);
  EXPECT_EQ(store.ref->CheckTrust(leaf, nullptr, now).kind,
            qorcr::TrustVerdict::Kind::kOutOfPeriod);

  // A signer trusted through a carried intermediate is not trusted without it.
  Contents ca({F("ca.der")});
  X509* below = ca.Cert(F("leaf_of_inter.der"));
  X509* inter = ca.Cert(F("inter.der"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(ca.ref->CheckTrust(below, Helpers(inter, 1).get(), now).kind,
              qorcr::TrustVerdict::Kind::kTrusted);
    EXPECT_EQ(ca.ref->CheckTrust(below, Helpers(inter, 0).get(), now).kind,
              qorcr::TrustVerdict::Kind::kUntrusted);
    EXPECT_EQ(ca.ref->CheckTrust(below, nullptr, now).kind, qorcr::TrustVerdict::Kind::kUntrusted);
  }
}

TEST_F(Trust, ThreadsSharingKeptVerdictsGetWhatAFreshCheckSays) {
  const time_t now = time(nullptr);
  const time_t day = 24 * 3600;
  const time_t times[] = {now, now + 366 * day, now - 2 * day};
  Contents store({F("ca.der")});
  X509* below = store.Cert(F("leaf_of_inter.der"));
  X509* inter = store.Cert(F("inter.der"));
  // What a fresh check says, with and without the intermediate, at each time.
  std::string expected[2][3];
  for (int with = 0; with < 2; ++with)
    for (int t = 0; t < 3; ++t) {
      Contents fresh({F("ca.der")});
      expected[with][t] = Said(fresh.ref->CheckTrust(
          fresh.Cert(F("leaf_of_inter.der")), Helpers(fresh.Cert(F("inter.der")), with).get(),
          times[t]));
    }
  ASSERT_EQ(expected[1][0], Said(qorcr::TrustVerdict{qorcr::TrustVerdict::Kind::kTrusted}));
  // More helper sequences than the memo keeps: it stays bounded and right.
  const int kSequences = static_cast<int>(qorcr::TrustMemo::kMaxEntries) + 44;
  EXPECT_EQ(FailuresOnThreads(4, 150, [&](int n, int i) {
              const int copies = (i * 7 + n * 13) % kSequences;
              const int t = (i + n) % 3;
              return Said(store.ref->CheckTrust(below, Helpers(inter, copies).get(), times[t])) ==
                     expected[copies > 0][t];
            }),
            0);
}
