#include "pki.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdio.h>

#include <memory>

namespace qortool {
namespace {

struct Free {
  void operator()(X509* p) const { X509_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(PKCS12* p) const { PKCS12_free(p); }
  void operator()(PKCS7* p) const { PKCS7_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
  void operator()(STACK_OF(PKCS7) * p) const { sk_PKCS7_pop_free(p, PKCS7_free); }
  void operator()(STACK_OF(PKCS12_SAFEBAG) * p) const {
    sk_PKCS12_SAFEBAG_pop_free(p, PKCS12_SAFEBAG_free);
  }
  void operator()(ASN1_OBJECT* p) const { ASN1_OBJECT_free(p); }
  void operator()(BIGNUM* p) const { BN_free(p); }
};
template <typename T>
using Ptr = std::unique_ptr<T, Free>;

// The PKCS#12 attribute of a trusted certificate entry, and its value "any purpose".
constexpr char kTrustedCertMarkOid[] = "2.16.840.1.113894.746875.1.1";
constexpr char kAnyExtendedKeyUsageOid[] = "2.5.29.37.0";

std::string name_text(const X509_NAME* name) {
  Ptr<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
    return "";
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  return std::string(p, static_cast<size_t>(n));
}

std::string serial_text(const ASN1_INTEGER* serial) {
  Ptr<BIGNUM> bn(ASN1_INTEGER_to_BN(serial, nullptr));
  if (!bn) return "";
  char* hex = BN_bn2hex(bn.get());
  std::string s = hex ? hex : "";
  OPENSSL_free(hex);
  return s;
}

std::string time_text(const ASN1_TIME* t) {
  struct tm tm;
  if (ASN1_TIME_to_tm(t, &tm) != 1) return "";
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

CertSummary summarize(X509* x) {
  return {name_text(X509_get_subject_name(x)), name_text(X509_get_issuer_name(x)),
          serial_text(X509_get0_serialNumber(x)), time_text(X509_get0_notBefore(x)),
          time_text(X509_get0_notAfter(x))};
}

bool fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

Ptr<X509> der_to_x509(const Bytes& der) {
  const unsigned char* p = der.data();
  return Ptr<X509>(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

// DER of `obj` by its i2d_ function, written straight into *out.
template <typename T>
bool to_der(T* obj, int (*i2d)(const T*, unsigned char**), Bytes* out) {
  int n = i2d(obj, nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  unsigned char* p = out->data();
  return i2d(obj, &p) == n;
}

bool x509_to_der(X509* x, Bytes* out) { return to_der(x, i2d_X509, out); }

bool p12_to_der(PKCS12* p12, Bytes* out) { return to_der(p12, i2d_PKCS12, out); }

struct Parsed {
  Ptr<EVP_PKEY> key;
  Ptr<X509> cert;
  Ptr<STACK_OF(X509)> ca;
};

// OpenSSL's legacy provider beside the default one, loaded once and
// unloaded at exit.
bool load_legacy_provider() {
  static const std::unique_ptr<OSSL_PROVIDER, int (*)(OSSL_PROVIDER*)> legacy(
      OSSL_PROVIDER_try_load(nullptr, "legacy", 1), OSSL_PROVIDER_unload);
  return legacy != nullptr;
}

Ptr<PKCS12> der_to_p12(const Bytes& data) {
  const unsigned char* p = data.data();
  return Ptr<PKCS12>(d2i_PKCS12(nullptr, &p, static_cast<long>(data.size())));
}

bool parse_p12(const Bytes& data, const std::string& pin, Parsed* out, std::string* error) {
  Ptr<PKCS12> p12 = der_to_p12(data);
  if (!p12) return fail(error, "not a PKCS#12 key store");
  const char* pass = pin.empty() ? nullptr : pin.c_str();
  if (PKCS12_mac_present(p12.get()) && PKCS12_verify_mac(p12.get(), pass, -1) != 1 &&
      PKCS12_verify_mac(p12.get(), nullptr, 0) != 1 && PKCS12_verify_mac(p12.get(), "", 0) != 1)
    return fail(error, "wrong PIN for the key store");
  // The tool reads old stores with the legacy provider; the library does the same on its own.
  if (!Pkcs12LegacyCiphers(data).empty() && !load_legacy_provider())
    return fail(error, "legacy PKCS#12 key store, and OpenSSL's legacy provider is not installed");
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  if (PKCS12_parse(p12.get(), pass, &key, &cert, &ca) != 1)
    return fail(error, "key store cannot be opened (damaged, or encrypted with an unknown cipher)");
  out->key.reset(key);
  out->cert.reset(cert);
  out->ca.reset(ca);
  return true;
}

bool export_p12(const Parsed& in, const std::string& pin, Bytes* out, std::string* error) {
  Ptr<PKCS12> p12(PKCS12_create(pin.empty() ? nullptr : pin.c_str(), "qorjwt", in.key.get(),
                                in.cert.get(), in.ca.get(), 0, 0, 0, 0, 0));
  if (!p12 || !p12_to_der(p12.get(), out)) return fail(error, "cannot write the PKCS#12 key store");
  return true;
}

std::string pbe_cipher_unavailable(const X509_ALGOR* alg) {
  int cipher_nid = 0, md_nid = 0;
  if (!EVP_PBE_find(EVP_PBE_TYPE_OUTER, OBJ_obj2nid(alg->algorithm), &cipher_nid, &md_nid, nullptr) ||
      cipher_nid <= NID_undef)  // PBES2 names its cipher inside the parameters: never legacy here
    return "";
  const char* name = OBJ_nid2sn(cipher_nid);
  if (name == nullptr) return "";
  EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, name, "provider=default");
  EVP_CIPHER_free(c);
  return c ? "" : name;
}

}  // namespace

std::string Pkcs12LegacyCiphers(const Bytes& p12_der) {
  Ptr<PKCS12> p12 = der_to_p12(p12_der);
  if (!p12) return "";
  std::unique_ptr<STACK_OF(PKCS7), void (*)(STACK_OF(PKCS7)*)> safes(
      PKCS12_unpack_authsafes(p12.get()), [](STACK_OF(PKCS7) * s) { sk_PKCS7_pop_free(s, PKCS7_free); });
  std::string names;
  auto add = [&names](const std::string& n) {
    if (!n.empty() && names.find(n) == std::string::npos) names += (names.empty() ? "" : ", ") + n;
  };
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
    if (PKCS7_type_is_encrypted(p7) && p7->d.encrypted && p7->d.encrypted->enc_data)
      add(pbe_cipher_unavailable(p7->d.encrypted->enc_data->algorithm));
    if (!PKCS7_type_is_data(p7)) continue;
    std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), void (*)(STACK_OF(PKCS12_SAFEBAG)*)> bags(
        PKCS12_unpack_p7data(p7),
        [](STACK_OF(PKCS12_SAFEBAG) * s) { sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free); });
    for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
      const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(sk_PKCS12_SAFEBAG_value(bags.get(), j));
      const X509_ALGOR* alg = nullptr;
      if (shrouded) X509_SIG_get0(shrouded, &alg, nullptr);
      if (alg) add(pbe_cipher_unavailable(alg));
    }
  }
  return names;
}

std::string DescribeKeyFile(const Bytes& data) {
  const std::string text(data.begin(), data.end());
  if (text.find("-----BEGIN ") != std::string::npos) {
    const bool key = text.find("PRIVATE KEY-----") != std::string::npos;
    const bool cert = text.find("-----BEGIN CERTIFICATE-----") != std::string::npos;
    if (key && cert) return "a PEM bundle with a private key";
    if (key) return "a private key";
    if (cert) return "a certificate";
    if (text.find("PUBLIC KEY-----") != std::string::npos) return "a public key";
    return "";
  }
  if (text.find("\"keys\"") != std::string::npos && text.find('{') != std::string::npos) return "a JWK Set";
  const unsigned char* p = data.data();
  const long n = static_cast<long>(data.size());
  if (Ptr<X509>(d2i_X509(nullptr, &p, n))) return "a certificate";
  p = data.data();
  if (Ptr<PKCS12>(d2i_PKCS12(nullptr, &p, n))) return "a PKCS#12 key store";
  p = data.data();
  if (Ptr<EVP_PKEY>(d2i_PUBKEY(nullptr, &p, n))) return "a public key";
  p = data.data();
  if (Ptr<EVP_PKEY>(d2i_AutoPrivateKey(nullptr, &p, n))) return "a private key";
  return "";
}

bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error) {
  FILE* f = path == "-" ? stdin : fopen(path.c_str(), "rb");
  if (f == nullptr) return fail(error, "cannot open " + path);
  out->clear();
  unsigned char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool bad = ferror(f) != 0;
  if (f != stdin) fclose(f);
  if (bad) return fail(error, "cannot read " + path);
  return true;
}

bool WriteFileBytes(const std::string& path, const Bytes& data, std::string* error) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return fail(error, "cannot create " + path);
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = fclose(f) == 0 && ok;
  return ok ? true : fail(error, "cannot write " + path);
}

