// Lazy and explicit initialisation of the crypto library under its own
// mutex, with a reference count; the version record; the Ssf... entry frame.
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <atomic>

#include "base/thr/thr.h"
#include "crypto/frame/frame.h"
#include "crypto/frame/frameint.h"
#include "crypto/pse/pse.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr char kAppName[] = "Vorlith";
constexpr size_t kOwnFileNameSize = 512;
constexpr int32_t kVersionMajor = 1;
constexpr int32_t kVersionMinor = 0;
constexpr int32_t kVersionBug = 0;
constexpr int32_t kVersionPl = 0;
constexpr char kPrintableVersion[] = "QORCRYPTOLIB Version 1.0.0 pl 0 (" __DATE__ ")";

THR_RECMTX_TYPE initMutex = THR_RECMTX_STATIC_INIT;
// Written under initMutex, read without it.
std::atomic<unsigned char> qorcryptolib_initialized{0};
std::atomic<uint32_t> s_cInit{0};
int32_t s_rcInit = 0;  // guarded by initMutex

const qorcr_version_info kVersionInfo = {
    kVersionMajor, kVersionMinor, kVersionBug, kVersionPl, "", "release", __DATE__,
    static_cast<int32_t>(sizeof(qorcr_version_info)), 1, kPrintableVersion, 0, "linux",
    0, 0, 0, "", "", ""};

// Known-answer test of the kernel's digest: SHA-256("abc").
bool kernel_selftest() {
  static const unsigned char kExpected[32] = {
      0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
      0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest("abc", 3, md, &len, EVP_sha256(), nullptr) != 1) return false;
  return len == sizeof kExpected && memcmp(md, kExpected, len) == 0;
}

// Set once the loader (the crypto kernel) has started; the allocator can
// no longer change then. Written under initMutex.
std::atomic<bool> loader_started{false};

int32_t start_kernel() {
  if (FipsKernelSelected()) return kRcNoCertifiedKernel;
  if (!kernel_selftest()) return kRcSelftestFailed;
  loader_started = true;
  return 0;
}

// The caller's allocator, behind OpenSSL's allocation hooks; null pointers
// mean the built-in one. OpenSSL zeroes its own blocks, so the zeroed
// allocation is kept with the others but has no hook to serve.
std::atomic<tQorcryptolib_Malloc> user_malloc{nullptr};
std::atomic<tQorcryptolib_Calloc> user_calloc{nullptr};
std::atomic<tQorcryptolib_Realloc> user_realloc{nullptr};
std::atomic<tQorcryptolib_Free> user_free{nullptr};
bool hooks_installed = false;  // guarded by initMutex

void* hook_malloc(size_t n, const char*, int) {
  const tQorcryptolib_Malloc f = user_malloc.load();
  return f != nullptr ? f(n) : malloc(n);
}
void* hook_realloc(void* p, size_t n, const char*, int) {
  const tQorcryptolib_Realloc f = user_realloc.load();
  return f != nullptr ? f(p, n) : realloc(p, n);
}
void hook_free(void* p, const char*, int) {
  const tQorcryptolib_Free f = user_free.load();
  if (f != nullptr) {
    f(p);
  } else {
    free(p);
  }
}

void set_allocator(tQorcryptolib_Malloc m, tQorcryptolib_Calloc c, tQorcryptolib_Realloc r,
                   tQorcryptolib_Free f) {
  user_malloc = m;
  user_calloc = c;
  user_realloc = r;
  user_free = f;
}

const qorcr_f_list kFunctionList = {static_cast<int32_t>(sizeof(qorcr_f_list)), &qorcr_init,
                                    &qorcr_done, &qorcr_get_version};

int32_t init_failed(int32_t rc) {
  switch (rc) {
    case kRcSelftestFailed:
      Trace(kTrcFatal, "IMPL_Init", "Cryptolib algorithm selftest failed");
      break;
    case kRcNoCertifiedKernel:
      Trace(kTrcFatal, "IMPL_Init", "Didn't find FIPS 140-2 certified Crypto Kernel");
      break;
    default:
      Trace(kTrcFatal, "IMPL_Init", "Cryptolib initialization failed with error %X",
            static_cast<unsigned>(rc));
      break;
  }
  s_rcInit = rc;
  TraceFallbackDisable();
  OpenSslErrorsDrop();
  return rc;
}

// One reference more; the first one does the real work. Caller holds initMutex.
int32_t IMPL_Init() {
  if (s_cInit.fetch_add(1) + 1 != 1) return s_rcInit;
  TraceHandlerRegister(true);
  TraceFallbackEnable();
  Trace(kTrcInfo, "IMPL_Init", "Initializing qorcrypto API of the %s...", kAppName);
  Trace(kTrcInfo, "IMPL_Init", "trying to find own filename...");
  Dl_info info;
  char own[kOwnFileNameSize] = "";
  if (dladdr(reinterpret_cast<void*>(&qorcr_init), &info) != 0 && info.dli_fname != nullptr)
    snprintf(own, sizeof own, "%s", info.dli_fname);
  Trace(kTrcInfo, "IMPL_Init", "own filename is: '%s'", own);
  Trace(kTrcInfo, "IMPL_Init", "Initializing %s...", kAppName);
  int32_t rc = start_kernel();
  if (rc != 0) return init_failed(rc);
  Trace(kTrcInfo, "IMPL_Init", "%s initialized successfully", kAppName);
  ErrorClear();
  if (PseRegisterBuiltins() != 0) {
    Trace(kTrcFatal, "IMPL_Init", "%s\nERROR: Failed to get a required module\n",
          "built-in profiles could not be registered");
    return init_failed(kRcMissingFunction);
  }
  s_rcInit = 0;
  TraceFallbackDisable();
  return 0;
}

