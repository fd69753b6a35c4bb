// SsfVerifyEx on a detached PKCS7 RSA-2048/SHA-256 signature beside the
// bare OpenSSL operations: CMS_verify from DER with an X509_STORE holding
// the issuer, and the raw RSA-2048 verify that bounds both.
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "bench_pki.h"
#include "crypto/ssf/ssfapi.h"

namespace {

using Der = benchpki::Bytes;

EVP_PKEY* rsa_key() { return EVP_RSA_gen(2048); }

X509* make_cert(EVP_PKEY* key, const char* cn, EVP_PKEY* issuer_key, X509* issuer, long serial) {
  benchpki::CertSpec spec{cn};
  spec.serial = serial;
  spec.constraints = true;
  return benchpki::NewCert(key, issuer_key, issuer, spec);
}

char* store_of(X509* x) {
  BIO* pem = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(pem, x);
  char* p = nullptr;
  const long len = BIO_get_mem_data(pem, &p);
  char* name = nullptr;
  qor_create_memory_PSE(&name);
  qor_load_memory_PSE(name, reinterpret_cast<unsigned char*>(p), static_cast<int32_t>(len));
  BIO_free(pem);
  return name;
}

// One issuer, one signer, one detached signature over a ticket-sized content.
struct Fixture {
  EVP_PKEY* ca_key = rsa_key();
  X509* ca = make_cert(ca_key, "Bench CA", ca_key, nullptr, 1);
  EVP_PKEY* key = rsa_key();
  X509* cert = make_cert(key, "Bench Signer", ca_key, ca, 2);
  std::string content = std::string(300, 'x');
  Der signature, raw_signature, input;
  X509_STORE* store = X509_STORE_new();
  char* pse = nullptr;         // trusts the issuer only
  char* signer_pse = nullptr;  // trusts the signer's own certificate, as a loaded ticket key does

  Fixture() {
    BIO* in = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    CMS_ContentInfo* cms = CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_DETACHED);
    signature = benchpki::DerOf([&](unsigned char** p) { return i2d_CMS_ContentInfo(cms, p); });
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    size_t n = static_cast<size_t>(EVP_PKEY_get_size(key));
    raw_signature.resize(n);
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_DigestSignInit(md, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(md, raw_signature.data(), &n,
                   reinterpret_cast<const unsigned char*>(content.data()), content.size());
    EVP_MD_CTX_free(md);
    X509_STORE_add_cert(store, ca);
    pse = store_of(ca);
    signer_pse = store_of(cert);
    SsfOctetstring enc = nullptr;
    SsfOctetlen encL = 0;
    SsfEncode("PKCS7", 5, reinterpret_cast<const unsigned char*>(content.data()),
              static_cast<int32_t>(content.size()), &enc, &encL);
    input.assign(enc, enc + encL);
    SsfDELSsfOctetstring(&enc, &encL);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void verify_pkcs7(benchmark::State& state, const char* pse) {
  Fixture& f = fixture();
  const int32_t pseL = static_cast<int32_t>(strlen(pse));
  for (auto _ : state) {
    SigRcpSsfInformationList list = nullptr;
    const int32_t rc = SsfVerifyEx(
        "PKCS7", 5, "SHA256", 6, 1, f.signature.data(), static_cast<int32_t>(f.signature.size()),
        f.input.data(), static_cast<int32_t>(f.input.size()), pse, pseL, nullptr, 0, nullptr, 0,
        nullptr, 0, nullptr, 0, nullptr, 0, &list, nullptr, nullptr);
    if (rc != 0) state.SkipWithError("SsfVerifyEx failed");
    SsfDELSigRcpSsfInfoList(&list);
  }
}

// The key store holds the signer's certificate (a loaded ticket key).
void BM_SsfVerifyEx_Pkcs7Detached_Rsa2048_SignerTrusted(benchmark::State& state) {
  verify_pkcs7(state, fixture().signer_pse);
}
BENCHMARK(BM_SsfVerifyEx_Pkcs7Detached_Rsa2048_SignerTrusted);

// The key store holds only the issuer: the carried certificate is decoded.
void BM_SsfVerifyEx_Pkcs7Detached_Rsa2048_IssuerTrusted(benchmark::State& state) {
  verify_pkcs7(state, fixture().pse);
}
BENCHMARK(BM_SsfVerifyEx_Pkcs7Detached_Rsa2048_IssuerTrusted);

void BM_OpenSsl_CMS_verify_Rsa2048(benchmark::State& state) {
  Fixture& f = fixture();
  benchpki::CmsVerifyLoop(state, f.signature, f.content.data(), f.content.size(), f.store);
}
BENCHMARK(BM_OpenSsl_CMS_verify_Rsa2048);

void BM_SsfVerifyEx_Pkcs1_Rsa2048(benchmark::State& state) {
  Fixture& f = fixture();
  const Der spki = benchpki::DerOf([&](unsigned char** p) { return i2d_PUBKEY(f.key, p); });
  for (auto _ : state) {
    SigRcpSsfInformationList list = nullptr;
    const int32_t rc =
        SsfVerifyEx("PKCS1-V1.5", 10, "SHA256", 6, 0, f.raw_signature.data(),
                    static_cast<int32_t>(f.raw_signature.size()),
                    reinterpret_cast<const unsigned char*>(f.content.data()),
                    static_cast<int32_t>(f.content.size()), "<no_certificate_check>", 22, nullptr,
                    0, nullptr, 0, nullptr, 0, "RAWPUBKEY", 9, spki.data(),
                    static_cast<int32_t>(spki.size()), &list, nullptr, nullptr);
    if (rc != 0) state.SkipWithError("SsfVerifyEx failed");
    SsfDELSigRcpSsfInfoList(&list);
  }
}
BENCHMARK(BM_SsfVerifyEx_Pkcs1_Rsa2048);

void BM_OpenSsl_RsaVerify_Rsa2048(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    const int ok = EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, f.key) == 1 &&
                   EVP_DigestVerify(md, f.raw_signature.data(), f.raw_signature.size(),
                                    reinterpret_cast<const unsigned char*>(f.content.data()),
                                    f.content.size()) == 1;
    if (!ok) state.SkipWithError("RSA verify failed");
    EVP_MD_CTX_free(md);
  }
}
BENCHMARK(BM_OpenSsl_RsaVerify_Rsa2048);

}  // namespace
