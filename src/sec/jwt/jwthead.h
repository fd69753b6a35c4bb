// The header of a compact token (RFC 7515 section 4): tokenized and walked
// into the facts the evaluation needs, handed back as one value.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qorjwt.h"
#include "sec/jwt/jwtjson.h"

struct JwtHeaderFacts {
  int32_t rc = 0;               // JWT_RC_OK, or the failure that `error` names
  const char* error = nullptr;
  JWT_ALG_TYPE alg = JWT_ALG_UNDEFINED;
  const char* hash = nullptr;   // digest name of "alg"; null for the algorithms added later
  jwtjson::Range kid;           // "kid" for the caller's record, read only when `kid_wanted`
  // The "kid" that chooses a key of a JWK Set, read in any case; unusable
  // when it is not a string or is given twice differently.
  jwtjson::Range select_kid;
  bool select_kid_bad = false;
};

// The facts of the decoded header `p`/`n`; their ranges point into `p`.
// `kid_wanted` says the caller's record has room for "kid". Each thread
// keeps the facts of the last header it read, so a stream of tokens that
// share one header tokenizes it once.
JwtHeaderFacts JwtReadHeader(const unsigned char* p, size_t n, bool kid_wanted);
