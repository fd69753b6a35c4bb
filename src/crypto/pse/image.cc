// Key store images: PKCS#12 DER with the PIN as password (what operators'
// tools make), and PEM bundles on input.
#include <string.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include "base/bytes/reader.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

constexpr int kPbeIterations = PKCS12_DEFAULT_ITER;
constexpr int kPbeCipherNid = NID_aes_256_cbc;
constexpr int kNoEncryption = -1;
constexpr char kPemBegin[] = "-----BEGIN ";
constexpr size_t kKeyIdSize = 20;

using Safebags = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), void (*)(STACK_OF(PKCS12_SAFEBAG)*)>;
using Pkcs7s = std::unique_ptr<STACK_OF(PKCS7), void (*)(STACK_OF(PKCS7)*)>;

void free_bags(STACK_OF(PKCS12_SAFEBAG) * s) { sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free); }
void free_p7s(STACK_OF(PKCS7) * s) { sk_PKCS7_pop_free(s, PKCS7_free); }

bool is_pem(const unsigned char* data, size_t len) {
  ByteReader r(data, len);
  const size_t n = strlen(kPemBegin);
  // A PEM bundle is text with a BEGIN line somewhere; look for it boundedly.
  while (r.remaining() >= n) {
    if (memcmp(r.data(), kPemBegin, n) == 0) return true;
    r.skip(1);
  }
  return false;
}

// The whole input must be the PKCS#12 structure.
SslPtr<PKCS12> parse_p12(const unsigned char* data, size_t len) {
  if (len == 0 || len > kMaxImageSize) return nullptr;
  const unsigned char* p = data;
  SslPtr<PKCS12> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(len)));
  if (!p12 || static_cast<size_t>(p - data) != len) return nullptr;
  return p12;
}

PseStatus decode_p12(const Image& image, const std::string& pin, PseRef* out) {
  SslPtr<PKCS12> p12 = parse_p12(image.data(), image.size());
  if (!p12) return PseStatus::kCorrupt;
  const char* pass = pin.c_str();
  if (PKCS12_mac_present(p12.get())) {
    if (!PKCS12_verify_mac(p12.get(), pass, static_cast<int>(pin.size()))) {
      // A store without password opens whatever PIN comes along.
      if (PKCS12_verify_mac(p12.get(), nullptr, 0)) {
        pass = nullptr;
      } else if (PKCS12_verify_mac(p12.get(), "", 0)) {
        pass = "";
      } else {
        return PseStatus::kWrongPin;
      }
    }
  } else {
    // No MAC: a store saved without a PIN (such as the certificate store of
    // a loaded certificate), which opens whatever PIN comes along too.
    pass = nullptr;
  }
  if (Pkcs12UsesLegacyCipher(p12.get())) {
    SslPtr<EVP_PKEY> legacy_key;
    std::vector<SslPtr<X509>> legacy_certs;
    const PseStatus s = Pkcs12ParseLegacy(p12.get(), pass, &legacy_key, &legacy_certs);
    if (s != PseStatus::kOk) return s;
    return PseContents::Build(std::move(legacy_key), std::move(legacy_certs), out)
               ? PseStatus::kOk
               : PseStatus::kNoMemory;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  if (!PKCS12_parse(p12.get(), pass, &key, &cert, &ca)) return PseStatus::kCorrupt;
  SslPtr<EVP_PKEY> owned_key(key);
  SslPtr<X509> owned_cert(cert);
  X509Stack owned_ca(ca);
  std::vector<SslPtr<X509>> certs;
  if (owned_cert) certs.push_back(std::move(owned_cert));
  while (owned_ca && sk_X509_num(owned_ca.get()) > 0)
    certs.emplace_back(sk_X509_shift(owned_ca.get()));
  return PseContents::Build(std::move(owned_key), std::move(certs), out) ? PseStatus::kOk
                                                                          : PseStatus::kNoMemory;
}

struct PinArg {
  const std::string* pin;
  bool asked = false;
};

int pem_pin_cb(char* buf, int size, int, void* u) {
  auto* arg = static_cast<PinArg*>(u);
  arg->asked = true;
  const std::string& pin = *arg->pin;
  if (pin.empty() || pin.size() >= static_cast<size_t>(size)) return -1;
  memcpy(buf, pin.data(), pin.size());
  return static_cast<int>(pin.size());
}

bool is_key_block(const char* name) {
  return strcmp(name, PEM_STRING_PKCS8INF) == 0 || strcmp(name, PEM_STRING_PKCS8) == 0 ||
         strcmp(name, PEM_STRING_RSA) == 0 || strcmp(name, PEM_STRING_DSA) == 0 ||
         strcmp(name, PEM_STRING_ECPRIVATEKEY) == 0;
}

PseStatus decode_pem(const Image& image, const std::string& pin, PseRef* out) {
  if (image.size() > kMaxImageSize) return PseStatus::kCorrupt;
  SslPtr<BIO> in(BIO_new_mem_buf(image.data(), static_cast<int>(image.size())));
  if (!in) return PseStatus::kNoMemory;
  SslPtr<EVP_PKEY> key;
  std::vector<SslPtr<X509>> certs;
  for (;;) {
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long len = 0;
    if (!PEM_read_bio(in.get(), &name, &header, &data, &len)) break;
    SslBuf<char> n(name), h(header);
    SslBuf<unsigned char> d(data);
    if (strcmp(name, PEM_STRING_X509) == 0) {
      size_t used = 0;
      SslPtr<X509> x = CertFromDer(data, static_cast<size_t>(len), &used);
      if (!x || used != static_cast<size_t>(len)) return PseStatus::kCorrupt;
      certs.push_back(std::move(x));
    } else if (is_key_block(name) && !key) {
      // Let the PEM layer decrypt whatever form the key block has.
      SslPtr<BIO> block(BIO_new(BIO_s_mem()));
      if (!block || !PEM_write_bio(block.get(), name, header, data, len))
        return PseStatus::kNoMemory;
      PinArg arg{&pin};
      key.reset(PEM_read_bio_PrivateKey(block.get(), nullptr, &pem_pin_cb, &arg));
      if (!key) return arg.asked ? PseStatus::kWrongPin : PseStatus::kCorrupt;
    }
  }
  OpenSslErrorsDrop();  // the end of input reads as an error
  if (!key && certs.empty()) return PseStatus::kCorrupt;
  return PseContents::Build(std::move(key), std::move(certs), out) ? PseStatus::kOk
                                                                   : PseStatus::kNoMemory;
}

bool add_local_key_id(PKCS12_SAFEBAG* bag, X509* cert) {
  unsigned char id[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_digest(cert, EVP_sha1(), id, &n) || n != kKeyIdSize) return false;
  return PKCS12_add_localkeyid(bag, id, static_cast<int>(n)) == 1;
}

PseStatus finish_p12(Pkcs7s& safes, const std::string& pin, Image* out) {
  SslPtr<PKCS12> p12(PKCS12_add_safes(safes.get(), 0));
  if (!p12) return PseStatus::kNoMemory;
  if (!pin.empty() && !PKCS12_set_mac(p12.get(), pin.c_str(), static_cast<int>(pin.size()),
                                      nullptr, 0, kPbeIterations, EVP_sha256()))
    return PseStatus::kNoMemory;
  unsigned char* der = nullptr;
  int len = i2d_PKCS12(p12.get(), &der);
  if (len <= 0) return PseStatus::kNoMemory;
  SslBuf<unsigned char> owned(der);
  out->assign(der, der + len);
  return PseStatus::kOk;
}

}  // namespace

