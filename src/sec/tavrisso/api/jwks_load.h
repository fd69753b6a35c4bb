// The JSON Web Key Set loaded with key type 5: a parsed, immutable set that
// the JWT evaluation chooses from by "kid" when the caller passes no key.
#pragma once

#include <stdint.h>

#include "sec/jwt/jwkset.h"

// The loaded set, null when none. The caller holds ssf_rmtx.
JwkSetRef TavriLoadedJwkSet();
// Forgets the loaded set; every key load and the shut-down start here.
void TavriDropJwkSet();
// Type 5 of TavriLoadTicketKey: 0, or 9 (11 out of memory) with a trace
// line, the JWT key bytes cleared either way. The caller holds ssf_rmtx.
int32_t TavriLoadJwkSet(const unsigned char* pKey, int32_t lKey);
