// Evaluation of one compact token (RFC 7515 section 7.1): split, header,
// signature, body claims (RFC 7519 section 4.1), then the caller's record.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <new>
#include <string_view>
#include <vector>

#include "base/bytes/reader.h"
#include "base/dptrc/dptrc.h"
#include "sec/jwt/jwkset.h"
#include "sec/jwt/jwt.h"
#include "sec/jwt/jwthead.h"
#include "sec/jwt/jwtjson.h"
#include "sec/jwt/jwtparse.h"
#include "sec/jwt/jwtverify.h"
#include "sec/tavrisso/ssf/table.h"

namespace {
using jwtjson::Json;
using jwtjson::Range;
using jwtjson::read_number;

constexpr size_t kMinStructSize = 624;     // a record must reach past issuedAt
constexpr size_t kKeyIdStructSize = 632;   // ... and past tAlgId to receive "kid"
constexpr size_t kBodyBytesPerToken = 3;
constexpr size_t kBodyStackTokens = 128;
constexpr size_t kClaimNameLen = 3;
constexpr int32_t kTraceRcInvalid = 5;

std::atomic<JwtClock> clock_source{nullptr};

int64_t now_seconds() {
  const JwtClock c = clock_source.load();
  return c != nullptr ? c() : static_cast<int64_t>(time(nullptr));
}

// A length for "%*.*s" in a trace line.
int trace_len(size_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int>(n); }

// One decoded part in a buffer of its own, freed with the evaluation.
class Decoded {
 public:
  Decoded() = default;
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;
  ~Decoded() { free(p); }
  // JWT_EXTRACT_OK or the failure of jwtExtract2Json.
  int32_t decode(const ByteReader& part) {
    return jwtExtract2Json(reinterpret_cast<const char*>(part.data()), part.remaining(), &p, &n);
  }
  unsigned char* p = nullptr;
  size_t n = 0;
};

// Storage of the calling thread that keeps the decoded parts alive after
// the call, for out-pointers the caller's payload copy cannot hold.
thread_local std::vector<unsigned char> t_header_keep;
thread_local std::vector<unsigned char> t_body_keep;

// `r` moved from `from` to the same offset in `to`.
const unsigned char* rebase(const Range& r, const unsigned char* from, const unsigned char* to) {
  return r.p == nullptr ? nullptr : to + (r.p - from);
}


// The registered claims of RFC 7519 section 4.1 that the body walk reads.
enum class Claim { kOther, kJti, kSub, kAud, kIss, kExp, kNbf, kIat };

// A three-byte name as one number, so a key is told apart in one switch.
constexpr uint32_t name3(const char (&s)[kClaimNameLen + 1]) {
  return static_cast<uint8_t>(s[0]) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16;
}

// Which claim a key names; only a key of exactly three bytes names one.
Claim claim_of(const Range& key) {
  if (key.n != kClaimNameLen) return Claim::kOther;
  switch (key.p[0] | static_cast<uint32_t>(key.p[1]) << 8 | static_cast<uint32_t>(key.p[2]) << 16) {
    case name3("jti"): return Claim::kJti;
    case name3("sub"): return Claim::kSub;
    case name3("aud"): return Claim::kAud;
    case name3("iss"): return Claim::kIss;
    case name3("exp"): return Claim::kExp;
    case name3("nbf"): return Claim::kNbf;
    case name3("iat"): return Claim::kIat;
    default: return Claim::kOther;
  }
}

struct Claims {
  Range jti, sub, aud, iss, name_id;
  int64_t exp = 0, nbf = 0, iat = 0;
};

class Evaluation {
 public:
  Evaluation(SsfLib* ssf, JWT_INFO* info) : ssf_(ssf), info_(info) {}

  int32_t run(const char* token, size_t token_len, const unsigned char* key, size_t key_len,
              const JwkSet* set, const char* name_id, size_t name_id_len);

 private:
  int32_t fail(int32_t rc, const char* text) {
    JwtSetLastError(info_, "%s", text);
    return rc;
  }
  int32_t walk_body(const Json& b, const char* name_id, size_t name_id_len);
  int32_t report(const Decoded& body, const char* name_id, size_t name_id_len);
  int32_t required(const Range& have, const unsigned char** p, size_t* n, const char* missing,
                   const char* differs);