bool ImageLooksValid(const unsigned char* data, size_t len) {
  if (data == nullptr || len == 0 || len > kMaxImageSize) return false;
  bool ok = parse_p12(data, len) != nullptr || is_pem(data, len);
  OpenSslErrorsDrop();
  return ok;
}

PseStatus ImageDecode(const Image& image, const std::string& pin, PseRef* out) {
  if (image.empty()) return PseContents::Build(nullptr, {}, out) ? PseStatus::kOk
                                                                 : PseStatus::kNoMemory;
  PseStatus s = is_pem(image.data(), image.size()) && !parse_p12(image.data(), image.size())
                    ? decode_pem(image, pin, out)
                    : decode_p12(image, pin, out);
  if (s != PseStatus::kOk) ErrorPushOpenSsl(static_cast<int32_t>(PseStatusCode(s)), "ImageDecode",
                                            PseStatusText(s));
  return s;
}

PseStatus ImageEmpty(const std::string& pin, Image* out) {
  Pkcs7s safes(sk_PKCS7_new_null(), &free_p7s);
  if (!safes) return PseStatus::kNoMemory;
  return finish_p12(safes, pin, out);
}

PseStatus ImageEncode(const PseContents& contents, const std::string& pin, Image* out) {
  const char* pass = pin.empty() ? nullptr : pin.c_str();
  const int nid = pin.empty() ? kNoEncryption : kPbeCipherNid;
  Pkcs7s safes(sk_PKCS7_new_null(), &free_p7s);
  if (!safes) return PseStatus::kNoMemory;
  if (!contents.certs().empty()) {
    STACK_OF(PKCS12_SAFEBAG)* raw = nullptr;
    for (const auto& c : contents.certs()) {
      PKCS12_SAFEBAG* bag = PKCS12_add_cert(&raw, c.get());
      if (bag == nullptr || (c.get() == contents.own_cert() && !add_local_key_id(bag, c.get()))) {
        free_bags(raw);
        return PseStatus::kNoMemory;
      }
    }
    Safebags bags(raw, &free_bags);
    STACK_OF(PKCS7)* s = safes.release();
    bool ok = PKCS12_add_safe(&s, bags.get(), nid, kPbeIterations, pass) == 1;
    safes.reset(s);
    if (!ok) return PseStatus::kNoMemory;
  }
  if (contents.private_key() != nullptr) {
    STACK_OF(PKCS12_SAFEBAG)* raw = nullptr;
    PKCS12_SAFEBAG* bag =
        PKCS12_add_key(&raw, contents.private_key(), 0, kPbeIterations, nid, pass);
    Safebags bags(raw, &free_bags);
    if (bag == nullptr ||
        (contents.own_cert() != nullptr && !add_local_key_id(bag, contents.own_cert())))
      return PseStatus::kNoMemory;
    STACK_OF(PKCS7)* s = safes.release();
    bool ok = PKCS12_add_safe(&s, bags.get(), kNoEncryption, 0, nullptr) == 1;
    safes.reset(s);
    if (!ok) return PseStatus::kNoMemory;
  }
  return finish_p12(safes, pin, out);
}

}  // namespace qorcr
