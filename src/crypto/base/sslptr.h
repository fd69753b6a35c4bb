// Owning pointers for OpenSSL objects, so every path releases what it made.
#pragma once

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/dsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

namespace qorcr {

template <typename T>
struct SslDeleter;

#define QORCR_SSL_DELETER(type, fn) \
  template <>                       \
  struct SslDeleter<type> {         \
    void operator()(type* p) const { fn(p); } \
  }

QORCR_SSL_DELETER(X509, X509_free);
QORCR_SSL_DELETER(X509_NAME, X509_NAME_free);
QORCR_SSL_DELETER(X509_STORE, X509_STORE_free);
QORCR_SSL_DELETER(X509_STORE_CTX, X509_STORE_CTX_free);
QORCR_SSL_DELETER(EVP_PKEY, EVP_PKEY_free);
QORCR_SSL_DELETER(EVP_MD_CTX, EVP_MD_CTX_free);
QORCR_SSL_DELETER(EVP_ENCODE_CTX, EVP_ENCODE_CTX_free);
QORCR_SSL_DELETER(PKCS12, PKCS12_free);
QORCR_SSL_DELETER(PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free);
QORCR_SSL_DELETER(BIO, BIO_free_all);
QORCR_SSL_DELETER(BIGNUM, BN_free);
QORCR_SSL_DELETER(ASN1_OCTET_STRING, ASN1_OCTET_STRING_free);
QORCR_SSL_DELETER(BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_free);
QORCR_SSL_DELETER(CMS_ContentInfo, CMS_ContentInfo_free);
QORCR_SSL_DELETER(X509_ALGOR, X509_ALGOR_free);
QORCR_SSL_DELETER(ASN1_OBJECT, ASN1_OBJECT_free);
QORCR_SSL_DELETER(EVP_PKEY_CTX, EVP_PKEY_CTX_free);
QORCR_SSL_DELETER(DSA_SIG, DSA_SIG_free);
QORCR_SSL_DELETER(OSSL_PARAM_BLD, OSSL_PARAM_BLD_free);
QORCR_SSL_DELETER(OSSL_PARAM, OSSL_PARAM_free);
QORCR_SSL_DELETER(EVP_MAC, EVP_MAC_free);
QORCR_SSL_DELETER(EVP_MAC_CTX, EVP_MAC_CTX_free);

#undef QORCR_SSL_DELETER

template <typename T>
using SslPtr = std::unique_ptr<T, SslDeleter<T>>;

// A stack of certificates owns its elements.
struct X509StackDeleter {
  void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};
using X509Stack = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// OPENSSL_free for buffers OpenSSL allocated (i2d output, texts).
struct OpenSslFree {
  void operator()(void* p) const { OPENSSL_free(p); }
};
template <typename T>
using SslBuf = std::unique_ptr<T, OpenSslFree>;

// What the i2d_ call passed to `encode` writes, into *out; false (OpenSSL's
// errors dropped) when it writes nothing.
template <typename F>
bool I2dBytes(F encode, std::vector<unsigned char>* out) {
  unsigned char* p = nullptr;
  const int n = encode(&p);
  SslBuf<unsigned char> owned(p);
  if (n <= 0) {
    ERR_clear_error();
    return false;
  }
  out->assign(p, p + n);
  return true;
}

// A new reference to `x`.
inline SslPtr<X509> X509Ref(X509* x) {
  if (x != nullptr) X509_up_ref(x);
  return SslPtr<X509>(x);
}

}  // namespace qorcr
