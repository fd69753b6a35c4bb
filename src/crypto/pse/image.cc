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
constexpr long kMaxPbeIterations = 1000000;
// The attribute Java's key tool puts on a PKCS#12 trusted-certificate entry.
constexpr char kTrustedCertMarkOid[] = "2.16.840.1.113894.746875.1.1";
constexpr char kAnyExtendedKeyUsageOid[] = "2.5.29.37.0";

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

// The iteration count of a password-based encryption algorithm (PBES1 or
// PBES2 with PBKDF2); -1 when it cannot be read or uses another key
// derivation.
long pbe_iterations(const X509_ALGOR* alg) {
  const ASN1_OBJECT* oid = nullptr;
  const void* param = nullptr;
  int ptype = 0;
  X509_ALGOR_get0(&oid, &ptype, &param, alg);
  if (ptype != V_ASN1_SEQUENCE) return -1;
  ASN1_TYPE wrapped;
  wrapped.type = V_ASN1_SEQUENCE;
  wrapped.value.sequence = static_cast<ASN1_STRING*>(const_cast<void*>(param));
  long iter = -1;
  if (OBJ_obj2nid(oid) == NID_pbes2) {
    std::unique_ptr<PBE2PARAM, void (*)(PBE2PARAM*)> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), &wrapped)),
        PBE2PARAM_free);
    if (!pbe2 || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2) return -1;
    std::unique_ptr<PBKDF2PARAM, void (*)(PBKDF2PARAM*)> kdf(
        static_cast<PBKDF2PARAM*>(
            ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbe2->keyfunc->parameter)),
        PBKDF2PARAM_free);
    if (kdf) iter = ASN1_INTEGER_get(kdf->iter);
  } else {
    std::unique_ptr<PBEPARAM, void (*)(PBEPARAM*)> pbe(
        static_cast<PBEPARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBEPARAM), &wrapped)),
        PBEPARAM_free);
    if (pbe) iter = ASN1_INTEGER_get(pbe->iter);
  }
  return iter;
}

// No tool writes more iterations than this; more only make every wrong PIN
// cost seconds.
bool iterations_ok(const X509_ALGOR* alg) {
  const long iter = pbe_iterations(alg);
  return iter >= 1 && iter <= kMaxPbeIterations;
}

bool mac_iterations_ok(const PKCS12* p12) {
  const ASN1_INTEGER* iter = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &iter, p12);
  const long n = iter == nullptr ? 1 : ASN1_INTEGER_get(iter);
  return n >= 1 && n <= kMaxPbeIterations;
}

// Whether a certificate bag carries the trusted-certificate mark.
bool bag_marked_trusted(const PKCS12_SAFEBAG* bag) {
  SslPtr<ASN1_OBJECT> mark(OBJ_txt2obj(kTrustedCertMarkOid, 1));
  return mark && X509at_get_attr_by_OBJ(PKCS12_SAFEBAG_get0_attrs(bag), mark.get(), -1) >= 0;
}

// What the safe bags of an image hold.
struct BagContents {
  SslPtr<EVP_PKEY> key;
  std::vector<SslPtr<X509>> certs;
  std::vector<bool> marked;
};

PseStatus read_bags(const STACK_OF(PKCS12_SAFEBAG) * bags, const char* pass, int depth,
                    BagContents* out) {
  const int pass_len = pass == nullptr ? 0 : static_cast<int>(strlen(pass));
  for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
    const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
    switch (PKCS12_SAFEBAG_get_nid(bag)) {
      case NID_keyBag:
        if (!out->key) out->key.reset(EVP_PKCS82PKEY(PKCS12_SAFEBAG_get0_p8inf(bag)));
        break;
      case NID_pkcs8ShroudedKeyBag: {
        if (out->key) break;
        const X509_ALGOR* alg = nullptr;
        X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &alg, nullptr);
        if (!iterations_ok(alg)) return PseStatus::kCorrupt;
        SslPtr<PKCS8_PRIV_KEY_INFO> p8(PKCS12_decrypt_skey(bag, pass, pass_len));
        if (!p8) return PseStatus::kCorrupt;
        out->key.reset(EVP_PKCS82PKEY(p8.get()));
        if (!out->key) return PseStatus::kCorrupt;
        break;
      }
      case NID_certBag: {
        if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate) break;
        SslPtr<X509> x(PKCS12_SAFEBAG_get1_cert(bag));
        if (!x) return PseStatus::kCorrupt;
        out->certs.push_back(std::move(x));
        out->marked.push_back(bag_marked_trusted(bag));
        break;
      }
      case NID_safeContentsBag:
        if (depth > 0) return PseStatus::kCorrupt;
        if (PseStatus s = read_bags(PKCS12_SAFEBAG_get0_safes(bag), pass, depth + 1, out);
            s != PseStatus::kOk)
          return s;
        break;
      default:
        break;  // CRL and secret bags are not ours
    }
  }
  return PseStatus::kOk;
}

