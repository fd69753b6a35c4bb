// The loaded ticket key as evaluations, creations and token checks see it:
// built whole at the end of a key load and swapped in. A call takes one
// reference at its start and uses only that, so a reload never changes or
// deletes what a running call uses, and no call waits for a load.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sec/jwt/jwkset.h"

// A memory key store that lives as long as any snapshot or load uses it.
struct TavriMemoryPse {
  explicit TavriMemoryPse(std::string n) : name(std::move(n)) {}
  ~TavriMemoryPse();
  TavriMemoryPse(const TavriMemoryPse&) = delete;
  TavriMemoryPse& operator=(const TavriMemoryPse&) = delete;
  const std::string name;
};

struct TavriKeySnapshot {
  std::shared_ptr<TavriMemoryPse> pse;  // null: no key store loaded
  std::string password;                 // of the key store; wiped
  std::vector<unsigned char> key;       // secret or certificate bytes; wiped
  JwkSetRef jwks;
  TavriKeySnapshot() = default;
  TavriKeySnapshot(const TavriKeySnapshot&) = delete;
  TavriKeySnapshot& operator=(const TavriKeySnapshot&) = delete;
  ~TavriKeySnapshot();
};
using TavriKeyRef = std::shared_ptr<const TavriKeySnapshot>;

// The current snapshot; never null.
TavriKeyRef TavriCurrentKey();

// Publishes what the loader's state holds now (key store, password, key
// bytes, JWK Set) as the current snapshot. The caller holds ssf_rmtx.
// Out of memory, it publishes no key at all and returns false.
bool TavriPublishKey() noexcept;

// The loader's reference to its memory key store (ssf_rmtx).
extern std::shared_ptr<TavriMemoryPse> gLoadedPse;