  SsfLib* ssf_;
  JWT_INFO* info_;
  size_t struct_size_ = 0;
  JwtHeaderFacts head_;
  Claims c_;
};

int32_t Evaluation::walk_body(const Json& b, const char* name_id, size_t name_id_len) {
  const int64_t now = now_seconds();
  for (int32_t i = 1; i < b.count; i++) {
    if (b.toks[i].type != JWT_STRING) continue;
    const bool has_value = i + 1 < b.count;
    Range* text = nullptr;
    const char* dup_text = nullptr;
    const Range key = b.range(i);
    const Claim claim = claim_of(key);
    if (claim == Claim::kJti) {
      text = &c_.jti, dup_text = "Invalid JWT attribute JTI already parsed";
    } else if (claim == Claim::kSub) {
      text = &c_.sub, dup_text = "Invalid JWT attribute Subject already parsed";
    } else if (claim == Claim::kAud) {
      text = &c_.aud, dup_text = "Invalid JWT attribute Audience already parsed";
    } else if (claim == Claim::kIss) {
      text = &c_.iss, dup_text = "Invalid JWT attribute Issuer already parsed";
    } else if (claim == Claim::kExp) {
      if (!has_value) break;
      if (c_.exp > 0) return fail(JWT_RC_DUPLICATE, "Invalid JWT attribute exp already parsed");
      c_.exp = read_number(b.range(++i));
      // RFC 7519 section 4.1.4: not accepted on or after the expiration time.
      if (!(now < c_.exp)) return fail(JWT_RC_EXPIRED, "JWT is expired");
      continue;
    } else if (claim == Claim::kNbf) {
      if (!has_value) break;
      if (c_.nbf > 0) return fail(JWT_RC_DUPLICATE, "Invalid JWT attribute nbf already parsed");
      c_.nbf = read_number(b.range(++i));
      if (!(now > c_.nbf)) return fail(JWT_RC_NOT_YET_VALID, "JWT is not valid yet");
      continue;
    } else if (claim == Claim::kIat) {
      if (!has_value) break;
      if (c_.iat > 0) return fail(JWT_RC_DUPLICATE, "Invalid JWT attribute iat already parsed");
      c_.iat = read_number(b.range(++i));
      continue;
    } else if (name_id != nullptr && name_id_len > 0 && key.n == name_id_len &&
               memcmp(key.p, name_id, name_id_len) == 0) {
      text = &c_.name_id, dup_text = "Invalid JWT attribute NameID already parsed";
    } else {
      continue;
    }
    if (!has_value) break;
    if (text->seen) return fail(JWT_RC_DUPLICATE, dup_text);
    *text = b.range(++i);
  }
  return JWT_RC_OK;
}

// A required value (both pointer and length given) must equal the token's;
// otherwise the token's value is handed out.
int32_t Evaluation::required(const Range& have, const unsigned char** p, size_t* n, const char* missing,
                             const char* differs) {
  if (*p != nullptr && *n != 0) {
    if (have.p == nullptr || have.n == 0) return fail(JWT_RC_CLAIM_MISSING, missing);
    if (have.n != *n || memcmp(have.p, *p, *n) != 0) return fail(JWT_RC_CLAIM_DIFFERS, differs);
    return JWT_RC_OK;
  }
  *p = have.p;
  *n = have.p ? have.n : 0;
  return JWT_RC_OK;
}

int32_t Evaluation::report(const Decoded& body, const char* name_id, size_t name_id_len) {
  JWT_INFO* info = info_;
  if (c_.iat != 0) info->issuedAt = c_.iat;
  // Out-pointers go into the caller's payload copy when the body fits,
  // else into this thread's copy of the body.
  const unsigned char* base = body.p;
  if (info->pPayloadBuffer != nullptr && info->lPayLoadBuffer != 0) {
    if (info->lPayLoadBuffer < body.n) {
      info->pPayloadBuffer[0] = 0;
      info->lPayLoadBuffer = 0;
    } else {
      if (body.n) memcpy(info->pPayloadBuffer, body.p, body.n);
      info->lPayLoadBuffer = body.n;
      base = info->pPayloadBuffer;
    }
  }
  if (base == body.p) {
    t_body_keep.assign(body.p, body.p + body.n);
    base = t_body_keep.data();
  }
  for (Range* r : {&c_.jti, &c_.sub, &c_.aud, &c_.iss, &c_.name_id}) r->p = rebase(*r, body.p, base);

  if (name_id != nullptr && name_id_len != 0) {
    if (c_.name_id.p == nullptr || c_.name_id.n == 0) return fail(JWT_RC_NO_NAME_ID, "JWT is without name id attribute");
    info->pNameIdValue = c_.name_id.p;
    info->lNameIdValue = c_.name_id.n;
  }
  int32_t rc = required(c_.sub, &info->pSubject, &info->lSubject, "JWT is without subject attribute",
                        "JWT is with different subject attribute");
  if (rc == JWT_RC_OK)
    rc = required(c_.iss, &info->pIssuer, &info->lIssuer, "JWT is without issuer attribute",
                  "JWT is with different issuer attribute");
  if (rc == JWT_RC_OK)
    rc = required(c_.jti, &info->pJTI, &info->lJTI, "JWT is without JSON ID attribute",
                  "JWT is with different JSON ID attribute");
  if (rc != JWT_RC_OK) return rc;
  // The required audience need only occur inside the token's "aud" text.
  if (info->pAudience != nullptr && info->lAudience != 0) {
    if (c_.aud.p == nullptr || c_.aud.n == 0) return fail(JWT_RC_CLAIM_MISSING, "JWT is without audience attribute");
    const std::string_view have(reinterpret_cast<const char*>(c_.aud.p), c_.aud.n);
    const std::string_view want(reinterpret_cast<const char*>(info->pAudience), info->lAudience);
    if (want.size() > have.size() || have.find(want) == std::string_view::npos)
      return fail(JWT_RC_CLAIM_DIFFERS, "JWT audience is not valid for requested value");
  } else {
    info->pAudience = c_.aud.p;
    info->lAudience = c_.aud.p ? c_.aud.n : 0;
  }
  return JWT_RC_OK;
}

int32_t Evaluation::run(const char* token, size_t token_len, const unsigned char* key, size_t key_len,
                        const JwkSet* set, const char* name_id, size_t name_id_len) {
  if (info_ != nullptr) {
    struct_size_ = info_->struct_size;
    if (JWT_INFO_HAS(info_, lPayLoadBuffer) && info_->pPayloadBuffer != nullptr && info_->lPayLoadBuffer != 0)
      info_->pPayloadBuffer[0] = 0;
    if (JWT_INFO_HAS(info_, lastError)) info_->lastError[0] = '\0';
    if (struct_size_ <= kMinStructSize) {
      JwtSetLastError(info_, "Wrong structure size. Expected at least %d, but received %d",
                      static_cast<int>(kMinStructSize), static_cast<int>(struct_size_));
      return JWT_RC_STRUCT_SIZE;
    }
  }
  DPTRC_INFO(tf.load(), 3, "Token is the following:      >>>%*.*s<<<\n", trace_len(token_len),
             trace_len(token_len), token ? token : "");

  // Split at the first two dots; everything after the second is the signature.
  const ByteReader tok(token, token_len);
  size_t dot1 = 0, dot2 = 0;
  if (tok.empty() || !tok.find_u8('.', 0, &dot1) || !tok.find_u8('.', dot1 + 1, &dot2) || dot1 == 0 ||
      dot2 == dot1 + 1)
    return fail(JWT_RC_MALFORMED, "Invalid JWT received");
  ByteReader header_part, body_part, sig_part, signing_input;
  tok.view(0, dot1, &header_part);
  tok.view(dot1 + 1, dot2 - dot1 - 1, &body_part);
  tok.view(dot2 + 1, token_len - dot2 - 1, &sig_part);
  tok.view(0, dot2, &signing_input);

  Decoded header;
  int32_t rc = header.decode(header_part);
  if (rc != JWT_EXTRACT_OK) return fail(JWT_RC_NOT_BASE64, "Invalid JWT header detected during base64 decode.");
  head_ = JwtReadHeader(header.p, header.n, struct_size_ > kKeyIdStructSize);
  if (head_.rc != JWT_RC_OK) return fail(head_.rc, head_.error);
  if (JWT_INFO_HAS(info_, tAlgId)) info_->tAlgId = head_.alg;
  // The key id is reported for failed tokens too, and cleared when there is none.
  if (struct_size_ > kKeyIdStructSize && JWT_INFO_HAS(info_, lKeyId)) {
    const unsigned char* kid = nullptr;
    if (head_.kid.p != nullptr) {
      t_header_keep.assign(header.p, header.p + header.n);
      kid = rebase(head_.kid, header.p, t_header_keep.data());
    }
    info_->pKeyId = kid;
    info_->lKeyId = kid != nullptr ? head_.kid.n : 0;
  }

  Decoded sig;
  rc = sig.decode(sig_part);
  if (rc != JWT_EXTRACT_OK) return fail(JWT_RC_NOT_BASE64, "Invalid JWT signature detected during base64");
  if (head_.alg == JWT_ALG_UNDEFINED) return fail(JWT_RC_HEADER, "JWT signature algorithm not valid");
  // RFC 7515 section 5.2: the signature is checked before any claim is read.
  const JwtSignatureCheck check = {ssf_, head_.alg, head_.hash, head_.select_kid.p, head_.select_kid.n,
                                   head_.select_kid.seen, head_.select_kid_bad};
  if (const char* why = JwtCheckSignature(check, key, key_len, set, signing_input, sig.p, sig.n)) {
    DPTRC_INFO(tf.load(), 3, "Token validation failed with error RC %d. \n", kTraceRcInvalid);
    return fail(JWT_RC_SIGNATURE, why);
  }
  DPTRC_INFO(tf.load(), 3, "Token validation was successful. \n");

  Decoded body;
  rc = body.decode(body_part);
  if (rc != JWT_EXTRACT_OK) return fail(JWT_RC_NOT_BASE64, "Invalid JWT body detected during base64");
  const size_t ntoks = body.n / kBodyBytesPerToken;
  if (ntoks > UINT32_MAX) return fail(JWT_RC_MALFORMED, "Invalid JWT body parsed");
  // One slot more than used, so that the array is never absent (which
  // would only count); an ordinary body's tokens fit on the stack.
  jwtok_t small_toks[kBodyStackTokens];
  std::vector<jwtok_t> btoks;
  jwtok_t* toks = small_toks;
  if (ntoks + 1 > kBodyStackTokens) {
    try {
      btoks.resize(ntoks + 1);
    } catch (const std::bad_alloc&) {
      return fail(JWT_RC_NO_MEMORY, "JWT malloc failed");
    }
    toks = btoks.data();
  }
  jwt_parser parser;
  jwtInit(&parser);
  const int32_t bcount = jwtParse(&parser, reinterpret_cast<const char*>(body.p), body.n, toks,
                                  static_cast<uint32_t>(ntoks));
  if (bcount <= 0) return fail(JWT_RC_MALFORMED, "Invalid JWT body parsed");
  const Json b{body.p, body.n, toks, bcount};
  if (!b.whole_object()) return fail(JWT_RC_MALFORMED, "Invalid JWT body syntax parsed");
  rc = walk_body(b, name_id, name_id_len);
  if (rc != JWT_RC_OK) return rc;
  if (info_ == nullptr) return JWT_RC_OK;
  return report(body, name_id, name_id_len);
}

}  // namespace