PseStatus read_safes(PKCS12* p12, const char* pass, BagContents* out) {
  Pkcs7s safes(PKCS12_unpack_authsafes(p12), &free_p7s);
  if (!safes) return PseStatus::kCorrupt;
  const int pass_len = pass == nullptr ? 0 : static_cast<int>(strlen(pass));
  for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
    Safebags bags(nullptr, &free_bags);
    switch (OBJ_obj2nid(p7->type)) {
      case NID_pkcs7_data:
        bags.reset(PKCS12_unpack_p7data(p7));
        break;
      case NID_pkcs7_encrypted:
        if (p7->d.encrypted == nullptr || !iterations_ok(p7->d.encrypted->enc_data->algorithm))
          return PseStatus::kCorrupt;
        bags.reset(PKCS12_unpack_p7encdata(p7, pass, pass_len));
        break;
      default:
        continue;
    }
    if (!bags) return PseStatus::kCorrupt;
    if (PseStatus s = read_bags(bags.get(), pass, 0, out); s != PseStatus::kOk) return s;
  }
  return PseStatus::kOk;
}

PseStatus decode_p12(const Image& image, const std::string& pin, PseRef* out) {
  SslPtr<PKCS12> p12 = parse_p12(image.data(), image.size());
  if (!p12) return PseStatus::kCorrupt;
  const char* pass = pin.c_str();
  if (PKCS12_mac_present(p12.get())) {
    if (!mac_iterations_ok(p12.get())) return PseStatus::kCorrupt;
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
  BagContents bags;
  // Images with the old ciphers are read with the legacy provider, and their
  // key is moved into the default context before it leaves.
  const bool legacy = Pkcs12UsesLegacyCipher(p12.get());
  PseStatus s = legacy ? WithLegacyProvider([&] { return read_safes(p12.get(), pass, &bags); })
                       : read_safes(p12.get(), pass, &bags);
  if (s == PseStatus::kOk && legacy) s = KeyIntoDefaultContext(&bags.key);
  if (s != PseStatus::kOk) return s;
  return PseContents::Build(std::move(bags.key), std::move(bags.certs), bags.marked, out)
             ? PseStatus::kOk
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
  // A PEM bundle cannot mark certificates: with a key, only its own certificate is trusted.
  return PseContents::Build(std::move(key), std::move(certs), {}, out) ? PseStatus::kOk
                                                                       : PseStatus::kNoMemory;
}

bool add_local_key_id(PKCS12_SAFEBAG* bag, X509* cert) {
  unsigned char id[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_digest(cert, EVP_sha1(), id, &n) || n != kKeyIdSize) return false;
  return PKCS12_add_localkeyid(bag, id, static_cast<int>(n)) == 1;
}

// Marks a certificate bag as a trusted certificate for any purpose, as
// Java's key tool does.
bool add_trusted_mark(PKCS12_SAFEBAG* bag) {
  SslPtr<ASN1_OBJECT> usage(OBJ_txt2obj(kAnyExtendedKeyUsageOid, 1));
  return usage && PKCS12_add1_attr_by_txt(bag, kTrustedCertMarkOid, V_ASN1_OBJECT,
                                          reinterpret_cast<const unsigned char*>(usage.get()),
                                          -1) == 1;
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
  if (image.empty()) return PseContents::Build(nullptr, {}, {}, out) ? PseStatus::kOk
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
    for (size_t i = 0; i < contents.certs().size(); ++i) {
      X509* c = contents.certs()[i].get();
      PKCS12_SAFEBAG* bag = PKCS12_add_cert(&raw, c);
      const bool own = c == contents.own_cert();
      if (bag == nullptr || (own && !add_local_key_id(bag, c)) ||
          (!own && contents.IsAnchor(i) && !add_trusted_mark(bag))) {
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
