// PKCS#12 images encrypted with the old PBE ciphers (RC2, RC4, single DES),
// as "openssl pkcs12 -legacy", older keytool versions and many existing
// stores write them. Those ciphers live in OpenSSL's legacy provider, which
// is loaded on the first such image into a library context of its own:
// nothing else in the process sees the old ciphers, and the key is read back
// into the default context before it leaves.
#include <openssl/objects.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>

#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

bool legacy_cipher(const X509_ALGOR* alg) {
  switch (OBJ_obj2nid(alg->algorithm)) {
    case NID_pbe_WithSHA1And128BitRC4:
    case NID_pbe_WithSHA1And40BitRC4:
    case NID_pbe_WithSHA1And128BitRC2_CBC:
    case NID_pbe_WithSHA1And40BitRC2_CBC:
    case NID_pbeWithMD2AndDES_CBC:
    case NID_pbeWithMD5AndDES_CBC:
    case NID_pbeWithMD2AndRC2_CBC:
    case NID_pbeWithMD5AndRC2_CBC:
    case NID_pbeWithSHA1AndDES_CBC:
    case NID_pbeWithSHA1AndRC2_CBC:
      return true;
    default:
      return false;
  }
}

struct P7sDeleter {
  void operator()(STACK_OF(PKCS7) * s) const { sk_PKCS7_pop_free(s, PKCS7_free); }
};
struct BagsDeleter {
  void operator()(STACK_OF(PKCS12_SAFEBAG) * s) const { sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free); }
};

// The legacy and default providers in a context of their own, made once;
// null when the legacy provider is not installed.
OSSL_LIB_CTX* legacy_context() {
  static OSSL_LIB_CTX* const ctx = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    if (c == nullptr) return c;
    if (OSSL_PROVIDER_load(c, "default") == nullptr || OSSL_PROVIDER_load(c, "legacy") == nullptr) {
      OSSL_LIB_CTX_free(c);
      return static_cast<OSSL_LIB_CTX*>(nullptr);
    }
    return c;
  }();
  return ctx;
}

}  // namespace

bool Pkcs12UsesLegacyCipher(PKCS12* p12) {
  std::unique_ptr<STACK_OF(PKCS7), P7sDeleter> safes(PKCS12_unpack_authsafes(p12));
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
    if (PKCS7_type_is_encrypted(p7)) {
      if (p7->d.encrypted != nullptr && p7->d.encrypted->enc_data != nullptr &&
          legacy_cipher(p7->d.encrypted->enc_data->algorithm))
        return true;
      continue;
    }
    std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), BagsDeleter> bags(PKCS12_unpack_p7data(p7));
    for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
      const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(sk_PKCS12_SAFEBAG_value(bags.get(), j));
      const X509_ALGOR* alg = nullptr;
      if (shrouded == nullptr) continue;
      X509_SIG_get0(shrouded, &alg, nullptr);
      if (alg != nullptr && legacy_cipher(alg)) return true;
    }
  }
  return false;
}

PseStatus WithLegacyProvider(const std::function<PseStatus()>& decode) {
  OSSL_LIB_CTX* ctx = legacy_context();
  if (ctx == nullptr) return PseStatus::kCorrupt;
  // The default context is per thread, so only this decode sees the legacy one.
  OSSL_LIB_CTX* previous = OSSL_LIB_CTX_set0_default(ctx);
  const PseStatus s = decode();
  OSSL_LIB_CTX_set0_default(previous);
  return s;
}

PseStatus KeyIntoDefaultContext(SslPtr<EVP_PKEY>* key) {
  if (!*key) return PseStatus::kOk;
  SslPtr<PKCS8_PRIV_KEY_INFO> p8(EVP_PKEY2PKCS8(key->get()));
  if (!p8) return PseStatus::kNoMemory;
  key->reset(EVP_PKCS82PKEY(p8.get()));
  return *key ? PseStatus::kOk : PseStatus::kCorrupt;
}

}  // namespace qorcr
