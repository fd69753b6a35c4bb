// Loading a JWK Set as the ticket key for tokens.
#include "sec/tavrisso/api/jwks_load.h"

#include <string.h>

#include "crypto/hash/hashapi.h"
#include "sec/tavrisso/api/state.h"

namespace {

constexpr const char* TRC_MODULE = kTavriExtModule;

JwkSetRef loaded_set;  // guarded by ssf_rmtx

}  // namespace

JwkSetRef TavriLoadedJwkSet() { return loaded_set; }

void TavriDropJwkSet() { loaded_set.reset(); }

int32_t TavriLoadJwkSet(const unsigned char* pKey, int32_t lKey) {
  // The set is the JWT key from now on: no earlier secret or certificate
  // bytes may answer for it, whether it loads or not.
  crypt_cleanse(X509Key, sizeof X509Key);
  X509KeyLen = 0;
  JwkSetRef set;
  switch (JwkSetParse(pKey, static_cast<size_t>(lKey), &set)) {
    case JwkSetStatus::kOk:
      loaded_set = std::move(set);
      TAVRI_TRC(2, "Token key as JWK Set with %d keys loaded \n", static_cast<int>(loaded_set->keys.size()));
      return kRcOk;
    case JwkSetStatus::kBadJson:
      TAVRI_ERR("JWK Set is not a JSON object with a keys array. \n");
      break;
    case JwkSetStatus::kNoUsableKey:
      TAVRI_ERR("JWK Set holds no key usable for token verification. \n");
      break;
    case JwkSetStatus::kWeakRsa:
      TAVRI_ERR("JWK Set holds an RSA key of less than 2048 bits. \n");
      break;
    case JwkSetStatus::kNoMemory:
      TAVRI_ERR("JWK Set could not be loaded: out of memory. \n");
      // A failed load leaves no key behind, the memory key store included.
      TavriReleaseLoadedKey();
      return kRcNoMemory;
  }
  TavriReleaseLoadedKey();
  return kRcInvalid;
}
