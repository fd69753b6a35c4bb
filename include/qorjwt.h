/* Public C interface of libqorjwt.so: single sign-on ticket and JSON Web
 * Token evaluation. Every function returns a signed 32-bit result code
 * (0 = success) unless stated otherwise. */
#ifndef QORJWT_H
#define QORJWT_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

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

/* ---- ticket evaluation ---- */

/* Kind of an evaluated ticket. */
typedef enum TICKET_TYPE {
  ZOVEDADU2_ERROR = -1, /* evaluation failed */
  ZOVEDADU2_LOGON_TICKET = 0,
  ZOVEDADU2_ASSERTION_TICKET = 1
} TICKET_TYPE;

/* Kind of ticket a caller asks for. */
typedef enum SSO_TICKET_TYPE { SSO_LOGON_TICKET = 0, SSO_ASSERTION_TICKET = 1 } SSO_TICKET_TYPE;

/* Output record of ticket evaluation. Versioned by struct_size: only the
 * part of the record that struct_size covers is read or written. Every
 * pointer may be null; a text is returned when both its buffer and its
 * length pointer are set (length: capacity in, length out). */
typedef struct TICKET_INFO {
  uint64_t struct_size;      /* sizeof(TICKET_INFO) */
  char sQORCodepage[4];      /* code page of returned texts; zero first byte: property */
  char* pSysID;              /* issuing system ID */
  int32_t* pIntSysIDL;
  char* pQORUser;            /* user */
  int32_t* pIntQORUserL;
  char* pQORClient;          /* issuing client */
  int32_t* pIntQORClientL;
  char* pQORLangu;           /* language */
  int32_t* pIntQORLanguL;
  time_t* ptmCreTime;        /* creation time, seconds since 1970 UTC */
  time_t* ptmValidity;       /* remaining validity in seconds */
  char* pPrtUser;            /* portal user */
  int32_t* pIntPrtUserL;
  char* pAuthScheme;         /* authentication scheme */
  int32_t* pIntAuthSchemeL;
  unsigned char* pAsn1Certificate; /* signer certificate (DER) */
  uint32_t* pIntAsn1CertificateL;
  unsigned char flags;       /* flag byte of the ticket */
  TICKET_TYPE tTicketType;
} TICKET_INFO;

/* Evaluates a 7-bit logon ticket; user, system ID and client come back as
 * UTF-8. All buffers and lengths are required; the key store and password
 * may be null (the loaded key); pvReserved is ignored. */
QOR_API int32_t TavriEvalLogonTicket(const char* pa7Ticket, const char* pzcsPrivAddrBook,
                                     const char* pzcsPassword, char* putf8User,
                                     int32_t* pIntUserL, unsigned char* pAsn1Certificate,
                                     int32_t* pIntCertificateL, char* putf8Sysid,
                                     int32_t* pIntSysidL, char* putf8Client,
                                     int32_t* pIntClientL, void* pvReserved);

/* Evaluates a logon ticket into pTicketInfo; the signer certificate also
 * goes into the optional pAsn1Certificate/pIntCertificateL. */
QOR_API int32_t TavriEvalLogonTicketEx(const char* pTicket, const char* pPrivAddrBook,
                                       const char* pPassword, unsigned char* pAsn1Certificate,
                                       int32_t* pIntCertificateL, TICKET_INFO* pTicketInfo);

/* Evaluates lTicketSize characters of ticket text with the loaded key. */
QOR_API int32_t TavriEvalTicket(const char* pTicket, size_t lTicketSize, TICKET_INFO* pTicketInfo);

/* Evaluates an assertion ticket that must be addressed to pMySysId and
 * pMyClient (null: the properties QOR_OWN_SYSID and QOR_OWN_CLIENT). */
QOR_API int32_t TavriEvalAssertionTicket(const char* pTicket, const char* pPrivAddrBook,
                                         const char* pPassword, const char* pMySysId,
                                         const char* pMyClient, TICKET_INFO* pTicketInfo);

/* ---- ticket key loading and certificate parsing ---- */

/* Loads the process-wide verification key. tType: 0 a key store image
 * (PKCS#12 or PEM bundle), 1 and 4 an X.509 certificate (DER, Base64 or
 * PEM; 4 without trace on a bad certificate), 2 an HMAC secret, 3 an HMAC
 * secret in Base64, 5 a JSON Web Key Set for tokens. iIndex is not used. A failed load clears the previous
 * key. Returns 0, 9, 11, 13, 14, 15 or an SSF result. */
