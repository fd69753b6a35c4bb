// The main job: drives the library through its public C interface and
// prints what it did.
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <string>
#include <vector>

#include "qorjwt.h"

namespace {

int fail(const char* what, int rc) {
  fprintf(stderr, "demo: %s failed with %d\n", what, rc);
  return 1;
}

int count_lines(const std::string& path) {
  FILE* f = fopen(path.c_str(), "r");
  if (f == nullptr) return 0;
  int lines = 0;
  for (int c; (c = fgetc(f)) != EOF;) lines += c == '\n';
  fclose(f);
  return lines;
}

// A certificate for `key`, signed by itself, valid for 30 days.
X509* self_signed(EVP_PKEY* key, const char* cn, long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600L * 24 * 30);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  X509_set_pubkey(cert, key);
  X509_sign(cert, key, EVP_sha256());
  return cert;
}

// An issuing system's side and ours: make a key and certificate, issue a
// logon ticket as such a system does (byte stream, detached PKCS#7, Base64
// with "!" for "+"), load the certificate as the ticket key and evaluate.
int demo_logon_ticket() {
  printf("logon ticket:\n");
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = self_signed(key, "Demo Issuer", 1);

  char created[16];
  const time_t now = time(nullptr);
  struct tm tm;
  gmtime_r(&now, &tm);
  strftime(created, sizeof created, "%Y%m%d%H%M", &tm);
  std::vector<unsigned char> stream = {2, '1', '1', '0', '0'};  // version, code page
  auto unit = [&](unsigned char id, const std::string& v) {
    stream.insert(stream.end(), {id, static_cast<unsigned char>(v.size() >> 8),
                                 static_cast<unsigned char>(v.size())});
    stream.insert(stream.end(), v.begin(), v.end());
  };
  unit(1, "JDOE");                         // user
  unit(2, "100");                          // issuing client
  unit(3, "ISS");                          // issuing system
  unit(4, created);                        // creation time, UTC
  unit(5, std::string("\0\0\0\x08", 4));  // valid for 8 hours
  unit(9, "E");                            // language
  unit(32, "portal:john.doe");
  BIO* in = BIO_new_mem_buf(stream.data(), static_cast<int>(stream.size()));
  CMS_ContentInfo* cms = CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_DETACHED);
  unsigned char* sig = nullptr;
  const int sigL = i2d_CMS_ContentInfo(cms, &sig);
  stream.insert(stream.end(), {0xFF, static_cast<unsigned char>(sigL >> 8),
                               static_cast<unsigned char>(sigL)});
  stream.insert(stream.end(), sig, sig + sigL);
  std::string ticket(4 * ((stream.size() + 2) / 3) + 1, '\0');
  ticket.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&ticket[0]),
                                                    stream.data(), static_cast<int>(stream.size()))));
  for (char& c : ticket)
    if (c == '+') c = '!';
  unsigned char* der = nullptr;
  const int derL = i2d_X509(cert, &der);
  printf("  issued a ticket of %zu characters, signed by CN=Demo Issuer (%d-byte certificate)\n",
         ticket.size(), derL);

  int rc = TavriLoadTicketKey(der, derL, nullptr, 0, 1);
  printf("  TavriLoadTicketKey(certificate) = %d\n", rc);
  char user[32], sys[16], cli[8], lang[8], prt[32];
  int32_t userL = sizeof user, sysL = sizeof sys, cliL = sizeof cli, langL = sizeof lang,
          prtL = sizeof prt;
  unsigned char signer[2048];
  uint32_t signerL = sizeof signer;
  time_t cre = 0, val = 0;
  TICKET_INFO ti;
  memset(&ti, 0, sizeof ti);
  ti.struct_size = sizeof ti;
  memcpy(ti.sQORCodepage, "4110", 4);
  ti.pQORUser = user, ti.pIntQORUserL = &userL, ti.pSysID = sys, ti.pIntSysIDL = &sysL;
  ti.pQORClient = cli, ti.pIntQORClientL = &cliL, ti.pQORLangu = lang, ti.pIntQORLanguL = &langL;
  ti.pPrtUser = prt, ti.pIntPrtUserL = &prtL;
  ti.pAsn1Certificate = signer, ti.pIntAsn1CertificateL = &signerL;
  ti.ptmCreTime = &cre, ti.ptmValidity = &val;
  if (rc == 0) rc = TavriEvalLogonTicketEx(ticket.c_str(), nullptr, nullptr, nullptr, nullptr, &ti);
  printf("  TavriEvalLogonTicketEx = %d\n", rc);
  if (rc == 0) {
    char when[32];
    gmtime_r(&cre, &tm);
    strftime(when, sizeof when, "%Y-%m-%d %H:%M UTC", &tm);
    printf("    user %.*s, system %.*s, client %.*s, language %.*s, portal user %.*s\n", userL,
           user, sysL, sys, cliL, cli, langL, lang, prtL, prt);
    printf("    created %s, valid for %ld more seconds, type %d, flags %d\n", when,
           static_cast<long>(val), ti.tTicketType, ti.flags);
    printf("    signer certificate: %u bytes, %s\n", signerL,
           signerL == static_cast<uint32_t>(derL) && memcmp(signer, der, signerL) == 0
               ? "the issuer's" : "another one");
  }
  OPENSSL_free(der);
  OPENSSL_free(sig);
  CMS_ContentInfo_free(cms);
  BIO_free(in);
  X509_free(cert);
  EVP_PKEY_free(key);
  return rc;
}


