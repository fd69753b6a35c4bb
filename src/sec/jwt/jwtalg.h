// The JWS "alg" names of RFC 7518 section 3.1 and RFC 8037 that tokens and
// JSON Web Keys may carry, and what each one needs of its key.
#pragma once

#include <stddef.h>

#include "crypto/sig/jws.h"
#include "qorjwt.h"

// The algorithm `name` names exactly; JWT_ALG_UNDEFINED for any other text.
JWT_ALG_TYPE JwtAlgByName(const unsigned char* name, size_t len);

bool JwtAlgIsHmac(JWT_ALG_TYPE alg);

// The HMAC's length in bytes, the least size of its key (RFC 7518
// section 3.2); 0 for the other algorithms.
size_t JwtAlgHmacLen(JWT_ALG_TYPE alg);

// The signature algorithm of the crypto library for RS, PS, ES and EdDSA;
// false for HS and unknown values.
bool JwtAlgJws(JWT_ALG_TYPE alg, JwsAlg* out);
