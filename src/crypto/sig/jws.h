// Ready public keys and signature checks for the JWS algorithms of the JWT
// code (RFC 7518 section 3, RFC 8037): RSASSA-PKCS1-v1_5, RSASSA-PSS,
// ECDSA with fixed-width R || S, and EdDSA. No OpenSSL types here: the JWT
// code outside the crypto library includes this header.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>

enum class JwsAlg { kRS256, kRS384, kRS512, kPS256, kPS384, kPS512, kES256, kES384, kES512, kEdDSA };

// What a key is, which decides the algorithms it may serve.
enum class JwsKeyKind { kOther, kRsa, kP256, kP384, kP521, kEd25519, kEd448 };

// An immutable public key, decoded once and shared by any number of threads.
struct JwsKey;
using JwsKeyRef = std::shared_ptr<const JwsKey>;

// A certificate (DER, PEM or Base64) or a public key (SubjectPublicKeyInfo
// as DER or PEM, or PEM RSA PUBLIC KEY). Null when the bytes are neither.
// Answered from a small cache of recent inputs, compared in full.
JwsKeyRef JwsKeyFromBytes(const unsigned char* key, size_t len);

// Keys from the members of a JSON Web Key (RFC 7518 section 6), values as
// big-endian bytes. Null when the values do not make a sound key: an even
// modulus or exponent, a point off the curve, a wrong length.
JwsKeyRef JwsKeyFromRsa(const unsigned char* n, size_t n_len, const unsigned char* e, size_t e_len);
// `curve` is kP256, kP384 or kP521; `x` and `y` have the field's full length.
JwsKeyRef JwsKeyFromEc(JwsKeyKind curve, const unsigned char* x, size_t x_len, const unsigned char* y,
                       size_t y_len);
// `curve` is kEd25519 or kEd448.
JwsKeyRef JwsKeyFromOkp(JwsKeyKind curve, const unsigned char* x, size_t x_len);

JwsKeyKind JwsKeyKindOf(const JwsKey& key);
// Whether the key passed the checks every verifying key must pass (RSA:
// odd exponent from 3 to 2^32, 1024 bits at least; EC: OpenSSL's public key
// and parameter checks). An unsound key fits no algorithm.
bool JwsKeySound(const JwsKey& key);
// Size of the key in bits (modulus, field).
int JwsKeyBits(const JwsKey& key);

// Whether `key` may serve `alg`: a sound key, and RS with RSA, PS with RSA of 2048 bits or
// more (RFC 7518 section 3.5), ES256/384/512 with P-256/384/521, EdDSA with
// Ed25519 or Ed448.
bool JwsKeyFits(const JwsKey& key, JwsAlg alg);

// True when `sig` is a valid signature of `input` under `key` with `alg`;
// false for any other outcome, a key that does not fit included. OpenSSL's
// error queue is left empty.
bool JwsVerify(const JwsKey& key, JwsAlg alg, const unsigned char* input, size_t input_len,
               const unsigned char* sig, size_t sig_len);
