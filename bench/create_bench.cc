// Issuing an assertion ticket against the bare OpenSSL signature it is
// built around: CMS_sign of a ticket-sized content with the same RSA-2048
// key and digest, detached, against the whole TavriCreateAssertionTicket
// (checks, content list, byte stream, SignedData, Base64).
#include <benchmark/benchmark.h>

#include <openssl/cms.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <string.h>

#include <string>
#include <vector>

#include "bench_pki.h"
#include "crypto/base/sslptr.h"
#include "qorjwt.h"

namespace {

using qorcr::SslPtr;

constexpr char kPin[] = "bench";

struct Credential {
  SslPtr<EVP_PKEY> key;
  SslPtr<X509> cert;
  std::vector<unsigned char> p12;
};

// A fresh RSA-2048 key with a self-signed certificate and its PKCS#12 image.
const Credential& credential() {
  static Credential c = [] {
    Credential r;
    r.key.reset(EVP_RSA_gen(2048));
    benchpki::CertSpec spec{"bench"};
    spec.days = 1;
    spec.serial = 1;
    r.cert.reset(benchpki::NewCert(r.key.get(), r.key.get(), nullptr, spec));
    SslPtr<PKCS12> p12(PKCS12_create(kPin, "bench", r.key.get(), r.cert.get(), nullptr, 0, 0, 0, 0, 0));
    unsigned char* der = nullptr;
    const int n = i2d_PKCS12(p12.get(), &der);
    r.p12.assign(der, der + n);
    OPENSSL_free(der);
    return r;
  }();
  return c;
}

// The signed part of a typical assertion ticket is about this long.
const std::string kContent(120, 'T');

void cms_sign(benchmark::State& state, unsigned int flags) {
  const Credential& c = credential();
  for (auto _ : state) {
    SslPtr<BIO> in(BIO_new_mem_buf(kContent.data(), static_cast<int>(kContent.size())));
    SslPtr<CMS_ContentInfo> cms(CMS_sign(c.cert.get(), c.key.get(), nullptr, in.get(),
                                         CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP | flags));
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms.get(), &der);
    OPENSSL_free(der);
    benchmark::DoNotOptimize(n);
  }
}

void BM_OpensslCmsSign(benchmark::State& state) { cms_sign(state, CMS_NOCERTS); }
BENCHMARK(BM_OpensslCmsSign)->Unit(benchmark::kMicrosecond);

void BM_OpensslCmsSign_WithCertificate(benchmark::State& state) { cms_sign(state, 0); }
BENCHMARK(BM_OpensslCmsSign_WithCertificate)->Unit(benchmark::kMicrosecond);

void create(benchmark::State& state, const char* include_cert) {
  const Credential& c = credential();
  TavriInitialize(nullptr);
  RavAreSetProperty("SSF_HASH", "SHA256");  // CMS_sign's digest
  RavAreSetProperty("SSF_INCLUDE_CERT", include_cert);
  if (TavriLoadTicketKey(c.p12.data(), static_cast<int32_t>(c.p12.size()), kPin, 0, 0) != 0) {
    state.SkipWithError("key store does not load");
    return;
  }
  char sys[] = "RCP", cli[] = "001", user[] = "benchmark_user";
  int32_t sysL = 3, cliL = 3, userL = static_cast<int32_t>(strlen(user));
  TICKET_INFO ti = {};
  ti.struct_size = sizeof ti;
  ti.pSysID = sys, ti.pIntSysIDL = &sysL, ti.pQORClient = cli, ti.pIntQORClientL = &cliL;
  ti.pQORUser = user, ti.pIntQORUserL = &userL;
  char out[4096];
  // The key store is decoded on its first use after a load: one untimed
  // creation keeps that one-off cost out of the per-call figure.
  uint32_t warm = sizeof out;
  if (TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, out, &warm) != 0) {
    state.SkipWithError("creation failed");
    TavriShutdown();
    return;
  }
  for (auto _ : state) {
    uint32_t len = sizeof out;
    if (TavriCreateAssertionTicket("ISS", "100", nullptr, nullptr, &ti, out, &len) != 0) {
      state.SkipWithError("creation failed");
      break;
    }
    benchmark::DoNotOptimize(len);
  }
  TavriShutdown();
}

void BM_TavriCreateAssertionTicket(benchmark::State& state) { create(state, "0"); }
BENCHMARK(BM_TavriCreateAssertionTicket)->Unit(benchmark::kMicrosecond);

void BM_TavriCreateAssertionTicket_WithCertificate(benchmark::State& state) { create(state, "1"); }
BENCHMARK(BM_TavriCreateAssertionTicket_WithCertificate)->Unit(benchmark::kMicrosecond);

}  // namespace
