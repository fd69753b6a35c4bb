// Reaches JwkSetParse (the JSON tokenizer, the member reader, Base64url and
// the crypto library's key builders for RSA, EC, OKP) and JwkSetSelect.
// Invariants: a set that parses holds at least one key; a chosen key fits
// the algorithm and carries the "kid" asked for.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "sec/jwt/jwkset.h"
#include "sec/jwt/jwtalg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JwkSetRef set;
  if (JwkSetParse(data, size, &set) != JwkSetStatus::kOk) {
    if (set) abort();
    return 0;
  }
  if (!set || set->keys.empty()) abort();
  for (JWT_ALG_TYPE alg = JWT_ALG_HS256; alg <= JWT_ALG_EDDSA; ++alg) {
    for (const Jwk& k : set->keys) {
      const Jwk* got = nullptr;
      const auto* kid = reinterpret_cast<const unsigned char*>(k.kid.data());
      const JwkPick pick = JwkSetSelect(*set, alg, k.has_kid ? kid : nullptr, k.kid.size(), &got);
      if (pick != JwkPick::kFound) continue;
      if (got == nullptr || (k.has_kid && got->kid != k.kid)) abort();
      JwsAlg jws;
      const bool fits = JwtAlgIsHmac(alg) ? !got->secret.empty() && !got->key
                                          : got->key && JwtAlgJws(alg, &jws) && JwsKeyFits(*got->key, jws);
      if (!fits) abort();
    }
  }
  return 0;
}