void JwtSetLastError(JWT_INFO* jwtInfo, const char* fmt, ...) {
  if (!JWT_INFO_HAS(jwtInfo, lastError)) return;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(jwtInfo->lastError, sizeof jwtInfo->lastError, fmt, ap);
  va_end(ap);
}

const char* JwtLastError(const JWT_INFO* jwtInfo) {
  return JWT_INFO_HAS(jwtInfo, lastError) ? jwtInfo->lastError : "";
}

void JwtSetClock(JwtClock clock) { clock_source.store(clock); }

int32_t JwtEvalToken(const char* inToken, size_t inLenToken, const unsigned char* keyParam,
                     size_t inLenKey, const char* nameId, size_t lenNameId, JWT_INFO* jwtInfo) {
  return JwtEvalToken(inToken, inLenToken, keyParam, inLenKey, nameId, lenNameId, jwtInfo, nullptr);
}

int32_t JwtEvalToken(const char* inToken, size_t inLenToken, const unsigned char* keyParam,
                     size_t inLenKey, const char* nameId, size_t lenNameId, JWT_INFO* jwtInfo,
                     const JwkSet* keySet) {
  SsfLib* ssf = JwtSsfLib();
  if (ssf == nullptr) return JWT_RC_NOT_INITIALIZED;
  try {
    Evaluation e(ssf, jwtInfo);
    return e.run(inToken, inLenToken, keyParam, inLenKey, keySet, nameId, lenNameId);
  } catch (const std::bad_alloc&) {
    JwtSetLastError(jwtInfo, "JWT malloc failed");
    return JWT_RC_NO_MEMORY;
  }
}
