// JSON Web Key Sets (RFC 7517 section 5): the parsed, immutable set of
// verification keys that a key load holds or a caller passes with a token,
// and the choice of one key for a token's "alg" and "kid".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "crypto/sig/jws.h"
#include "qorjwt.h"

// One usable key of a set.
struct Jwk {
  Jwk() = default;
  Jwk(const Jwk&) = delete;
  Jwk& operator=(const Jwk&) = delete;
  Jwk(Jwk&&) = default;
  ~Jwk();

  std::string kid;  // raw JSON text between the quotes, as a token's "kid" is
  bool has_kid = false;
  JWT_ALG_TYPE alg = JWT_ALG_UNDEFINED;  // the key's "alg"; undefined when absent
  JwsKeyRef key;                         // kty RSA, EC, OKP
  std::vector<unsigned char> secret;     // kty oct; wiped with the key
};

struct JwkSet {
  std::vector<Jwk> keys;
  // "kid" values of members that were read but cannot verify anything
  // ("use" other than "sig", an unknown curve, ...), for a precise error.
  std::vector<std::string> unusable_kids;
};
using JwkSetRef = std::shared_ptr<const JwkSet>;

enum class JwkSetStatus {
  kOk,
  kBadJson,      // not a JSON object with a "keys" array of objects
  kNoUsableKey,  // no member can verify a JWS
  kWeakRsa,      // an RSA key under 2048 bits
  kNoMemory,
};

// Parses a JWK Set. Members that cannot verify (kty or curve we do not
// know, "use" other than "sig", "key_ops" without "verify", broken values)
// are left out; an RSA key under 2048 bits fails the whole set.
JwkSetStatus JwkSetParse(const unsigned char* json, size_t len, JwkSetRef* out);

// Whether key bytes are a JSON object, and so a JWK Set (or a mistake) and
// never an HMAC secret, a certificate or a public key.
bool JwkSetIsJson(const unsigned char* key, size_t len);

// JwkSetParse for key bytes passed with a token, answered from a small
// cache of recent inputs (compared in full). Null when they do not parse.
JwkSetRef JwkSetFromKeyBytes(const unsigned char* key, size_t len);

enum class JwkPick {
  kFound,
  kUnknownKid,     // no key has the token's "kid"
  kKidDoesNotFit,  // keys with the "kid" exist, none may serve the algorithm
  kNoneFits,       // no "kid" in the token and no key fits
  kSeveralFit,     // more than one key fits and nothing tells them apart
};

// The one key of `set` for a token with algorithm `alg` and, when
// `kid` is non-null, that "kid" (raw text, compared byte for byte).
JwkPick JwkSetSelect(const JwkSet& set, JWT_ALG_TYPE alg, const unsigned char* kid, size_t kid_len,
                     const Jwk** out);
