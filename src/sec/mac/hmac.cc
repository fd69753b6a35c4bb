// The keyed-MAC front: a table filled once, then plain forwarding.
#include "sec/mac/hmac.h"

#include <atomic>
#include <mutex>

namespace {

// Filled once under std::call_once, so that two first users do not race
// on the slots; gInitialized records that the table is complete.
HMacFunctions gTable{};
std::atomic<bool> gInitialized{false};
std::once_flag gFillOnce;

void fill_table() {
  gTable.fp_crypt_hashAlgorithm_Name2Id = crypt_hashAlgorithm_Name2Id;
  gTable.fp_crypt_hashAlgorithm_Id2Name = crypt_hashAlgorithm_Id2Name;
  gTable.fp_crypt_hash_create = crypt_hash_create;
  gTable.fp_crypt_hash_import = crypt_hash_import;
  gTable.fp_crypt_hash_exportToBlob = crypt_hash_exportToBlob;
  gTable.fp_crypt_hash_more = crypt_hash_more;
  gTable.fp_crypt_hash_getValue = crypt_hash_getValue;
  gTable.fp_crypt_hash_reset = nullptr;
  gTable.fp_crypt_hash_release = crypt_hash_release;
  gTable.fp_crypt_keyedmac_create = crypt_keyedmac_create;
  gTable.fp_crypt_keyedmac_import = crypt_keyedmac_import;
  gTable.fp_crypt_keyedmac_exportToBlob = crypt_keyedmac_exportToBlob;
  gTable.fp_crypt_keyedmac_more = crypt_keyedmac_more;
  gTable.fp_crypt_keyedmac_getValue = crypt_keyedmac_getValue;
  gTable.fp_crypt_keyedmac_reset = crypt_keyedmac_reset;
  gTable.fp_crypt_keyedmac_release = crypt_keyedmac_release;
  gInitialized.store(true, std::memory_order_release);
}

}  // namespace

void macGlobalInit() {
  if (gInitialized.load(std::memory_order_acquire)) return;
  std::call_once(gFillOnce, fill_table);
}

namespace {
const HMacFunctions& table() {
  macGlobalInit();
  return gTable;
}
}  // namespace

const HMacFunctions& hmacFunctions() { return table(); }

int32_t hmacInitR(HMac_CTX** context, const unsigned char* key, size_t keylen, const char* alg) {
  const HMacFunctions& t = table();
  if (context == nullptr || t.fp_crypt_hashAlgorithm_Name2Id == nullptr ||
      t.fp_crypt_keyedmac_create == nullptr)
    return kMacFailed;
  int32_t id = 0;
  if (t.fp_crypt_hashAlgorithm_Name2Id(alg, &id) != CRYPT_OK) return kMacFailed;
  return t.fp_crypt_keyedmac_create(context, id, key, keylen, nullptr, nullptr) == CRYPT_OK ? kMacOk
                                                                                           : kMacFailed;
}

int32_t hmacUpdate(HMac_CTX* context, const void* msg_blob, size_t msg_blob_len) {
  const HMacFunctions& t = table();
  if (context == nullptr || t.fp_crypt_keyedmac_more == nullptr) return kMacFailed;
  return t.fp_crypt_keyedmac_more(context, msg_blob, msg_blob_len) == CRYPT_OK ? kMacOk : kMacFailed;
}

int32_t hmacFinal(HMac_CTX* context, unsigned char* msg_blob, size_t* msg_blob_len) {
  const HMacFunctions& t = table();
  if (context == nullptr || t.fp_crypt_keyedmac_getValue == nullptr) return kMacFailed;
  return t.fp_crypt_keyedmac_getValue(context, CRYPT_VALUE_RAW, msg_blob, msg_blob_len) == CRYPT_OK
             ? kMacOk
             : kMacFailed;
}

int32_t hmacRelease(HMac_CTX** context) {
  const HMacFunctions& t = table();
  if (context == nullptr || *context == nullptr || t.fp_crypt_keyedmac_release == nullptr)
    return kMacFailed;
  return t.fp_crypt_keyedmac_release(context) == CRYPT_OK ? kMacOk : kMacFailed;
}

int32_t hmacReset(HMac_CTX* context) {
  const HMacFunctions& t = table();
  if (context == nullptr || t.fp_crypt_keyedmac_reset == nullptr) return kMacFailed;
  return t.fp_crypt_keyedmac_reset(context) == CRYPT_OK ? kMacOk : kMacFailed;
}
