/* Public C interface of libqorjwt.so: single sign-on ticket and JSON Web
 * Token evaluation. Every function returns a signed 32-bit result code
 * (0 = success) unless stated otherwise. */
#ifndef QORJWT_H
#define QORJWT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define QOR_API __attribute__((visibility("default")))
#else
#define QOR_API
#endif

/* Interface version reported by TavriGetVersion. */
#define QORJWT_VERSION 1

/* Sets up the library. pzucsSsfLib names the crypto library for messages;
 * null or empty selects the environment variable SSF_LIB or the default.
 * Returns 0 (also when already initialised), 9 or 14. */
QOR_API int32_t TavriInitialize(const char* pzucsSsfLib);

/* Releases the crypto binding, the in-memory key store and the trace file.
 * May be called at any time. Returns 0, or 14 if the SSF mutex cannot be taken. */
QOR_API int32_t TavriShutdown(void);

/* The interface version, QORJWT_VERSION. */
QOR_API int32_t TavriGetVersion(void);

/* Sets one of the ten properties; a null value restores most defaults.
 * Returns 0, or 9 for a null or unknown name. */
QOR_API int32_t RavAreSetProperty(const char* pName, const char* pValue);

/* Current value of a property (library storage, the environment or a
 * constant; valid until the property is set again), null for an unknown
 * name or an unset value. A null name returns the semicolon-separated
 * list of all property names. */
QOR_API const char* RavAreGetProperty(const char* pName);


/* ---- JSON Web Tokens ---- */

/* Signature algorithm of a token's header. */
typedef int32_t JWT_ALG_TYPE;
#define JWT_ALG_UNDEFINED 0
#define JWT_ALG_HS256 1
#define JWT_ALG_HS384 2
#define JWT_ALG_HS512 3
#define JWT_ALG_RS256 4
#define JWT_ALG_RS384 5
#define JWT_ALG_RS512 6

#define JWT_LAST_ERROR_SIZE 512

/* The caller's record for TavriEvalJWToken. struct_size lets older callers
 * pass a shorter form: tAlgId is written when it exceeds 624, pKeyId and
 * lKeyId when it exceeds 632. Out-pointers are byte ranges (not terminated,
 * not unescaped) into the body JSON copied to pPayloadBuffer (same offsets)
 * when it fit, else into storage of the calling thread that stays valid
 * until that thread's next TavriEvalJWToken call; pKeyId always points
 * into such storage. A required value (in) counts when both its pointer
 * and its length are non-zero; it is compared byte for byte. */
typedef struct JWT_INFO {
  size_t struct_size;                    /* in: sizeof the record allocated */
  unsigned char* pPayloadBuffer;         /* in: buffer; out: body JSON */
  size_t lPayLoadBuffer;                 /* in: capacity; out: length, 0 when it did not fit */
  char lastError[JWT_LAST_ERROR_SIZE];   /* out: zero-terminated error text */
  const unsigned char* pNameIdValue;     /* out: value of the user attribute */
  size_t lNameIdValue;
  const unsigned char* pSubject;         /* in: required "sub"; out: the token's when none required */
  size_t lSubject;
  const unsigned char* pIssuer;          /* "iss", as pSubject */
  size_t lIssuer;
  const unsigned char* pJTI;             /* "jti", as pSubject */
  size_t lJTI;
  const unsigned char* pAudience;        /* "aud": required value must occur inside the token's */
  size_t lAudience;
  int64_t issuedAt;                      /* out: "iat" when non-zero (seconds since 1970) */
  JWT_ALG_TYPE tAlgId;                   /* out: algorithm of the header */
  const unsigned char* pKeyId;           /* out: header "kid" */
  size_t lKeyId;
} JWT_INFO;

#ifdef __cplusplus
#define QOR_STATIC_ASSERT static_assert
#else
#define QOR_STATIC_ASSERT _Static_assert
#endif
QOR_STATIC_ASSERT(sizeof(JWT_INFO) == 648, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, struct_size) == 0, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pPayloadBuffer) == 8, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lPayLoadBuffer) == 16, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lastError) == 24, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pNameIdValue) == 536, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lNameIdValue) == 544, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pSubject) == 552, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lSubject) == 560, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pIssuer) == 568, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lIssuer) == 576, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pJTI) == 584, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lJTI) == 592, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pAudience) == 600, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lAudience) == 608, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, issuedAt) == 616, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, tAlgId) == 624, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, pKeyId) == 632, "JWT_INFO layout");
QOR_STATIC_ASSERT(offsetof(JWT_INFO, lKeyId) == 640, "JWT_INFO layout");
#undef QOR_STATIC_ASSERT

/* Evaluates a compact JSON Web Token signed with HS256/384/512 or
 * RS256/384/512: signature, "exp"/"nbf", and the claims asked for in
 * jwtInfo. pVerificationKey is the HMAC secret, or the certificate or
 * public key for RS tokens; null selects the key loaded with
 * TavriLoadTicketKey. pUserAttribute names the claim carrying the user
 * (zero-terminated), or null. The two lengths pJWTokenL and
 * pVerificationKeyL are passed by value as size_t (unsigned 64-bit), like
 * the lengths of JWT_INFO. jwtInfo and its payload buffer are mandatory.
 * Returns 0, 5 (invalid token; the reason is in lastError), 9 or 15. */
QOR_API int32_t TavriEvalJWToken(const char* pJWToken, size_t pJWTokenL,
                                 const unsigned char* pVerificationKey, size_t pVerificationKeyL,
                                 const char* pUserAttribute, JWT_INFO* jwtInfo);

#ifdef __cplusplus
}
#endif

#endif /* QORJWT_H */
