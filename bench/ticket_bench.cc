// Evaluation of an RSA-2048/SHA-256 logon ticket, text to filled
// TICKET_INFO, beside the bare OpenSSL checks that bound it: the same
// detached signature through d2i_CMS_bio + CMS_verify with an X509_STORE
// holding the issuer, and one EVP_DigestVerify of the signed part with the
// issuing system's ready key (the floor every evaluation pays).
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "qorjwt.h"
#include "ticketinfo.h"

namespace {

using Bytes = std::vector<unsigned char>;

X509* new_cert(EVP_PKEY* key, const char* cn, EVP_PKEY* signer_key, X509* signer) {
  X509* x = X509_new();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), signer ? 2 : 1);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * 30);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn),
                             -1, -1, 0);
  X509_set_issuer_name(x, signer ? X509_get_subject_name(signer) : name);
  X509_set_pubkey(x, key);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, signer ? signer : x, x, nullptr, nullptr, 0);
  X509_EXTENSION* bc = X509V3_EXT_conf_nid(nullptr, &ctx, NID_basic_constraints,
                                           signer ? "critical,CA:FALSE" : "critical,CA:TRUE");
  X509_add_ext(x, bc, -1);
  X509_EXTENSION_free(bc);
  X509_sign(x, signer_key, EVP_sha256());
  return x;
}

Bytes der_of(X509* x) {
  unsigned char* p = nullptr;
  const int n = i2d_X509(x, &p);
  Bytes d(p, p + (n > 0 ? n : 0));
  OPENSSL_free(p);
  return d;
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
    unsigned char* p = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &p);
    signature.assign(p, p + n);
    OPENSSL_free(p);
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
  const Bytes der = der_of(trusted);
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

// The loaded ticket key is the CA that certified the issuing system.
void BM_TavriEvalLogonTicketEx_Rsa2048_CaLoaded(benchmark::State& state) {
  evaluate(state, fixture().ca);
}
BENCHMARK(BM_TavriEvalLogonTicketEx_Rsa2048_CaLoaded);

void BM_OpenSsl_CMS_verify_TicketSignature_Rsa2048(benchmark::State& state) {
  TicketFixture& f = fixture();
  for (auto _ : state) {
    BIO* der = BIO_new_mem_buf(f.signature.data(), static_cast<int>(f.signature.size()));
    BIO* content = BIO_new_mem_buf(f.signed_part.data(), static_cast<int>(f.signed_part.size()));
    CMS_ContentInfo* cms = d2i_CMS_bio(der, nullptr);
    if (CMS_verify(cms, nullptr, f.store, content, nullptr, CMS_BINARY | CMS_DETACHED) != 1)
      state.SkipWithError("CMS_verify failed");
    CMS_ContentInfo_free(cms);
    BIO_free(content);
    BIO_free(der);
  }
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

}  // namespace