bool CertFileToDer(const std::string& path, Bytes* der, std::string* error) {
  Bytes raw;
  if (!ReadFileBytes(path, &raw, error)) return false;
  Ptr<X509> x = der_to_x509(raw);
  if (!x) {
    Ptr<BIO> bio(BIO_new_mem_buf(raw.data(), static_cast<int>(raw.size())));
    x.reset(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  }
  if (!x || !x509_to_der(x.get(), der)) return fail(error, path + " holds no X.509 certificate");
  return true;
}

bool SummarizeCert(const Bytes& der, CertSummary* out, std::string* error) {
  Ptr<X509> x = der_to_x509(der);
  if (!x) return fail(error, "not an X.509 certificate");
  *out = summarize(x.get());
  return true;
}

bool CreateKeystore(const std::string& key_type, const std::string& subject, int days,
                    const std::string& pin, Bytes* p12, std::string* error) {
  Parsed ks;
  if (key_type == "rsa")
    ks.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048)));
  else if (key_type == "ec")
    ks.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  else
    return fail(error, "key type must be rsa or ec");
  if (!ks.key) return fail(error, "key generation failed");
  ks.cert.reset(X509_new());
  X509_NAME* name = X509_NAME_new();
  if (!ks.cert || name == nullptr) return fail(error, "out of memory");
  // "/CN=a/O=b" -> one entry per component.
  bool ok = true;
  size_t pos = 0;
  while (ok && pos < subject.size()) {
    size_t start = subject[pos] == '/' ? pos + 1 : pos;
    size_t end = subject.find('/', start);
    if (end == std::string::npos) end = subject.size();
    std::string part = subject.substr(start, end - start);
    size_t eq = part.find('=');
    ok = eq != std::string::npos &&
         X509_NAME_add_entry_by_txt(name, part.substr(0, eq).c_str(), MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(part.c_str() + eq + 1), -1,
                                    -1, 0) == 1;
    pos = end;
  }
  Ptr<BIGNUM> serial(BN_new());
  ok = ok && X509_NAME_entry_count(name) > 0 && serial && BN_rand(serial.get(), 64, 0, 0) == 1 &&
       BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(ks.cert.get())) != nullptr &&
       X509_set_version(ks.cert.get(), 2) == 1 && X509_set_subject_name(ks.cert.get(), name) == 1 &&
       X509_set_issuer_name(ks.cert.get(), name) == 1 &&
       X509_gmtime_adj(X509_getm_notBefore(ks.cert.get()), 0) != nullptr &&
       X509_gmtime_adj(X509_getm_notAfter(ks.cert.get()), 86400L * days) != nullptr &&
       X509_set_pubkey(ks.cert.get(), ks.key.get()) == 1 &&
       X509_sign(ks.cert.get(), ks.key.get(), EVP_sha256()) > 0;
  X509_NAME_free(name);
  if (!ok) return fail(error, "cannot make the certificate (subject like /CN=SYS/O=Example)");
  return export_p12(ks, pin, p12, error);
}