QOR_API int32_t TavriLoadTicketKey(const unsigned char* pKey, int32_t lKey, const char* pPassword,
                                   int32_t iIndex, int32_t tType);

/* One attribute of a DER certificate as text ("SUBJECT", "ISSUER",
 * "SERIALNO", "SUMMARY", "SERIAL", or any attribute of the certificate
 * parser), not zero-terminated. *piBufLen: capacity in, value length out
 * (also after result 3). Returns 0, 3, 5, 9, 13, 14 or 17. */
QOR_API int32_t TavriParseCertificate(const unsigned char* pAsn1Certificate, int32_t CertLength,
                                      const char* pucsType, unsigned char* pucsBuffer,
                                      int32_t* piBufLen);

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
#define JWT_ALG_ES256 7 /* ECDSA P-256, signature R || S (RFC 7518 section 3.4) */
#define JWT_ALG_ES384 8
#define JWT_ALG_ES512 9 /* ECDSA P-521 */
#define JWT_ALG_PS256 10 /* RSASSA-PSS, MGF1 with the same hash, salt of hash length */
#define JWT_ALG_PS384 11
#define JWT_ALG_PS512 12
#define JWT_ALG_EDDSA 13 /* Ed25519 or Ed448 (RFC 8037) */

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

/* Evaluates a compact JSON Web Token signed with HS256/384/512,
 * RS256/384/512, PS256/384/512, ES256/384/512 or EdDSA: signature,
 * "exp"/"nbf", and the claims asked for in jwtInfo. pVerificationKey is the
 * HMAC secret, the certificate or public key of the signer, or a JSON Web
 * Key Set from which the token's "kid" chooses; null selects the key loaded with
 * TavriLoadTicketKey. pUserAttribute names the claim carrying the user
 * (zero-terminated), or null. The two lengths pJWTokenL and
 * pVerificationKeyL are passed by value as size_t (unsigned 64-bit), like
 * the lengths of JWT_INFO. jwtInfo and its payload buffer are mandatory.
 * Returns 0, 5 (invalid token; the reason is in lastError), 9 or 15. */
QOR_API int32_t TavriEvalJWToken(const char* pJWToken, size_t pJWTokenL,
                                 const unsigned char* pVerificationKey, size_t pVerificationKeyL,
                                 const char* pUserAttribute, JWT_INFO* jwtInfo);

/* ---- assertion ticket creation ---- */

/* Issues an assertion ticket from pMySysId/pMyClient for the recipient
 * pTicketInfo->pSysID/pQORClient, signed with the key store pPrivAddrBook
 * (null: the loaded own key store). Reads the user, language, portal user,
 * authentication scheme and code page fields of pTicketInfo. *pB64TicketL:
 * capacity in, text length out; the rest of the buffer is zeroed. Returns
 * 0, 1, 3, 9, 15, 23 or an engine result (SSF result in the high half). */
QOR_API int32_t TavriCreateAssertionTicket(const char* pMySysId, const char* pMyClient,
                                           const char* pPrivAddrBook, const char* pPassword,
                                           TICKET_INFO* pTicketInfo, char* pB64Ticket,
                                           uint32_t* pB64TicketL);

#ifdef __cplusplus
}

static_assert(sizeof(TICKET_TYPE) == 4, "TICKET_TYPE is 32 bits");
static_assert(sizeof(time_t) == 8, "times are 64 bits");
static_assert(sizeof(TICKET_INFO) == 152, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, sQORCodepage) == 8, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pSysID) == 16, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntSysIDL) == 24, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pQORUser) == 32, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntQORUserL) == 40, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pQORClient) == 48, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntQORClientL) == 56, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pQORLangu) == 64, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntQORLanguL) == 72, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, ptmCreTime) == 80, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, ptmValidity) == 88, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pPrtUser) == 96, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntPrtUserL) == 104, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pAuthScheme) == 112, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntAuthSchemeL) == 120, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pAsn1Certificate) == 128, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, pIntAsn1CertificateL) == 136, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, flags) == 144, "TICKET_INFO layout");
static_assert(offsetof(TICKET_INFO, tTicketType) == 148, "TICKET_INFO layout");
#else
_Static_assert(sizeof(TICKET_INFO) == 152, "TICKET_INFO layout");
_Static_assert(offsetof(TICKET_INFO, flags) == 144, "TICKET_INFO layout");
_Static_assert(offsetof(TICKET_INFO, tTicketType) == 148, "TICKET_INFO layout");
#endif

#endif /* QORJWT_H */
