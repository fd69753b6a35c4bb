// TavriEvalJWToken for ES256 and EdDSA beside EVP_DigestVerify with a ready
// key on the same signing input: the key passed as SubjectPublicKeyInfo or
// certificate, and loaded as a JWK Set.
#include <benchmark/benchmark.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
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

// One signer: its key, a token, the DER signature for OpenSSL, and the key
// as SubjectPublicKeyInfo, certificate and JWK Set.
struct Signer {
  EVP_PKEY* key;
  const EVP_MD* md;
  std::string input, token, jwks;
  Bytes der_sig, spki, cert;

  Signer(EVP_PKEY* k, const char* alg, bool ec) : key(k), md(ec ? EVP_sha256() : nullptr) {
    input = b64url(std::string(R"({"alg":")") + alg + R"(","kid":"k1"})") + "." + b64url(kBody);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t n = 0;
    EVP_DigestSignInit(ctx, nullptr, md, nullptr, key);
    EVP_DigestSign(ctx, nullptr, &n, reinterpret_cast<const unsigned char*>(input.data()), input.size());
    der_sig.resize(n);
    EVP_DigestSign(ctx, der_sig.data(), &n, reinterpret_cast<const unsigned char*>(input.data()), input.size());
    der_sig.resize(n);
    EVP_MD_CTX_free(ctx);
    Bytes jws_sig = der_sig;
    if (ec) {  // DER to R || S (RFC 7518 section 3.4)
      const unsigned char* p = der_sig.data();
      ECDSA_SIG* s = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der_sig.size()));
      jws_sig.assign(64, 0);
      BN_bn2binpad(ECDSA_SIG_get0_r(s), jws_sig.data(), 32);
      BN_bn2binpad(ECDSA_SIG_get0_s(s), jws_sig.data() + 32, 32);
      ECDSA_SIG_free(s);
    }
    token = input + "." + b64url(jws_sig);
    spki = benchpki::DerOf([&](unsigned char** p) { return i2d_PUBKEY(key, p); });
    benchpki::CertSpec spec{"jws bench"};
    spec.digest = md;
    X509* x = benchpki::NewCert(key, key, nullptr, spec);
    cert = benchpki::DerOf(x);
    X509_free(x);
    jwks = R"({"keys":[{"kid":"k1",)" + jwk_members(ec) + "}]}";
  }

  std::string jwk_members(bool ec) const {
    if (!ec) {
      Bytes x(32);
      size_t n = x.size();
      EVP_PKEY_get_raw_public_key(key, x.data(), &n);
      return R"("kty":"OKP","crv":"Ed25519","x":")" + b64url(x) + "\"";
    }
    Bytes pt(65);
    size_t n = 0;
    EVP_PKEY_get_octet_string_param(key, "encoded-pub-key", pt.data(), pt.size(), &n);
    return R"("kty":"EC","crv":"P-256","x":")" + b64url(pt.data() + 1, 32) + R"(","y":")" +
           b64url(pt.data() + 33, 32) + "\"";
  }
};

Signer& es256() {
  static Signer s(EVP_EC_gen("P-256"), "ES256", true);
  return s;
}
Signer& eddsa() {
  static Signer s(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), "EdDSA", false);
  return s;
}

void raw(benchmark::State& state, Signer& s) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (auto _ : state) {
    EVP_DigestVerifyInit(ctx, nullptr, s.md, nullptr, s.key);
    if (EVP_DigestVerify(ctx, s.der_sig.data(), s.der_sig.size(), reinterpret_cast<const unsigned char*>(s.input.data()),
                         s.input.size()) != 1)
      state.SkipWithError("signature rejected");
  }
  EVP_MD_CTX_free(ctx);
}

void eval_loaded_set(benchmark::State& state, Signer& s) {
  TavriInitialize(nullptr);
  if (TavriLoadTicketKey(reinterpret_cast<const unsigned char*>(s.jwks.data()), static_cast<int32_t>(s.jwks.size()),
                         nullptr, 0, 5) != 0)
    state.SkipWithError("JWK Set not loaded");
  jwtbench::EvalToken(state, s.token, {});
}

// The four measurements of one signer, named "BM_<prefix>_...": the floor, the
// key as SubjectPublicKeyInfo and as certificate, and the loaded JWK Set.
void register_signer(const std::string& prefix, Signer& (*signer)()) {
  const std::string bm = "BM_" + prefix;
  benchmark::RegisterBenchmark((bm + "_OpenSslDigestVerify").c_str(),
                               [signer](benchmark::State& state) { raw(state, signer()); });
  benchmark::RegisterBenchmark((bm + "_TavriEvalJWToken_PublicKey").c_str(),
                               [signer](benchmark::State& state) {
                                 jwtbench::EvalToken(state, signer().token, signer().spki);
                               })
      ->Threads(1)
      ->Threads(2);
  benchmark::RegisterBenchmark((bm + "_TavriEvalJWToken_Certificate").c_str(),
                               [signer](benchmark::State& state) {
                                 jwtbench::EvalToken(state, signer().token, signer().cert);
                               });
  benchmark::RegisterBenchmark((bm + "_TavriEvalJWToken_LoadedJwkSet").c_str(),
                               [signer](benchmark::State& state) { eval_loaded_set(state, signer()); });
}

[[maybe_unused]] const bool kSignersRegistered = (register_signer("Es256", es256), register_signer("EdDsa", eddsa), true);

}  // namespace