// The certificates of a key store that carry the trusted-certificate mark,
// as the library reads them: only these are trust anchors beside the own
// certificate when the store holds a private key.
std::vector<Ptr<X509>> marked_certs(const Bytes& data, const std::string& pin) {
  std::vector<Ptr<X509>> marked;
  Ptr<PKCS12> p12 = der_to_p12(data);
  Ptr<ASN1_OBJECT> mark(OBJ_txt2obj(kTrustedCertMarkOid, 1));
  if (!p12 || !mark) return marked;
  Ptr<STACK_OF(PKCS7)> safes(PKCS12_unpack_authsafes(p12.get()));
  const char* pass = pin.empty() ? nullptr : pin.c_str();
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
    Ptr<STACK_OF(PKCS12_SAFEBAG)> bags(PKCS7_type_is_data(p7)        ? PKCS12_unpack_p7data(p7)
                                       : PKCS7_type_is_encrypted(p7) ? PKCS12_unpack_p7encdata(p7, pass, -1)
                                                                     : nullptr);
    for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
      const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags.get(), j);
      if (PKCS12_SAFEBAG_get_nid(bag) != NID_certBag ||
          X509at_get_attr_by_OBJ(PKCS12_SAFEBAG_get0_attrs(bag), mark.get(), -1) < 0)
        continue;
      if (X509* x = PKCS12_SAFEBAG_get1_cert(bag)) marked.emplace_back(x);
    }
  }
  return marked;
}

