// Memory key stores, profiles and certificate import, with key stores and
// certificates made by the openssl tool.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <thread>

#include "crypto/cryptotest.h"
#include "crypto/pse/pse.h"

using namespace qortest;

namespace {

constexpr int32_t kMemPseBufferTooSmall = 4866;
constexpr int32_t kMemPseMissingName = 1285;

// A fresh self-signed P-256 certificate, its PKCS#12 with PIN "1234" and
// a PEM bundle (PKCS#8-encrypted key with the same PIN plus certificate).
struct KeyMaterial {
  TempDir dir;
  bool ok = false;
  KeyMaterial() {
    ok = MakeSelfSigned(dir, "own", "Own Signer") &&
         ExportP12(dir, "own", "1234") &&
         Sh("openssl pkcs8 -topk8 -in " + dir.file("own.key") + " -passout pass:1234 -out " +
            dir.file("own.enc.key"));
    bundle = ToBytes(ReadFile(dir.file("own.enc.key")) + ReadFile(dir.file("own.pem")));
  }
  Bytes bundle;
  Bytes p12() const { return ReadBytes(dir.file("own.p12")); }
  Bytes der() const { return ReadBytes(dir.file("own.der")); }
};

std::string NewStore() {
  char* name = nullptr;
  EXPECT_EQ(qor_create_memory_PSE(&name), 0);
  return name ? std::string(name) : std::string();
}

int32_t Load(const std::string& name, const Bytes& b) {
  return qor_load_memory_PSE(name.c_str(), b.data(), static_cast<int32_t>(b.size()));
}

Bytes Save(const std::string& name, int32_t* rc) {
  int32_t size = 0;
  *rc = qor_save_memory_PSE(name.c_str(), nullptr, &size);
  if (*rc != kMemPseBufferTooSmall) return {};
  Bytes out(static_cast<size_t>(size));
  int32_t small = size - 1;
  EXPECT_EQ(qor_save_memory_PSE(name.c_str(), out.data(), &small), kMemPseBufferTooSmall);
  EXPECT_EQ(small, size);
  *rc = qor_save_memory_PSE(name.c_str(), out.data(), &size);
  out.resize(static_cast<size_t>(size));
  return out;
}

SsfCharlen Len(const std::string& s) { return static_cast<SsfCharlen>(s.size()); }
int32_t CreateProfile(const std::string& name, const Bytes& data) {
  return SsfCreateProfile(name.data(), Len(name), nullptr, 0, data.empty() ? nullptr : data.data(),
                          static_cast<SsfOctetlen>(data.size()));
}
int32_t OpenProfile(const std::string& name, SsfProfileHandle* h) {
  return SsfOpenProfile(name.data(), Len(name), nullptr, 0, nullptr, 0, nullptr, 0, h);
}
// The thread's error code after a call that gave `rc`.
int32_t LastErrorCode(int32_t rc) {
  int32_t code = -1;
  SsfOctetstring text = nullptr, detail = nullptr;
  SsfOctetlen textL = 0, detailL = 0;
  EXPECT_EQ(SsfSecTKLastErrorInfo(rc, &code, &text, &textL, &detail, &detailL), 0);
  SsfDELSsfOctetstring(&text, &textL);
  SsfDELSsfOctetstring(&detail, &detailL);
  return code;
}

// The opened contents of a store, or null with the result in *rc.
qorcr::PseRef Open(const std::string& name, const std::string& pin, int32_t* rc) {
  qorcr::PseRef ref;
  *rc = qorcr::PseOpen(name.data(), Len(name), pin.data(), Len(pin), "test", &ref);
  return ref;
}

}  // namespace

TEST(MemoryPse, GeneratedNamesArePrefixedAndUnique) {
  std::string a = NewStore(), b = NewStore();
  EXPECT_EQ(a.substr(0, 10), "#_MemPSE_#");
  EXPECT_EQ(a.size(), 34u);
  for (char c : a) EXPECT_TRUE(c > 0x20 && c < 0x7f) << a;
  EXPECT_NE(a, b);
  EXPECT_EQ(qor_delete_memory_PSE(a.c_str()), 0);
  EXPECT_EQ(qor_delete_memory_PSE(b.c_str()), 0);
  EXPECT_EQ(qor_delete_memory_PSE(nullptr), kMemPseMissingName);
  EXPECT_EQ(qor_load_memory_PSE(nullptr, nullptr, 0), kMemPseMissingName);
  int32_t size = 0;
  EXPECT_EQ(qor_save_memory_PSE(nullptr, nullptr, &size), kMemPseMissingName);
  EXPECT_EQ(qor_save_memory_PSE(a.c_str(), nullptr, nullptr), kMemPseMissingName);
}

