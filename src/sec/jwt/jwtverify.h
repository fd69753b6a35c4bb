// Checking the signature of a compact token against a key or a JWK Set.
#pragma once

#include <stddef.h>

#include "base/bytes/reader.h"
#include "qorjwt.h"
#include "sec/jwt/jwkset.h"
#include "sec/tavrisso/ssf/table.h"

// What the token's header decided for its signature check.
struct JwtSignatureCheck {
  SsfLib* ssf;
  JWT_ALG_TYPE alg;
  const char* hash;  // digest name of the algorithm
  // The "kid" that chooses a key of a JWK Set: absent, its bytes, or
  // unusable (not a string, or given twice differently).
  const unsigned char* kid;
  size_t kid_len;
  bool kid_seen;
  bool kid_bad;
};

// Checks `sig` over `signing_input` with `set` when given (or when `key` is
// a JWK Set), else with `key`. Null when the signature is valid, else the
// error text for the caller.
const char* JwtCheckSignature(const JwtSignatureCheck& c, const unsigned char* key, size_t key_len,
                              const JwkSet* set, ByteReader signing_input, const unsigned char* sig_p,
                              size_t sig_n);
