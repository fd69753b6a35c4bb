// The published key snapshot.
#include "sec/tavrisso/api/key_snapshot.h"

#include <atomic>

#include "crypto/hash/hashapi.h"
#include "sec/tavrisso/api/jwks_load.h"
#include "sec/tavrisso/api/state.h"

std::shared_ptr<TavriMemoryPse> gLoadedPse;

namespace {

std::shared_ptr<const TavriKeySnapshot> empty_snapshot() {
  static const auto empty = std::make_shared<const TavriKeySnapshot>();
  return empty;
}

// Read with std::atomic_load, replaced with std::atomic_store. Never
// destroyed: a snapshot left at exit must not reach a torn-down crypto layer.
std::shared_ptr<const TavriKeySnapshot>& current = *new std::shared_ptr<const TavriKeySnapshot>;

}  // namespace

TavriMemoryPse::~TavriMemoryPse() {
  if (s_SsfLib.fp_qor_delete_memory_PSE != nullptr) s_SsfLib.fp_qor_delete_memory_PSE(name.c_str());
}

TavriKeySnapshot::~TavriKeySnapshot() {
  if (!password.empty()) crypt_cleanse(&password[0], password.size());
  if (!key.empty()) crypt_cleanse(key.data(), key.size());
}

TavriKeyRef TavriCurrentKey() {
  TavriKeyRef k = std::atomic_load(&current);
  return k ? k : empty_snapshot();
}

bool TavriPublishKey() noexcept {
  std::shared_ptr<const TavriKeySnapshot> next;
  try {
    auto s = std::make_shared<TavriKeySnapshot>();
    if (gLoadedPse && pMemoryPSE != nullptr) {
      s->pse = gLoadedPse;
      s->password = PSEpwd;
    }
    s->key.assign(X509Key, X509Key + X509KeyLen);
    s->jwks = TavriLoadedJwkSet();
    next = std::move(s);
  } catch (...) {
    std::atomic_store(&current, empty_snapshot());
    return false;
  }
  std::atomic_store(&current, std::move(next));
  return true;
}
