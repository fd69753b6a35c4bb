// Certificates and DER for the benchmarks' fixtures, made with OpenSSL the
// way an issuing system makes them.
#pragma once

#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <vector>

namespace benchpki {

using Bytes = std::vector<unsigned char>;

// What an i2d_ call passed to `encode` writes, as bytes.
template <typename F>
Bytes DerOf(F encode) {
  unsigned char* p = nullptr;
  const int n = encode(&p);
  Bytes d(p, p + (n > 0 ? n : 0));
  OPENSSL_free(p);
  return d;
}

inline Bytes DerOf(X509* x) {
  return DerOf([&](unsigned char** p) { return i2d_X509(x, p); });
}

struct CertSpec {
  const char* cn;
  long days = 365;                  // valid from an hour ago for this many days
  long serial = 0;                  // 0 leaves the serial number unset
  const EVP_MD* digest = EVP_sha256();  // null for keys that sign without one (Ed25519)
  bool constraints = false;         // critical basicConstraints, CA only when self-signed
};

// A version 3 certificate for `key` signed by `issuer_key`: issued by
// `issuer`, or self-signed when `issuer` is null.
inline X509* NewCert(EVP_PKEY* key, EVP_PKEY* issuer_key, X509* issuer, const CertSpec& spec) {
  X509* x = X509_new();
  X509_set_version(x, 2);
  if (spec.serial != 0) ASN1_INTEGER_set(X509_get_serialNumber(x), spec.serial);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * spec.days);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(spec.cn),
                             -1, -1, 0);
  X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(x, key);
  if (spec.constraints) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : x, x, nullptr, nullptr, 0);
    X509_EXTENSION* bc = X509V3_EXT_conf_nid(nullptr, &ctx, NID_basic_constraints,
                                             issuer ? "critical,CA:FALSE" : "critical,CA:TRUE");
    X509_add_ext(x, bc, -1);
    X509_EXTENSION_free(bc);
  }
  X509_sign(x, issuer_key, spec.digest);
  return x;
}

// The bare OpenSSL check of a detached CMS signature over the `n` bytes at
// `content`: DER parsing and CMS_verify against `store`, every iteration.
inline void CmsVerifyLoop(benchmark::State& state, const Bytes& signature, const void* content, size_t n,
                          X509_STORE* store) {
  for (auto _ : state) {
    BIO* der = BIO_new_mem_buf(signature.data(), static_cast<int>(signature.size()));
    BIO* in = BIO_new_mem_buf(content, static_cast<int>(n));
    CMS_ContentInfo* cms = d2i_CMS_bio(der, nullptr);
    if (CMS_verify(cms, nullptr, store, in, nullptr, CMS_BINARY | CMS_DETACHED) != 1)
      state.SkipWithError("CMS_verify failed");
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    BIO_free(der);
  }
}

}  // namespace benchpki
