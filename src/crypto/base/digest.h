// SSF digests (names, SSF_HASH values and numbers) against OpenSSL's
// digests and algorithm identifiers, shared by signature verification and
// signature creation.
#pragma once

#include <stddef.h>

#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/ssf/ssftypes.h"

namespace qorcr {

// A digest name (an SSF_HASH value or a strHashalg argument) as SSF digest.
// Null/empty is SHA1. Returns SSF_API_OK, SSF_API_INVALID_MDALG for an
// unknown name, SSF_API_INSECURE_MDALG for MD2 and MD4.
int32_t DigestLookup(const char* name, SsfCharlen len, SsfDigestNo* out);

// The digest's OpenSSL implementation; null for MD2, MD4, unknown numbers
// and digests this OpenSSL build lacks (RIPEMD128).
const EVP_MD* DigestMd(SsfDigestNo d);

// Object identifier of the digest as NID (NID_undef when it has none).
int DigestNid(SsfDigestNo d);
// The SSF digest of a digest algorithm NID; SSF_DIGEST_UNKNOWN otherwise.
SsfDigestNo DigestFromNid(int nid);
// The SSF digest of an AlgorithmIdentifier naming a digest.
SsfDigestNo DigestFromAlgorithm(const X509_ALGOR* alg);

// AlgorithmIdentifier of the digest, parameters as OpenSSL writes them
// (absent for the SHA family). False for a digest without implementation
// or when out of memory.
bool DigestAlgorithmId(SsfDigestNo d, SslPtr<X509_ALGOR>* out);
bool DigestAlgorithmIdDer(SsfDigestNo d, std::vector<unsigned char>* der);

// NID of the signature algorithm for a key type (EVP_PKEY_RSA, EVP_PKEY_DSA,
// EVP_PKEY_EC) with this digest, e.g. sha256WithRSAEncryption,
// dsa_with_SHA256, ecdsa-with-SHA256; NID_undef when there is none.
int SignatureNid(int pkey_id, SsfDigestNo d);

// The digest of `len` bytes. False when the digest is unavailable or fails;
// OpenSSL's error queue is cleared then.
bool DigestCompute(SsfDigestNo d, const unsigned char* data, size_t len,
                   std::vector<unsigned char>* out);

}  // namespace qorcr
