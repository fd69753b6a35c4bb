// The caller's keys and certificates, decoded once: a small process-wide
// cache of recent inputs, compared byte for byte. Decoding a certificate or
// a public key costs several times the verification itself, and callers
// such as the JWT code pass the same key on every call.
#include <mutex>
#include <vector>

#include "crypto/cert/certcheck.h"
#include "crypto/sig/sigint.h"

namespace qorcr {
namespace {

constexpr size_t kCacheEntries = 16;
constexpr size_t kMaxCachedInput = 64 * 1024;

struct Entry {
  SsfChainFormatNo chain;
  std::vector<unsigned char> bytes;
  CallerKeysRef keys;
};

struct Cache {
  std::mutex mtx;
  std::vector<Entry> entries;  // oldest first
  CallerKeysRef find(SsfChainFormatNo chain, Bytes data) {
    std::lock_guard<std::mutex> lock(mtx);
    for (const Entry& e : entries)
      if (e.chain == chain && e.bytes.size() == data.n &&
          memcmp(e.bytes.data(), data.p, data.n) == 0)
        return e.keys;
    return nullptr;
  }
  void add(SsfChainFormatNo chain, Bytes data, const CallerKeysRef& keys) {
    Entry e{chain, std::vector<unsigned char>(data.p, data.p + data.n), keys};
    std::lock_guard<std::mutex> lock(mtx);
    if (entries.size() >= kCacheEntries) entries.erase(entries.begin());
    entries.push_back(std::move(e));
  }
};

Cache& cache() {
  static Cache c;
  return c;
}

// Fills in the verdicts of KeyCheck; false when it ran out of memory.
bool check_keys(CallerKeys* keys) {
  if (keys->key) {
    const KeyStrength k = KeyCheck(keys->key.get());
    if (k == KeyStrength::kUnknown) return false;
    keys->key_sound = k == KeyStrength::kStrong;
  }
  for (int i = 0; i < sk_X509_num(keys->certs.get()); ++i) {
    X509* x = sk_X509_value(keys->certs.get(), i);
    const KeyStrength k = KeyCheck(X509_get0_pubkey(x));
    if (k == KeyStrength::kUnknown) return false;
    if (k == KeyStrength::kWeak) keys->weak_certs.push_back(x);
    std::vector<unsigned char> der;
    if (!I2dBytes([x](unsigned char** p) { return i2d_X509(x, p); }, &der)) der.clear();
    keys->cert_der.push_back(std::move(der));
  }
  return true;
}

}  // namespace

int32_t CallerKeysGet(SsfChainFormatNo chain, Bytes data, CallerKeysRef* out) {
  if (data.empty()) return SSF_API_NODATA;
  if (CallerKeysRef hit = cache().find(chain, data)) return *out = std::move(hit), SSF_API_OK;
  auto keys = std::make_shared<CallerKeys>();
  const int32_t rc = chain == SSF_CHAIN_RAWPUBKEY ? ParsePublicKey(data, &keys->key)
                     : chain == SSF_CHAIN_KEYVALUE ? ParseKeyValue(data, &keys->key)
                                                   : ParseChain(chain, data, &keys->certs);
  if (rc != SSF_API_OK) return rc;
  if (!check_keys(keys.get())) return SSF_API_NOMEMORY;
  if (data.n <= kMaxCachedInput) cache().add(chain, data, keys);
  *out = std::move(keys);
  return SSF_API_OK;
}

}  // namespace qorcr
