// The main job: drives the library through its public C interface and
// prints what it did.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "qorjwt.h"

namespace {

int fail(const char* what, int rc) {
  fprintf(stderr, "demo: %s failed with %d\n", what, rc);
  return 1;
}

void print_file(const std::string& path) {
  FILE* f = fopen(path.c_str(), "r");
  if (f == nullptr) return;
  char line[1024];
  while (fgets(line, sizeof line, f)) printf("  | %s", line);
  fclose(f);
}

// Issues an HS256 and an RS256 token with keys made here, evaluates both
// with TavriEvalJWToken and prints what came back.
int demo_jwt() {
  auto b64url = [](const unsigned char* p, size_t n) {
    std::string t(4 * ((n + 2) / 3) + 1, '\0');
    t.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&t[0]), p, static_cast<int>(n))));
    for (char& c : t) c = c == '+' ? '-' : c == '/' ? '_' : c;
    while (!t.empty() && t.back() == '=') t.pop_back();
    return t;
  };
  auto text64 = [&](const std::string& s) { return b64url(reinterpret_cast<const unsigned char*>(s.data()), s.size()); };
  const long now = static_cast<long>(time(nullptr));
  const std::string body = "{\"sub\":\"alice\",\"iss\":\"demo-idp\",\"aud\":\"demo-app\",\"jti\":\"t-1\",\"iat\":" +
                           std::to_string(now) + ",\"exp\":" + std::to_string(now + 300) + ",\"mail\":\"alice@example.org\"}";

  unsigned char secret[32];
  RAND_bytes(secret, sizeof secret);
  const std::string hs_input = text64("{\"alg\":\"HS256\",\"typ\":\"JWT\"}") + "." + text64(body);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_len = 0;
  HMAC(EVP_sha256(), secret, sizeof secret, reinterpret_cast<const unsigned char*>(hs_input.data()), hs_input.size(),
       mac, &mac_len);

  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = X509_new();
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("demo issuer"), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  X509_set_pubkey(cert, key);
  X509_sign(cert, key, EVP_sha256());
  unsigned char* der = nullptr;
  const int der_len = i2d_X509(cert, &der);
  const std::string rs_input = text64("{\"alg\":\"RS256\",\"kid\":\"demo-key\"}") + "." + text64(body);
  std::vector<unsigned char> sig(static_cast<size_t>(EVP_PKEY_get_size(key)));
  size_t sig_len = sig.size();
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_DigestSignInit(md, nullptr, EVP_sha256(), nullptr, key);
  EVP_DigestSign(md, sig.data(), &sig_len, reinterpret_cast<const unsigned char*>(rs_input.data()), rs_input.size());
  EVP_MD_CTX_free(md);

  struct Case {
    const char* name;
    std::string token;
    const unsigned char* key;
    size_t key_len;
  } cases[] = {{"HS256", hs_input + "." + b64url(mac, mac_len), secret, sizeof secret},
               {"RS256", rs_input + "." + b64url(sig.data(), sig_len), der, static_cast<size_t>(der_len)}};
  int failures = 0;
  for (const Case& c : cases) {
    std::vector<unsigned char> payload(1024);
    JWT_INFO info{};
    info.struct_size = sizeof info;
    info.pPayloadBuffer = payload.data();
    info.lPayLoadBuffer = payload.size();
    const int32_t rc = TavriEvalJWToken(c.token.data(), c.token.size(), c.key, c.key_len, "mail", &info);
    auto field = [](const unsigned char* p, size_t n) { return p ? std::string(reinterpret_cast<const char*>(p), n) : "-"; };
    printf("%s token (%zu characters): TavriEvalJWToken = %d%s%s\n", c.name, c.token.size(), rc,
           rc ? ", " : "", info.lastError);
    if (rc != 0) {
      failures++;
      continue;
    }
    printf("  alg id %d, kid %s, sub %s, iss %s, aud %s, jti %s, iat %lld, mail %s\n", info.tAlgId,
           field(info.pKeyId, info.lKeyId).c_str(), field(info.pSubject, info.lSubject).c_str(),
           field(info.pIssuer, info.lIssuer).c_str(), field(info.pAudience, info.lAudience).c_str(),
           field(info.pJTI, info.lJTI).c_str(), static_cast<long long>(info.issuedAt),
           field(info.pNameIdValue, info.lNameIdValue).c_str());
  }
  OPENSSL_free(der);
  X509_free(cert);
  EVP_PKEY_free(key);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string trace = argc > 1 ? argv[1] : "qorjwt-demo.trc";
  printf("libqorjwt interface version %d\n", TavriGetVersion());

  int rc = RavAreSetProperty("QOR_EXT_TRL", "3");
  if (rc == 0) rc = RavAreSetProperty("QOR_EXT_TRC", trace.c_str());
  if (rc != 0) return fail("setting the trace", rc);
  if ((rc = TavriInitialize(nullptr)) != 0) return fail("TavriInitialize", rc);
  printf("initialised, tracing at level %s into %s\n", RavAreGetProperty("QOR_EXT_TRL"),
         RavAreGetProperty("QOR_EXT_TRC"));

  RavAreSetProperty("QOR_OWN_SYSID", "DMO");
  RavAreSetProperty("QOR_OWN_CLIENT", "100");
  RavAreSetProperty("SSF_HASH", "SHA256");
  printf("properties:\n");
  std::string names = RavAreGetProperty(nullptr);
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(start, end - start);
    const char* value = RavAreGetProperty(name.c_str());
    printf("  %-17s = %s\n", name.c_str(), value ? value : "(not set)");
    start = end + 1;
  }

  if (demo_jwt() != 0) return fail("JWT evaluation", 1);

  if ((rc = TavriShutdown()) != 0) return fail("TavriShutdown", rc);
  printf("shut down; the trace file holds:\n");
  print_file(trace);
  return 0;
}