// Our own side as issuer: an own key store (PKCS#12 with key and
// certificate) loaded as the ticket key, an assertion ticket issued for
// this system's own identity, and that ticket evaluated again.
int demo_assertion_ticket() {
  printf("assertion ticket:\n");
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = self_signed(key, "Demo Own Key", 2);
  PKCS12* p12 = PKCS12_create("demo-pin", "own", key, cert, nullptr, 0, 0, 0, 0, 0);
  unsigned char* image = nullptr;
  const int imageL = i2d_PKCS12(p12, &image);
  int rc = TavriLoadTicketKey(image, imageL, "demo-pin", 0, 0);
  printf("  TavriLoadTicketKey(own key store, %d bytes) = %d\n", imageL, rc);

  char user[] = "JDOE", rsys[] = "DMO", rcli[] = "100", prt[] = "john.doe";
  int32_t userL = 4, rsysL = 3, rcliL = 3, prtL = 8;
  TICKET_INFO ti;
  memset(&ti, 0, sizeof ti);
  ti.struct_size = sizeof ti;
  ti.pQORUser = user, ti.pIntQORUserL = &userL, ti.pSysID = rsys, ti.pIntSysIDL = &rsysL;
  ti.pQORClient = rcli, ti.pIntQORClientL = &rcliL, ti.pPrtUser = prt, ti.pIntPrtUserL = &prtL;
  char ticket[4096];
  uint32_t ticketL = sizeof ticket;
  if (rc == 0) rc = TavriCreateAssertionTicket("ISS", "200", nullptr, nullptr, &ti, ticket, &ticketL);
  printf("  TavriCreateAssertionTicket(from ISS/200 for DMO/100) = %d, %u characters\n", rc, ticketL);

  char osys[16], ocli[8], ouser[32], oprt[32];
  int32_t osysL = sizeof osys, ocliL = sizeof ocli, ouserL = sizeof ouser, oprtL = sizeof oprt;
  time_t val = 0;
  memset(&ti, 0, sizeof ti);
  ti.struct_size = sizeof ti;
  memcpy(ti.sQORCodepage, "4110", 4);
  ti.pQORUser = ouser, ti.pIntQORUserL = &ouserL, ti.pSysID = osys, ti.pIntSysIDL = &osysL;
  ti.pQORClient = ocli, ti.pIntQORClientL = &ocliL, ti.pPrtUser = oprt, ti.pIntPrtUserL = &oprtL;
  ti.ptmValidity = &val;
  if (rc == 0) rc = TavriEvalAssertionTicket(ticket, nullptr, nullptr, nullptr, nullptr, &ti);
  printf("  TavriEvalAssertionTicket = %d\n", rc);
  if (rc == 0)
    printf("    user %.*s from system %.*s client %.*s, portal user %.*s, valid for %ld more seconds, "
           "type %d, flags %d\n",
           ouserL, ouser, osysL, osys, ocliL, ocli, oprtL, oprt, static_cast<long>(val), ti.tTicketType,
           ti.flags);
  OPENSSL_free(image);
  PKCS12_free(p12);
  X509_free(cert);
  EVP_PKEY_free(key);
  return rc;
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

  // Errors only, unless QOR_EXT_TRL asks for more: level 3 writes every
  // byte of the tickets and tokens into the trace file.
  const char* level = getenv("QOR_EXT_TRL");
  int rc = RavAreSetProperty("QOR_EXT_TRL", level && *level ? level : "1");
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

  if ((rc = demo_logon_ticket()) != 0) return fail("the logon ticket", rc);
  if ((rc = demo_assertion_ticket()) != 0) return fail("the assertion ticket", rc);
  if (demo_jwt() != 0) return fail("JWT evaluation", 1);

  if ((rc = TavriShutdown()) != 0) return fail("TavriShutdown", rc);
  printf("shut down; %d trace lines in %s (QOR_EXT_TRL=3 for the full trace with dumps)\n",
         count_lines(trace), trace.c_str());
  return 0;
}
