// JWT component: evaluation of compact JSON Web Tokens (RFC 7519) signed
// with HMAC, RSA PKCS #1 v1.5, RSASSA-PSS, ECDSA (RFC 7518 section 3) or
// EdDSA (RFC 8037), with the SSF table handed over at library start.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qorjwt.h"

typedef struct ssfsup_ssflib SsfLib;
struct JwkSet;

// Results of JwtEvalToken.
enum : int32_t {
  JWT_RC_OK = 0,
  JWT_RC_NO_NAME_ID = 1,       // user attribute required but missing
  JWT_RC_EXPIRED = 4,
  JWT_RC_MALFORMED = 5,        // token, header or body
  JWT_RC_DUPLICATE = 8,        // claim given twice
  JWT_RC_NOT_INITIALIZED = 10,
  JWT_RC_NO_MEMORY = 11,
  JWT_RC_NOT_YET_VALID = 14,
  JWT_RC_STRUCT_SIZE = 15,
  JWT_RC_SIGNATURE = 20,
  JWT_RC_HEADER = 21,          // bad "typ" or no usable "alg"
  JWT_RC_CLAIM_MISSING = 23,
  JWT_RC_CLAIM_DIFFERS = 24,
  JWT_RC_NOT_BASE64 = 1281,
};

// Stores the caller's SSF table. Returns 0 (also when already
// initialised), or -1 for a missing table or a thread layer that fails.
int32_t JwtInitializeExtern(SsfLib* ssf_hdl);
// Returns 0 and changes nothing.
int32_t JwtShutdown();
// The module's SSF table, null before JwtInitializeExtern.
SsfLib* JwtSsfLib();

// Evaluates one token with `keyParam` as secret, certificate or public key.
// `nameId` names the claim of the user (may be null); `jwtInfo` may be null,
// then only the result is reported. The caller holds the SSF mutex.
int32_t JwtEvalToken(const char* inToken, size_t inLenToken, const unsigned char* keyParam,
                     size_t inLenKey, const char* nameId, size_t lenNameId, JWT_INFO* jwtInfo);
// The same with a JWK Set loaded earlier: when `keySet` is given, the
// token's "alg" and "kid" choose the key from it and `keyParam` is not used.
int32_t JwtEvalToken(const char* inToken, size_t inLenToken, const unsigned char* keyParam,
                     size_t inLenKey, const char* nameId, size_t lenNameId, JWT_INFO* jwtInfo,
                     const JwkSet* keySet);

// Source of the current time for "exp" and "nbf", seconds since 1970.
// Null restores the system clock; tests pin it to check the claim rules.
typedef int64_t (*JwtClock)();
void JwtSetClock(JwtClock clock);

// Writes the zero-terminated text into jwtInfo->lastError (at most 511
// bytes), when the record given is large enough to hold the field.
void JwtSetLastError(JWT_INFO* jwtInfo, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The error text of the record, or "" when struct_size does not cover the
// field: the library never reads what it may not have written.
const char* JwtLastError(const JWT_INFO* jwtInfo);

// Whether the caller's record, by its struct_size, holds `field` whole: no
// other field of it is read or written.
#define JWT_INFO_HAS(info, field) \
  ((info) != nullptr && (info)->struct_size >= offsetof(JWT_INFO, field) + sizeof(JWT_INFO::field))
