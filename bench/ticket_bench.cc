// Evaluation of an RSA-2048/SHA-256 logon ticket, text to filled
// TICKET_INFO, beside the bare OpenSSL checks that bound it: the same
// detached signature through d2i_CMS_bio + CMS_verify with an X509_STORE
// holding the issuer, and one EVP_DigestVerify of the signed part with the
// issuing system's ready key (the floor every evaluation pays).
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "bench_pki.h"
#include "qorjwt.h"
#include "ticketinfo.h"

namespace {

using benchpki::Bytes;
using benchpki::DerOf;

X509* new_cert(EVP_PKEY* key, const char* cn, EVP_PKEY* signer_key, X509* signer) {
  benchpki::CertSpec spec{cn};
  spec.days = 30;
  spec.serial = signer ? 2 : 1;
  spec.constraints = true;
  return benchpki::NewCert(key, signer_key, signer, spec);
}

void put_unit(Bytes* out, unsigned char id, const std::string& v) {
  out->push_back(id);
  out->push_back(static_cast<unsigned char>(v.size() >> 8));
  out->push_back(static_cast<unsigned char>(v.size()));
  out->insert(out->end(), v.begin(), v.end());
}

// A logon ticket made the way an issuing system makes one.
struct TicketFixture {
  EVP_PKEY* ca_key = EVP_RSA_gen(2048);
  X509* ca = new_cert(ca_key, "Bench CA", ca_key, nullptr);
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = new_cert(key, "Bench Issuer", ca_key, ca);
  Bytes signed_part, signature, raw_signature;
  std::string text;
  X509_STORE* store = X509_STORE_new();

  TicketFixture() {
    char created[16];
    const time_t now = time(nullptr);
    struct tm tm;
    gmtime_r(&now, &tm);
    strftime(created, sizeof created, "%Y%m%d%H%M", &tm);
    signed_part = {2, '1', '1', '0', '0'};
    put_unit(&signed_part, 1, "JDOE");
    put_unit(&signed_part, 2, "000");
    put_unit(&signed_part, 3, "ABC");
    put_unit(&signed_part, 4, created);
    put_unit(&signed_part, 5, std::string("\0\0\0\x08", 4));
    put_unit(&signed_part, 9, "E");
    BIO* in = BIO_new_mem_buf(signed_part.data(), static_cast<int>(signed_part.size()));
    CMS_ContentInfo* cms = CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_DETACHED);
    signature = DerOf([&](unsigned char** p) { return i2d_CMS_ContentInfo(cms, p); });
    CMS_ContentInfo_free(cms);
    BIO_free(in);

    Bytes stream = signed_part;
    stream.push_back(0xFF);
    stream.push_back(static_cast<unsigned char>(signature.size() >> 8));
    stream.push_back(static_cast<unsigned char>(signature.size()));
    stream.insert(stream.end(), signature.begin(), signature.end());
    std::string b64(4 * ((stream.size() + 2) / 3) + 1, '\0');
    b64.resize(static_cast<size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&b64[0]), stream.data(),
                        static_cast<int>(stream.size()))));
    for (char& c : b64)
      if (c == '+') c = '!';
    text = b64;
    size_t raw_len = static_cast<size_t>(EVP_PKEY_get_size(key));
    raw_signature.resize(raw_len);
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_DigestSignInit(md, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(md, raw_signature.data(), &raw_len, signed_part.data(), signed_part.size());
    EVP_MD_CTX_free(md);
    X509_STORE_add_cert(store, ca);
    TavriInitialize(nullptr);
  }
};

TicketFixture& fixture() {
  static TicketFixture f;
  return f;
}

void evaluate(benchmark::State& state, X509* trusted) {
  TicketFixture& f = fixture();
  const Bytes der = DerOf(trusted);
  // Another benchmark of the run may have shut the library down.
  TavriInitialize(nullptr);
  if (TavriLoadTicketKey(der.data(), static_cast<int32_t>(der.size()), nullptr, 0, 1) != 0)
    state.SkipWithError("key load failed");
  for (auto _ : state) {
    qortest::BufferedTicketInfo<64, 2048> out;
    if (TavriEvalLogonTicketEx(f.text.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti) != 0)
      state.SkipWithError("evaluation failed");
    benchmark::DoNotOptimize(out.userL);
  }
}

// The loaded ticket key is the issuing system's own certificate.
void BM_TavriEvalLogonTicketEx_Rsa2048_SignerLoaded(benchmark::State& state) {
  evaluate(state, fixture().cert);
}
BENCHMARK(BM_TavriEvalLogonTicketEx_Rsa2048_SignerLoaded);
// Two threads gain what two cores give only without a process-wide lock.
BENCHMARK(BM_TavriEvalLogonTicketEx_Rsa2048_SignerLoaded)->Name("Scaling_TavriEvalLogonTicketEx")->Threads(1)->Threads(2)->UseRealTime();

// The loaded ticket key is the CA that certified the issuing system.
void BM_TavriEvalLogonTicketEx_Rsa2048_CaLoaded(benchmark::State& state) {
  evaluate(state, fixture().ca);
}
BENCHMARK(BM_TavriEvalLogonTicketEx_Rsa2048_CaLoaded);

void BM_OpenSsl_CMS_verify_TicketSignature_Rsa2048(benchmark::State& state) {
  TicketFixture& f = fixture();
  benchpki::CmsVerifyLoop(state, f.signature, f.signed_part.data(), f.signed_part.size(), f.store);
}
BENCHMARK(BM_OpenSsl_CMS_verify_TicketSignature_Rsa2048);

// The floor: one RSA-2048/SHA-256 check of the signed part with a ready
// key and a reused digest context.
void BM_OpenSsl_DigestVerify_TicketSignedPart_Rsa2048(benchmark::State& state) {
  TicketFixture& f = fixture();
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  for (auto _ : state) {
    if (EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, f.key) != 1 ||
        EVP_DigestVerify(md, f.raw_signature.data(), f.raw_signature.size(), f.signed_part.data(),
                         f.signed_part.size()) != 1)
      state.SkipWithError("signature rejected");
  }
  EVP_MD_CTX_free(md);
}
BENCHMARK(BM_OpenSsl_DigestVerify_TicketSignedPart_Rsa2048);
BENCHMARK(BM_OpenSsl_DigestVerify_TicketSignedPart_Rsa2048)->Name("Scaling_OpenSsl_DigestVerify_TicketSignedPart")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
