// TavriEvalJWToken beside the bare OpenSSL operation it is bounded by, on
// the same tokens: HS256 against HMAC over the signing input (one-shot, and
// with an EVP_MAC context keyed once and re-initialised per call), RS256 (with
// a certificate or a public key as the key) against EVP_DigestVerify with
// a ready key.
#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/hmac.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "bench_pki.h"
#include "jwt_bench_util.h"
#include "qorjwt.h"

namespace {

using jwtbench::Bytes;
using jwtbench::b64url;
using jwtbench::kBody;

const unsigned char kSecret[] = "a 32-byte secret for HS256 bench";

struct Fixture {
  EVP_PKEY* key = EVP_RSA_gen(2048);
  std::string hs_input = b64url(R"({"alg":"HS256","typ":"JWT"})") + "." + b64url(kBody);
  std::string rs_input = b64url(R"({"alg":"RS256","typ":"JWT"})") + "." + b64url(kBody);
  Bytes hs_mac, rs_sig, cert, spki;
  std::string hs_token, rs_token;

  Fixture() {
    TavriInitialize(nullptr);
    unsigned int n = 0;
    hs_mac.resize(EVP_MAX_MD_SIZE);
    HMAC(EVP_sha256(), kSecret, 32, reinterpret_cast<const unsigned char*>(hs_input.data()), hs_input.size(),
         hs_mac.data(), &n);
    hs_mac.resize(n);
    hs_token = hs_input + "." + b64url(hs_mac.data(), n);
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    size_t sig_len = 0;
    EVP_DigestSignInit(md, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(md, nullptr, &sig_len, reinterpret_cast<const unsigned char*>(rs_input.data()), rs_input.size());
    rs_sig.resize(sig_len);
    EVP_DigestSign(md, rs_sig.data(), &sig_len, reinterpret_cast<const unsigned char*>(rs_input.data()),
                   rs_input.size());
    EVP_MD_CTX_free(md);
    rs_token = rs_input + "." + b64url(rs_sig.data(), rs_sig.size());
    benchpki::CertSpec spec{"jwt bench"};
    X509* x = benchpki::NewCert(key, key, nullptr, spec);
    cert = benchpki::DerOf(x);
    spki = benchpki::DerOf([&](unsigned char** p) { return i2d_PUBKEY(key, p); });
    X509_free(x);
  }
};

Fixture& fx() {
  static Fixture f;
  return f;
}

void BM_Hs256_OpenSslHmac(benchmark::State& state) {
  Fixture& f = fx();
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  for (auto _ : state) {
    HMAC(EVP_sha256(), kSecret, 32, reinterpret_cast<const unsigned char*>(f.hs_input.data()), f.hs_input.size(),
         mac, &n);
    benchmark::DoNotOptimize(CRYPTO_memcmp(mac, f.hs_mac.data(), n));
  }
}
BENCHMARK(BM_Hs256_OpenSslHmac);

// The floor for a key that stays loaded: the MAC context is keyed once,
// each call only re-initialises it.
void BM_Hs256_OpenSslMacKeyedOnce(benchmark::State& state) {
  Fixture& f = fx();
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  if (EVP_MAC_init(ctx, kSecret, 32, params) != 1) state.SkipWithError("MAC does not key");
  unsigned char out[EVP_MAX_MD_SIZE];
  for (auto _ : state) {
    size_t n = 0;
    if (EVP_MAC_init(ctx, nullptr, 0, nullptr) != 1 ||
        EVP_MAC_update(ctx, reinterpret_cast<const unsigned char*>(f.hs_input.data()), f.hs_input.size()) != 1 ||
        EVP_MAC_final(ctx, out, &n, sizeof out) != 1 || n != f.hs_mac.size() ||
        CRYPTO_memcmp(out, f.hs_mac.data(), n) != 0)
      state.SkipWithError("MAC differs");
  }
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
}
BENCHMARK(BM_Hs256_OpenSslMacKeyedOnce);

void BM_Hs256_TavriEvalJWToken(benchmark::State& state) {
  jwtbench::EvalToken(state, fx().hs_token, Bytes(kSecret, kSecret + 32));
}
BENCHMARK(BM_Hs256_TavriEvalJWToken)->Threads(1)->Threads(2);

void BM_Rs256_OpenSslDigestVerify(benchmark::State& state) {
  Fixture& f = fx();
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  for (auto _ : state) {
    EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, f.key);
    if (EVP_DigestVerify(md, f.rs_sig.data(), f.rs_sig.size(), reinterpret_cast<const unsigned char*>(f.rs_input.data()),
                         f.rs_input.size()) != 1)
      state.SkipWithError("signature rejected");
  }
  EVP_MD_CTX_free(md);
}
BENCHMARK(BM_Rs256_OpenSslDigestVerify);
BENCHMARK(BM_Rs256_OpenSslDigestVerify)->Name("Scaling_Rs256_OpenSslDigestVerify")->Threads(1)->Threads(2)->UseRealTime();

void BM_Rs256_TavriEvalJWToken_Certificate(benchmark::State& state) { jwtbench::EvalToken(state, fx().rs_token, fx().cert); }
BENCHMARK(BM_Rs256_TavriEvalJWToken_Certificate)->Threads(1)->Threads(2);
BENCHMARK(BM_Rs256_TavriEvalJWToken_Certificate)->Name("Scaling_Rs256_TavriEvalJWToken")->Threads(1)->Threads(2)->UseRealTime();

void BM_Rs256_TavriEvalJWToken_PublicKey(benchmark::State& state) { jwtbench::EvalToken(state, fx().rs_token, fx().spki); }
BENCHMARK(BM_Rs256_TavriEvalJWToken_PublicKey);

}  // namespace
