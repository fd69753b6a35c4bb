#include "sec/jwt/jwtalg.h"

#include <string.h>

namespace {

constexpr size_t kSha256Len = 32;
constexpr size_t kSha384Len = 48;
constexpr size_t kSha512Len = 64;

struct Row {
  const char* name;
  JWT_ALG_TYPE alg;
  size_t mac_len;  // HS only
  JwsAlg jws;      // all but HS
};

constexpr Row kRows[] = {
    {"HS256", JWT_ALG_HS256, kSha256Len, JwsAlg::kRS256}, {"HS384", JWT_ALG_HS384, kSha384Len, JwsAlg::kRS256},
    {"HS512", JWT_ALG_HS512, kSha512Len, JwsAlg::kRS256}, {"RS256", JWT_ALG_RS256, 0, JwsAlg::kRS256},
    {"RS384", JWT_ALG_RS384, 0, JwsAlg::kRS384},           {"RS512", JWT_ALG_RS512, 0, JwsAlg::kRS512},
    {"ES256", JWT_ALG_ES256, 0, JwsAlg::kES256},           {"ES384", JWT_ALG_ES384, 0, JwsAlg::kES384},
    {"ES512", JWT_ALG_ES512, 0, JwsAlg::kES512},           {"PS256", JWT_ALG_PS256, 0, JwsAlg::kPS256},
    {"PS384", JWT_ALG_PS384, 0, JwsAlg::kPS384},           {"PS512", JWT_ALG_PS512, 0, JwsAlg::kPS512},
    {"EdDSA", JWT_ALG_EDDSA, 0, JwsAlg::kEdDSA},
};

const Row* row(JWT_ALG_TYPE alg) {
  for (const Row& r : kRows)
    if (r.alg == alg) return &r;
  return nullptr;
}

}  // namespace

JWT_ALG_TYPE JwtAlgByName(const unsigned char* name, size_t len) {
  for (const Row& r : kRows)
    if (name != nullptr && len == strlen(r.name) && memcmp(name, r.name, len) == 0) return r.alg;
  return JWT_ALG_UNDEFINED;
}

bool JwtAlgIsHmac(JWT_ALG_TYPE alg) { return alg == JWT_ALG_HS256 || alg == JWT_ALG_HS384 || alg == JWT_ALG_HS512; }

size_t JwtAlgHmacLen(JWT_ALG_TYPE alg) {
  const Row* r = row(alg);
  return r != nullptr ? r->mac_len : 0;
}

bool JwtAlgJws(JWT_ALG_TYPE alg, JwsAlg* out) {
  const Row* r = row(alg);
  if (r == nullptr || JwtAlgIsHmac(alg)) return false;
  *out = r->jws;
  return true;
}
