// An allocator that wipes its memory before giving it back, for buffers of
// key material: every reallocation and the final release cleanse the block.
#pragma once

#include <stddef.h>

#include <memory>

#include "crypto/hash/hashapi.h"

namespace qorcr {

template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) {}
  T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, size_t n) {
    crypt_cleanse(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
};
template <typename T, typename U>
bool operator==(const WipingAllocator<T>&, const WipingAllocator<U>&) { return true; }
template <typename T, typename U>
bool operator!=(const WipingAllocator<T>&, const WipingAllocator<U>&) { return false; }

}  // namespace qorcr
