// Keyed-MAC front of the JWT code: HMAC (RFC 2104) through the crypto
// library's hash and keyed-MAC services. Every call returns 0 or -1.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "crypto/hash/hashapi.h"

constexpr int32_t kMacOk = 0;
constexpr int32_t kMacFailed = -1;

// The front's private table of the crypto library's services, in slot order.
struct HMacFunctions {
  decltype(&crypt_hashAlgorithm_Name2Id) fp_crypt_hashAlgorithm_Name2Id;
  decltype(&crypt_hashAlgorithm_Id2Name) fp_crypt_hashAlgorithm_Id2Name;
  decltype(&crypt_hash_create) fp_crypt_hash_create;
  decltype(&crypt_hash_import) fp_crypt_hash_import;
  decltype(&crypt_hash_exportToBlob) fp_crypt_hash_exportToBlob;
  decltype(&crypt_hash_more) fp_crypt_hash_more;
  decltype(&crypt_hash_getValue) fp_crypt_hash_getValue;
  crypt_hash_reset_fn fp_crypt_hash_reset;  // stays empty
  decltype(&crypt_hash_release) fp_crypt_hash_release;
  decltype(&crypt_keyedmac_create) fp_crypt_keyedmac_create;
  decltype(&crypt_keyedmac_import) fp_crypt_keyedmac_import;
  decltype(&crypt_keyedmac_exportToBlob) fp_crypt_keyedmac_exportToBlob;
  decltype(&crypt_keyedmac_more) fp_crypt_keyedmac_more;
  decltype(&crypt_keyedmac_getValue) fp_crypt_keyedmac_getValue;
  decltype(&crypt_keyedmac_reset) fp_crypt_keyedmac_reset;
  decltype(&crypt_keyedmac_release) fp_crypt_keyedmac_release;
};

// Fills the table once; later calls do nothing.
void macGlobalInit();
// A keyed-MAC object for hash `alg` ("SHA256", "SHA384", "SHA512", ...).
int32_t hmacInitR(HMac_CTX** context, const unsigned char* key, size_t keylen, const char* alg);
int32_t hmacUpdate(HMac_CTX* context, const void* msg_blob, size_t msg_blob_len);
// The MAC as raw bytes; `*msg_blob_len` is the size on entry, the length on return.
int32_t hmacFinal(HMac_CTX* context, unsigned char* msg_blob, size_t* msg_blob_len);
int32_t hmacRelease(HMac_CTX** context);
// Starts a new MAC with the key the object already holds.
int32_t hmacReset(HMac_CTX* context);

// The filled table, for inspection.
const HMacFunctions& hmacFunctions();