// One reference less; the last one shuts the library down. Caller holds initMutex.
int32_t IMPL_Done() {
  if (s_cInit.load() == 0) return 0;
  if (s_cInit.fetch_sub(1) - 1 != 0) return 0;
  if (s_rcInit == 0) PseRemoveBuiltins();
  PseForgetAll();
  TraceHandlerRegister(false);
  qorcryptolib_initialized = 0;
  return 0;
}

// QORCRYPTOLIB_Init: the real initialisation under initMutex.
int32_t init_locked() {
  int32_t rc = IMPL_Init();
  if (rc == 0) qorcryptolib_initialized = 1;
  return rc;
}

}  // namespace

bool IsInitialized() { return qorcryptolib_initialized.load() != 0; }

int32_t EnsureInitialized() {
  if (IsInitialized()) return 0;
  ThrRecMtxGuard guard(&initMutex);
  if (!guard.ok()) return -1;
  if (IsInitialized()) return 0;
  return init_locked() == 0 ? 0 : -1;
}

SsfEntry::SsfEntry(const char* func, bool clear_errors) : func_(func) {
  ok_ = EnsureInitialized() == 0;
  if (ok_ && clear_errors) ErrorClear();
  if (ok_) Trace(kTrcDetail | kTrcEntryMark, func_, "{ %s", func_);
}

SsfEntry::~SsfEntry() {
  if (ok_) Trace(kTrcDetail | kTrcExitMark, func_, "} %s", func_);
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t qorcr_init(void) {
  ThrRecMtxGuard guard(&initMutex);
  if (!guard.ok()) return -1;
  if (!IsInitialized()) {
    int32_t rc = init_locked();
    if (rc != 0) return rc == kRcNoCertifiedKernel ? rc : -1;
  } else if (IMPL_Init() != 0) {
    return -1;
  }
  Trace(kTrcDetail | kTrcEntryMark, "qorcr_init", "{ %s", "qorcr_init");
  Trace(kTrcDetail, "qorcr_init", "%s: %08X", "ret", 0u);
  Trace(kTrcDetail | kTrcExitMark, "qorcr_init", "} %s", "qorcr_init");
  return 0;
}

int32_t qorcr_done(void) {
  ThrRecMtxGuard guard(&initMutex);
  if (!guard.ok()) return -1;
  Trace(kTrcDetail | kTrcEntryMark, "qorcr_done", "{ %s", "qorcr_done");
  Trace(kTrcDetail, "qorcr_done", "%s: %08X", "ret", 0u);
  Trace(kTrcDetail | kTrcExitMark, "qorcr_done", "} %s", "qorcr_done");
  IMPL_Done();
  return 0;
}

int32_t cryptolib_get_f_list(const qorcr_f_list** ppList) {
  if (ppList == nullptr) return SSF_API_INVALID_FUNCARGS;
  *ppList = nullptr;
  ThrRecMtxGuard guard(&initMutex);
  if (!guard.ok()) return -1;
  // Someone hears a failing start even before the library is initialised.
  const bool had_handler = TraceHandlerRegistered();
  TraceHandlerRegister(true);
  TraceFallbackEnable();
  const int32_t rc = start_kernel();
  TraceFallbackDisable();
  TraceHandlerRegister(had_handler);
  if (rc != 0) return rc;
  *ppList = &kFunctionList;
  return 0;
}

int32_t cryptolib_set_memory_callback(tQorcryptolib_Malloc pMalloc, tQorcryptolib_Calloc pCalloc,
                                      tQorcryptolib_Realloc pRealloc, tQorcryptolib_Free pFree) {
  ThrRecMtxGuard guard(&initMutex);
  if (!guard.ok()) return -1;
  if (loader_started.load()) return kRcLoaderStarted;
  const bool all = pMalloc && pCalloc && pRealloc && pFree;
  if (!all) {
    set_allocator(nullptr, nullptr, nullptr, nullptr);
    return pMalloc || pCalloc || pRealloc || pFree ? kRcMixedAllocator : 0;
  }
  // OpenSSL takes hooks only before its first allocation.
  if (!hooks_installed && CRYPTO_set_mem_functions(hook_malloc, hook_realloc, hook_free) != 1)
    return kRcLoaderStarted;
  hooks_installed = true;
  set_allocator(pMalloc, pCalloc, pRealloc, pFree);
  return 0;
}

int32_t qorcr_get_version(const qorcr_version_info** ppVersion) {
  if (ppVersion == nullptr) return SSF_API_INVALID_FUNCARGS;
  *ppVersion = &kVersionInfo;
  return 0;
}

}  // extern "C"
