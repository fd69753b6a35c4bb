// Strict validity times, key strength and signing usage of certificates.
#include "crypto/cert/certcheck.h"

#include <openssl/core_names.h>
#include <openssl/err.h>

namespace qorcr {
namespace {

constexpr int kUtcTimeLength = 13;          // YYMMDDHHMMSSZ
constexpr int kGeneralizedTimeLength = 15;  // YYYYMMDDHHMMSSZ
constexpr int kMinRsaBits = 1024;
constexpr int kMaxRsaExponentBits = 32;     // an odd exponent up to 2^32 - 1

bool rsa_strong(EVP_PKEY* key) {
  if (EVP_PKEY_get_bits(key) < kMinRsaBits) return false;
  BIGNUM* e = nullptr;
  if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e) != 1) {
    ERR_raise(ERR_LIB_EVP, ERR_R_MALLOC_FAILURE);  // an RSA key always has an exponent
    return false;
  }
  SslPtr<BIGNUM> owned(e);
  return BN_is_odd(e) && !BN_is_one(e) && BN_num_bits(e) <= kMaxRsaExponentBits;
}

// OpenSSL's own checks: domain parameters (quick form: no primality test,
// which would cost far more than a verify) and the public value against them.
bool pkey_checks(EVP_PKEY* key) {
  SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx) {
    ERR_raise(ERR_LIB_EVP, ERR_R_MALLOC_FAILURE);
    return false;
  }
  return EVP_PKEY_param_check_quick(ctx.get()) == 1 &&
         EVP_PKEY_public_check(ctx.get()) == 1;
}

}  // namespace

bool TimeIsStrictDer(const ASN1_TIME* t) {
  if (t == nullptr) return false;
  const int type = ASN1_STRING_type(t);
  const int len = ASN1_STRING_length(t);
  if (!(type == V_ASN1_UTCTIME && len == kUtcTimeLength) &&
      !(type == V_ASN1_GENERALIZEDTIME && len == kGeneralizedTimeLength))
    return false;
  const unsigned char* s = ASN1_STRING_get0_data(t);
  for (int i = 0; i < len - 1; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  if (s[len - 1] != 'Z') return false;
  // Month, day (in its month and year), hour, minute and second in range.
  struct tm tm;
  return ASN1_TIME_check(t) == 1 && ASN1_TIME_to_tm(t, &tm) == 1;
}

bool CertTimesStrict(X509* x) {
  return TimeIsStrictDer(X509_get0_notBefore(x)) && TimeIsStrictDer(X509_get0_notAfter(x));
}

KeyStrength KeyCheck(EVP_PKEY* key) {
  if (key == nullptr) return KeyStrength::kWeak;
  ERR_set_mark();
  bool ok = false;
  switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
    case EVP_PKEY_RSA_PSS:
      ok = rsa_strong(key);
      break;
    case EVP_PKEY_DSA:
    case EVP_PKEY_EC:
      ok = pkey_checks(key);
      break;
    default:
      // Other types (EdDSA) have no degenerate public values to refuse here.
      ok = true;
      break;
  }
  const bool no_memory = !ok && ERR_GET_REASON(ERR_peek_last_error()) == ERR_R_MALLOC_FAILURE;
  ERR_pop_to_mark();
  if (ok) return KeyStrength::kStrong;
  return no_memory ? KeyStrength::kUnknown : KeyStrength::kWeak;
}

bool CertMaySign(X509* x) {
  if ((X509_get_extension_flags(x) & EXFLAG_KUSAGE) == 0) return true;
  return (X509_get_key_usage(x) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0;
}

}  // namespace qorcr