bool ListKeystore(const Bytes& p12, const std::string& pin, KeystoreEntries* out, std::string* error) {
  Parsed ks;
  if (!parse_p12(p12, pin, &ks, error)) return false;
  out->has_key = ks.key != nullptr;
  if (ks.key) out->key_type = EVP_PKEY_get0_type_name(ks.key.get());
  if (ks.cert) out->own.push_back(summarize(ks.cert.get()));
  const std::vector<Ptr<X509>> marked = ks.key ? marked_certs(p12, pin) : std::vector<Ptr<X509>>();
  for (int i = 0; ks.ca && i < sk_X509_num(ks.ca.get()); ++i) {
    X509* x = sk_X509_value(ks.ca.get(), i);
    bool is_marked = false;
    for (const Ptr<X509>& m : marked) is_marked = is_marked || X509_cmp(m.get(), x) == 0;
    // Without a private key every certificate is trusted; with one, only marked ones.
    (!ks.key || is_marked ? out->trusted : out->chain).push_back(summarize(x));
  }
  return true;
}

bool AddTrustedCert(const Bytes& p12, const std::string& pin, const Bytes& cert_der, Bytes* out,
                    std::string* error) {
  Parsed ks;
  if (!parse_p12(p12, pin, &ks, error)) return false;
  Ptr<X509> x = der_to_x509(cert_der);
  if (!x) return fail(error, "not an X.509 certificate");
  // The entries already there stay as they are (with their marks); the new
  // certificate comes in a safe of its own, marked as a trusted
  // certificate entry the way Java's keytool writes one, so the library
  // trusts it even in a key store with a private key.
  const unsigned char* p = p12.data();
  Ptr<PKCS12> in(d2i_PKCS12(nullptr, &p, static_cast<long>(p12.size())));
  STACK_OF(PKCS7)* safes = in ? PKCS12_unpack_authsafes(in.get()) : nullptr;
  if (safes == nullptr) return fail(error, "not a PKCS#12 key store");
  Ptr<STACK_OF(PKCS7)> owned_safes(safes);
  const char* pass = pin.empty() ? nullptr : pin.c_str();
  STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
  PKCS12_SAFEBAG* bag = PKCS12_add_cert(&bags, x.get());
  Ptr<STACK_OF(PKCS12_SAFEBAG)> owned_bags(bags);
  Ptr<ASN1_OBJECT> any_usage(OBJ_txt2obj(kAnyExtendedKeyUsageOid, 1));
  if (bag == nullptr || !any_usage ||
      PKCS12_add1_attr_by_txt(bag, kTrustedCertMarkOid, V_ASN1_OBJECT,
                              reinterpret_cast<const unsigned char*>(any_usage.get()), -1) != 1 ||
      PKCS12_add_safe(&safes, bags, pass ? NID_aes_256_cbc : -1, 0, pass) != 1)
    return fail(error, "out of memory");
  Ptr<PKCS12> next(PKCS12_add_safes(safes, 0));
  if (!next || (pass && PKCS12_set_mac(next.get(), pass, -1, nullptr, 0, 0, nullptr) != 1) ||
      !p12_to_der(next.get(), out))
    return fail(error, "cannot write the PKCS#12 key store");
  return true;
}

bool SignerOfSignature(const Bytes& pkcs7, std::vector<CertSummary>* certs, std::string* signer_issuer,
                       std::string* signer_serial, std::string* digest, std::string* error) {
  const unsigned char* p = pkcs7.data();
  Ptr<PKCS7> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(pkcs7.size())));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr)
    return fail(error, "signature is not PKCS#7 signed data");
  STACK_OF(X509)* included = p7->d.sign->cert;
  for (int i = 0; included && i < sk_X509_num(included); ++i)
    certs->push_back(summarize(sk_X509_value(included, i)));
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
  if (infos && sk_PKCS7_SIGNER_INFO_num(infos) > 0) {
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    *signer_issuer = name_text(si->issuer_and_serial->issuer);
    *signer_serial = serial_text(si->issuer_and_serial->serial);
    *digest = OBJ_nid2ln(OBJ_obj2nid(si->digest_alg->algorithm));
  }
  return true;
}

}  // namespace qortool