TEST(MemoryPse, OpensslPkcs12AndPemBundleLoadWithTheirPin) {
  KeyMaterial km;
  ASSERT_TRUE(km.ok);
  for (const Bytes& image : {km.p12(), km.bundle}) {
    SCOPED_TRACE(image.size());
    std::string store = NewStore();
    ASSERT_EQ(Load(store, image), 0);
    int32_t rc = 0;
    qorcr::PseRef ref = Open(store, "1234", &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_NE(ref->private_key(), nullptr);
    ASSERT_NE(ref->own_cert(), nullptr);
    EXPECT_EQ(ref->certs().size(), 1u);
    // Wrong PIN, and no PIN ("!" counts as none), are refused as a wrong PIN.
    EXPECT_EQ(Open(store, "4321", &rc), nullptr);
    EXPECT_EQ(rc, 25);
    EXPECT_EQ(Open(store, "!1234", &rc), nullptr);
    EXPECT_EQ(rc, 25);
    EXPECT_EQ(qor_delete_memory_PSE(store.c_str()), 0);
  }
}

TEST(MemoryPse, SavedImageLoadsBackIntoAnEqualStore) {
  KeyMaterial km;
  ASSERT_TRUE(km.ok);
  std::string first = NewStore(), second = NewStore();
  ASSERT_EQ(Load(first, km.p12()), 0);
  int32_t rc = 0;
  Bytes image = Save(first, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(Load(second, image), 0);
  qorcr::PseRef a = Open(first, "1234", &rc), b = Open(second, "1234", &rc);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(a->certs().size(), b->certs().size());
  EXPECT_EQ(X509_cmp(a->own_cert(), b->own_cert()), 0);
  EXPECT_EQ(EVP_PKEY_eq(a->private_key(), b->private_key()), 1);
  // The saved image is a PKCS#12 the openssl tool reads with the same PIN.
  const std::string path = km.dir.file("saved.p12");
  WriteBytes(path, image);
  EXPECT_TRUE(Sh("openssl pkcs12 -in " + path + " -passin pass:1234 -nokeys"));
  // A null image empties the store.
  EXPECT_EQ(qor_load_memory_PSE(second.c_str(), nullptr, 0), 0);
  qorcr::PseRef empty = Open(second, "", &rc);
  if (empty) {
    EXPECT_TRUE(empty->certs().empty());
  }
  qor_delete_memory_PSE(first.c_str());
  qor_delete_memory_PSE(second.c_str());
}

TEST(MemoryPse, CorruptImagesAreRefusedWhenOpened) {
  KeyMaterial km;
  ASSERT_TRUE(km.ok);
  Bytes image = km.p12();
  std::string store = NewStore();
  for (size_t cut : {size_t{1}, image.size() / 2, image.size() - 1}) {
    Bytes part(image.begin(), image.begin() + static_cast<long>(cut));
    int32_t loaded = Load(store, part);
    if (loaded != 0) continue;  // refusing the bytes early is as good
    int32_t rc = 0;
    EXPECT_EQ(Open(store, "1234", &rc), nullptr) << cut;
    EXPECT_TRUE(rc == 23 || rc == 25) << rc;
  }
  qor_delete_memory_PSE(store.c_str());
}

TEST(Profiles, MemoryProfileMapsToItsStoreAndTrustsPutCertificates) {
  KeyMaterial km;
  ASSERT_TRUE(km.ok);
  Bytes data = ToBytes("mempse:");
  Bytes p12 = km.p12();
  data.insert(data.end(), p12.begin(), p12.end());
  const std::string name = "TESTPROFILE";
  ASSERT_EQ(CreateProfile(name, data), 0);
  // A second registration under the same name is refused and changes nothing.
  EXPECT_EQ(CreateProfile(name, data), -1);
  int32_t rc = 0;
  qorcr::PseRef ref = Open(name, "1234", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(ref->certs().size(), 1u);

  // A certificate-only store: create, open, put, close, as key loading does.
  TempDir dir;
  ASSERT_TRUE(MakeSelfSigned(dir, "peer", "Peer"));
  SsfCertHandle cert = Decode(ReadBytes(dir.file("peer.der")));
  ASSERT_NE(cert, nullptr);
  std::string store = NewStore();
  ASSERT_EQ(CreateProfile(store, {}), 0);
  SsfProfileHandle profile = nullptr;
  ASSERT_EQ(OpenProfile(store, &profile), 0);
  EXPECT_EQ(SsfPutCertificate(profile, cert), 0);
  EXPECT_EQ(SsfPutCertificate(nullptr, cert), 0);
  EXPECT_EQ(SsfCloseProfile(&profile), 0);
  EXPECT_EQ(profile, nullptr);
  EXPECT_EQ(SsfCloseProfile(&profile), 0);
  ref = Open(store, "", &rc);
  ASSERT_NE(ref, nullptr);
  ASSERT_EQ(ref->certs().size(), 1u);
  EXPECT_EQ(ref->CheckTrust(qorcr::CertX509(cert), nullptr, time(nullptr)).kind,
            qorcr::TrustVerdict::Kind::kTrusted);
  EXPECT_EQ(ref->private_key(), nullptr);
  // A store without PIN opens under a PIN too: a key store PIN kept from an
  // earlier load must not lock out a loaded certificate.
  EXPECT_NE(Open(store, "1234", &rc), nullptr);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(SsfFreeCertificate(&cert), 0);
  EXPECT_EQ(cert, nullptr);

  EXPECT_EQ(SsfRemoveProfile(name.data(), Len(name)), 0);
  EXPECT_EQ(Open(name, "1234", &rc), nullptr);
  EXPECT_EQ(rc, 23);
  std::string missing = dir.file("no/such/store.p12");
  EXPECT_EQ(SsfRemoveProfile(missing.data(), Len(missing)), 23);
  qor_delete_memory_PSE(store.c_str());
}

TEST(DecodeCert, AcceptsDerBase64AndPemAndRejectsTheRest) {
  KeyMaterial km;
  ASSERT_TRUE(km.ok);
  Bytes der = km.der();
  std::string pem = ReadFile(km.dir.file("own.pem"));
  std::string b64 = ShOut("openssl base64 -A -in " + km.dir.file("own.der"));
  std::string b64lines = ShOut("openssl base64 -in " + km.dir.file("own.der"));
  Bytes trailing = der;
  trailing.insert(trailing.end(), {0xde, 0xad, 0xbe, 0xef});
  for (const Bytes& good :
       {der, trailing, ToBytes(b64), ToBytes(b64lines), ToBytes(pem),
        ToBytes(" \t\r\nprefix text\n" + pem + "suffix\n")}) {
    int32_t rc = -1;
    SsfCertHandle h = Decode(good, &rc);
    EXPECT_EQ(rc, 0) << std::string(good.begin(), good.begin() + 12);
    SsfOctetstring out = nullptr;
    SsfOctetlen outL = 0;
    EXPECT_EQ(SsfCerttoASN1(h, &out, &outL), 0);
    EXPECT_EQ(Bytes(out, out + outL), der);
    SsfDELSsfOctetstring(&out, &outL);
    SsfFreeCertificate(&h);
  }
  struct Bad {
    Bytes data;
    int32_t rc;
  };
  // Broken DER falls through to the text path, where it is not Base64.
  Bytes truncated(der.begin(), der.end() - 20);
  // Found by fuzzing: the crypto library reads a constructed end-of-contents
  // as the signature algorithm's parameters and writes it back as bytes it
  // then refuses. Not DER, so not a certificate.
  const Bytes not_der = ReadBytes(QOR_TEST_DATA_DIR "/cert/constructed-eoc-params.der");
  for (const Bad& bad : {Bad{Bytes(9, 'M'), 3}, Bad{ToBytes("          \n\t   "), 3},
                         Bad{ToBytes("MI****not base64****"), 262},
                         Bad{ToBytes("MIIBdHRlc3RkYXRhbm90YWNlcnQ="), 261}, Bad{truncated, 262},
                         Bad{not_der, 262}}) {
    int32_t rc = 0;
    EXPECT_EQ(Decode(bad.data, &rc), nullptr);
    EXPECT_EQ(rc, bad.rc) << std::string(bad.data.begin(), bad.data.end());
  }
  EXPECT_EQ(qorzelb_decode_cert(der.data(), static_cast<int32_t>(der.size()), nullptr), 17);
  EXPECT_EQ(qorzelb_decode_cert(nullptr, 100, nullptr), 17);
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  EXPECT_EQ(SsfCerttoASN1(nullptr, &out, &outL), 11);
}

TEST(ErrorInfo, AnErrorInOneThreadIsNotSeenByAnother) {
  // A failed open leaves its detail on this thread's error stack only.
  SsfProfileHandle profile = nullptr;
  const int32_t rc = OpenProfile("/nonexistent/store.p12", &profile);
  EXPECT_EQ(rc, 23);
  EXPECT_NE(LastErrorCode(rc), 0);
  int32_t other_code = -1;
  std::thread([&] { other_code = LastErrorCode(rc); }).join();
  EXPECT_EQ(other_code, 0);
}
