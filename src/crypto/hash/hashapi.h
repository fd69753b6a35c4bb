// The crypto library's hash and keyed-MAC services (HMAC, RFC 2104), and
// two checks for callers that handle MAC secrets. No OpenSSL types here:
// the keyed-MAC front outside the crypto library includes this header.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {

// Results of the crypt_... services.
enum : int32_t {
  CRYPT_OK = 0,
  CRYPT_ERR_ARGS = -1,         // missing context or argument
  CRYPT_ERR_ALGORITHM = -2,    // unknown or unavailable hash
  CRYPT_ERR_NOMEMORY = -3,
  CRYPT_ERR_BUFFER = -4,       // output buffer too small
  CRYPT_ERR_LIBRARY = -5,      // the computation failed
  CRYPT_ERR_UNSUPPORTED = -6,  // state export is not offered by this build
};

// Output forms of the getValue calls.
enum : int32_t {
  CRYPT_VALUE_RAW = 0,
  CRYPT_VALUE_HEX = 1,  // lowercase hexadecimal text, not terminated
};

typedef struct crypt_hash_s crypt_hash_t;
typedef struct crypt_keyedmac_s HMac_CTX;

// Hash names as the SSF digest names ("SHA256", "SHA-256", ...), matched
// case-insensitively; identifiers are the SSF digest numbers.
int32_t crypt_hashAlgorithm_Name2Id(const char* name, int32_t* id);
int32_t crypt_hashAlgorithm_Id2Name(int32_t id, const char** name);

int32_t crypt_hash_create(crypt_hash_t** ctx, int32_t id);
int32_t crypt_hash_import(crypt_hash_t** ctx, const unsigned char* blob, size_t blob_len);
int32_t crypt_hash_exportToBlob(crypt_hash_t* ctx, unsigned char* blob, size_t* blob_len);
int32_t crypt_hash_more(crypt_hash_t* ctx, const void* data, size_t len);
// `*len` holds the buffer size on entry and the value's length on return.
int32_t crypt_hash_getValue(crypt_hash_t* ctx, int32_t form, unsigned char* out, size_t* len);
int32_t crypt_hash_release(crypt_hash_t** ctx);
// Resetting a hash is not offered; the slot exists for the table's layout.
typedef int32_t (*crypt_hash_reset_fn)(crypt_hash_t* ctx);

// `reserved1`/`reserved2` must be null.
int32_t crypt_keyedmac_create(HMac_CTX** ctx, int32_t id, const unsigned char* key, size_t keylen,
                              const void* reserved1, const void* reserved2);
int32_t crypt_keyedmac_import(HMac_CTX** ctx, const unsigned char* blob, size_t blob_len);
int32_t crypt_keyedmac_exportToBlob(HMac_CTX* ctx, unsigned char* blob, size_t* blob_len);
int32_t crypt_keyedmac_more(HMac_CTX* ctx, const void* data, size_t len);
int32_t crypt_keyedmac_getValue(HMac_CTX* ctx, int32_t form, unsigned char* out, size_t* len);
// Starts the MAC again with the same key.
int32_t crypt_keyedmac_reset(HMac_CTX* ctx);
int32_t crypt_keyedmac_release(HMac_CTX** ctx);

// Equality of two MACs in time that does not depend on where they differ.
bool crypt_mac_equal(const unsigned char* a, const unsigned char* b, size_t len);
// Overwrites `n` bytes with zeros in a way the compiler cannot drop.
void crypt_cleanse(void* p, size_t n);
// True when `key` reads as a certificate (DER, PEM or Base64) or as a
// public key: such bytes are public and must never serve as a MAC secret.
bool crypt_key_is_public(const unsigned char* key, size_t len);

}  // extern "C"
