// The exported JWT entry: input checks, then one evaluation with the key snapshot.
#include <string.h>

#include <new>

#include "qorjwt.h"
#include "sec/jwt/jwt.h"
#include "sec/tavrisso/api/jwks_load.h"
#include "sec/tavrisso/api/key_snapshot.h"
#include "sec/tavrisso/api/state.h"

namespace {
constexpr char TRC_MODULE[] = "sec/tavrisso/ssoxxjwt";

int32_t eval_token(const char* token, size_t token_len, const unsigned char* key, size_t key_len,
                   const char* user_attribute, JWT_INFO* info) {
  // Without a key of the caller, the one loaded by TavriLoadTicketKey: a
  // JWK Set, or the bytes of a secret or certificate, as loaded now.
  TavriKeyRef loaded;  // read only when needed: a caller's own key makes it irrelevant
  JwkSetRef set;
  if (key == nullptr) {
    loaded = TavriCurrentKey();
    set = loaded->jwks;
    key = loaded->key.data();
    key_len = loaded->key.size();
  }
  const size_t name_len = user_attribute ? strlen(user_attribute) : 0;
  return JwtEvalToken(token, token_len, key, key_len, user_attribute, name_len, info, set.get());
}
}  // namespace

extern "C" QOR_API int32_t TavriEvalJWToken(const char* pJWToken, size_t pJWTokenL,
                                            const unsigned char* pVerificationKey,
                                            size_t pVerificationKeyL, const char* pUserAttribute,
                                            JWT_INFO* jwtInfo) {
  TAVRI_TRC(3, "TavriEvalJWToken was called, check input\n");
  if (!bInit.load()) {
    TAVRI_ERR("TavriInitialize must be called first.");
    JwtSetLastError(jwtInfo, "TavriInitialize must be called first.");
    return kRcInvalid;
  }
  if (pJWToken == nullptr || pJWTokenL == 0) {
    TAVRI_ERR("Missing input buffer pointer for JWT\n");
    JwtSetLastError(jwtInfo, "Missing input buffer pointer for JWT.");
    return kRcNullArgument;
  }
  // A record too short to hold the payload fields has no payload buffer.
  if (jwtInfo == nullptr || !JWT_INFO_HAS(jwtInfo, lPayLoadBuffer) || jwtInfo->pPayloadBuffer == nullptr ||
      jwtInfo->lPayLoadBuffer == 0) {
    TAVRI_ERR("Missing input buffer pointer for JWT payload\n");
    JwtSetLastError(jwtInfo, "Missing input buffer pointer for JWT payload.");
    return kRcNullArgument;
  }
  // The error trace below shows only what this call wrote.
  if (JWT_INFO_HAS(jwtInfo, lastError)) jwtInfo->lastError[0] = '\0';
  // Every failure is reported as an invalid token; a thrown one also names itself.
  constexpr int32_t kThrown = -1;
  int32_t rc = TavriNoThrow(TRC_MODULE, "TavriEvalJWToken", kThrown, kThrown, [&] {
    return eval_token(pJWToken, pJWTokenL, pVerificationKey, pVerificationKeyL, pUserAttribute,
                       jwtInfo);
  });
  if (rc == kThrown) JwtSetLastError(jwtInfo, "JWT malloc failed");
  if (rc != 0) {
    TAVRI_ERR("Error from JwtEvalToken (rc=%d): %s\n", rc, JwtLastError(jwtInfo));
    TAVRI_ERR("TavriEvalJWToken returns %d.\n", kRcInvalidTicket);
    rc = kRcInvalidTicket;
  }
  TAVRI_TRC(3, "Cleanup of TavriEvalJWToken\n");
  TAVRI_TRC(3, "End of function TavriEvalJWToken.\n");
  return rc;
}
