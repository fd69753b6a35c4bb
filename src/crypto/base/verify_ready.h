// Signature checks with a digest context set up once per key and digest on
// each thread: a fresh setup looks the key type and the digest up by name,
// which costs more than the rest of a check around an RSA verification.
#pragma once

#include <stddef.h>

#include "crypto/base/sslptr.h"

namespace qorcr {

// EVP_DigestVerify of `sig` over `data` with `key` and `md`, from a copy of
// this thread's context ready for them. False on a wrong signature or any
// failure (OpenSSL's error queue tells which).
bool DigestVerifyReady(EVP_PKEY* key, const EVP_MD* md, const unsigned char* sig, size_t sig_len,
                       const unsigned char* data, size_t len);

// EVP_PKEY_verify of `sig` over the ready digest `dgst` with `key` and `md`
// (an RSA key with PKCS#1 v1.5 padding), with this thread's context set up
// for them. False on a wrong signature or any failure.
bool PkeyVerifyReady(EVP_PKEY* key, const EVP_MD* md, const unsigned char* sig, size_t sig_len,
                     const unsigned char* dgst, size_t dgst_len);

}  // namespace qorcr
