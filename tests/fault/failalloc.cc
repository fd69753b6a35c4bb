// Every allocation path of the process passes one counter:
// - operator new/new[] (all C++ code, libstdc++ included) are replaced here;
// - malloc, calloc, realloc and strdup called from the library's own objects
//   go through __wrap_* (the program links with --wrap), which also works
//   under the sanitizers, whose runtimes own the real malloc;
// - OpenSSL allocates through CRYPTO_set_mem_functions, installed by a
//   constructor before anything else can touch the crypto library.
// Allocations inside the C library itself (stdio, iconv) are not counted.
#include "fault/failalloc.h"

#include <execinfo.h>
#include <openssl/crypto.h>
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <new>

extern "C" {
void* __real_malloc(size_t n);
void* __real_calloc(size_t n, size_t size);
void* __real_realloc(void* p, size_t n);
char* __real_strdup(const char* s);
}

namespace {

std::atomic<bool> armed{false};
std::atomic<bool> hit{false};
std::atomic<long> seen{0};
std::atomic<long> fail_at{0};

bool fail_now() {
  if (!armed.load(std::memory_order_relaxed)) return false;
  const long k = seen.fetch_add(1) + 1;
  if (k != fail_at.load()) return false;
  hit = true;
  const char* bt = getenv("QOR_FAULT_BACKTRACE");  // N: where failure N lands, for debugging
  if (bt != nullptr && atol(bt) == k) {
    void* frames[32];
    fprintf(stderr, "failalloc: allocation %ld fails here:\n", k);
    backtrace_symbols_fd(frames, backtrace(frames, 32), 2);
  }
  return true;
}

void* counted_malloc(size_t n) { return fail_now() ? nullptr : __real_malloc(n ? n : 1); }

void* ssl_malloc(size_t n, const char*, int) { return counted_malloc(n); }
void* ssl_realloc(void* p, size_t n, const char*, int) {
  if (n == 0) {  // a release, never a failure
    free(p);
    return nullptr;
  }
  return fail_now() ? nullptr : __real_realloc(p, n);
}
void ssl_free(void* p, const char*, int) { free(p); }

__attribute__((constructor(101))) void install_crypto_allocator() {
  if (CRYPTO_set_mem_functions(ssl_malloc, ssl_realloc, ssl_free) != 1) {
    fputs("failalloc: the crypto library allocated before its allocator was set\n", stderr);
    abort();
  }
}

}  // namespace

namespace qorfault {

void Arm(long n) {
  seen = 0;
  hit = false;
  fail_at = n;
  armed = true;
}

long Disarm() {
  armed = false;
  return seen.load();
}

bool Hit() { return hit.load(); }

}  // namespace qorfault

extern "C" {
void* __wrap_malloc(size_t n) { return fail_now() ? nullptr : __real_malloc(n); }
void* __wrap_calloc(size_t n, size_t size) { return fail_now() ? nullptr : __real_calloc(n, size); }
void* __wrap_realloc(void* p, size_t n) {
  if (p != nullptr && n == 0) return __real_realloc(p, n);
  return fail_now() ? nullptr : __real_realloc(p, n);
}
char* __wrap_strdup(const char* s) { return fail_now() ? nullptr : __real_strdup(s); }
}

void* operator new(size_t n) {
  if (void* p = counted_malloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  if (void* p = counted_malloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return counted_malloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return counted_malloc(n); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
