#include "base/thr/thr.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <mutex>

namespace {

constexpr int kMaxKeys = 128;

struct KeyEntry {
  bool used;
  pthread_key_t key;
  THR_KEY_DESTRUCTOR destructor;
};

std::atomic<bool> thr_init_done{false};
std::atomic<bool> thr_threaded{false};
bool thr_shr_lib = false;

// The layer's internal mutexes: initialisation, critical-section set-up,
// the key table and the thread list.
pthread_mutex_t thr_init_mtx = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t thr_cs_mtx = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t thr_lib_mtx = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t thr_list_mtx = PTHREAD_MUTEX_INITIALIZER;

KeyEntry key_table[kMaxKeys];
THR_ID_TYPE first_thread = kThrNoOwner;

const char* const kErrTexts[] = {
    "Operation completed successfully.",
    "Thread still alive.",
    "Invalid parameter passed.",
    "Attempt was made to initialize an item which already exists.",
    "Thread library internal error.",
    "Thread ID is invalid.",
    "Thread specific data key is invalid.",
    "Error occurred while attempting to allocate memory.",
    "Thread library not yet initialized.",
    "Attempt was made to unlock a critical section which is not currently locked.",
    "Attempt was made to unlock a critical section owned by another thread.",
    "Threads not supported on this platform.",
    "Operating system error occurred.",
    "Operation would cause the calling thread to deadlock.",
    "Operation failed due to lack of resources.",
    "Operation timed out.",
};

void thr_exit_handler() {
  // Nothing is torn down at exit: other exit handlers may still trace.
}

THR_ERR_TYPE init_recursive(pthread_mutex_t* m) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return THR_ERR_OS;
  int rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  if (rc == 0) rc = pthread_mutex_init(m, &attr);
  pthread_mutexattr_destroy(&attr);
  return rc == 0 ? THR_ERR_OK : THR_ERR_OS;
}

char* copy_tag(const char* tag) { return tag ? strdup(tag) : nullptr; }

[[noreturn]] void panic(const char* fmt, const char* tag) {
  fprintf(stderr, fmt, tag ? tag : "not set");
  fflush(stderr);
  abort();
}

}  // namespace

void ThrSharedLibraryAware() { thr_shr_lib = true; }

bool ThrIsThreaded() { return thr_threaded.load(std::memory_order_acquire); }

namespace {

// The kernel's id of the calling thread, asked once per thread: every lock
// records its owner, and a system call per lock costs more than the lock.
// The child of a fork is a new thread with the same memory: it asks again.
thread_local THR_ID_TYPE t_thread_id = 0;
std::once_flag fork_handler_once;

void forget_thread_id() { t_thread_id = 0; }

}  // namespace

THR_ID_TYPE ThrGetCurrentId() {
  if (t_thread_id == 0) {
    std::call_once(fork_handler_once, [] { pthread_atfork(nullptr, nullptr, forget_thread_id); });
    t_thread_id = static_cast<THR_ID_TYPE>(syscall(SYS_gettid));
  }
  return t_thread_id;
}

THR_ERR_TYPE ThrIProcInit() {
  if (thr_init_done.load(std::memory_order_acquire)) return THR_ERR_OK;
  pthread_mutex_lock(&thr_init_mtx);
  if (!thr_init_done.load(std::memory_order_relaxed)) {
    // The internal mutexes are statically initialised, so nothing can fail
    // here; record the first thread and, outside a shared library, the
    // exit handler.
    pthread_mutex_lock(&thr_list_mtx);
    first_thread = ThrGetCurrentId();
    pthread_mutex_unlock(&thr_list_mtx);
    if (!thr_shr_lib) atexit(thr_exit_handler);
    thr_init_done.store(true, std::memory_order_release);
  }
  pthread_mutex_unlock(&thr_init_mtx);
  return THR_ERR_OK;
}

THR_ERR_TYPE ThrProcInit() {
  THR_ERR_TYPE rc = ThrIProcInit();
  if (rc != THR_ERR_OK) return rc;
  thr_threaded.store(true, std::memory_order_release);
  return THR_ERR_OK;
}

// ---- plain mutex ----

THR_ERR_TYPE ThrMtxInit(THR_MTX_TYPE* mtx, const char* /*name*/) {
  if (mtx == nullptr) return THR_ERR_BAD_PARM;
  return pthread_mutex_init(&mtx->mutex, nullptr) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

THR_ERR_TYPE ThrMtxLock(THR_MTX_TYPE* mtx) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  return pthread_mutex_lock(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

THR_ERR_TYPE ThrMtxTryLock(THR_MTX_TYPE* mtx) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  return pthread_mutex_trylock(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

THR_ERR_TYPE ThrMtxUnlock(THR_MTX_TYPE* mtx) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  return pthread_mutex_unlock(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

THR_ERR_TYPE ThrMtxDelete(THR_MTX_TYPE* mtx) {
  if (!thr_init_done.load(std::memory_order_acquire)) return THR_ERR_NOT_INITED;
  return pthread_mutex_destroy(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

// ---- recursive mutex ----

THR_ERR_TYPE ThrRecMtxInit(THR_RECMTX_TYPE* mtx, const char* tag) {
  if (mtx == nullptr) return THR_ERR_BAD_PARM;
  if (init_recursive(&mtx->mutex) != THR_ERR_OK) return THR_ERR_OS;
  mtx->depth = 0;
  mtx->owner = kThrNoOwner;
  mtx->userid = copy_tag(tag);
  return THR_ERR_OK;
}

THR_ERR_TYPE ThrRecMtxLock(THR_RECMTX_TYPE* mtx) {
  // Always a real lock, also before ThrProcInit.
  if (pthread_mutex_lock(&mtx->mutex) != 0) return THR_ERR_BAD_PARM;
  mtx->owner = ThrGetCurrentId();
  mtx->depth++;
  return THR_ERR_OK;
}

THR_ERR_TYPE ThrRecMtxUnlock(THR_RECMTX_TYPE* mtx) {
  mtx->depth--;
  if (mtx->depth < 0) panic("ThrRecMtxUnlock: PANIC: #unlock > #lock, tag: \"%s\"\n", mtx->userid);
  if (mtx->depth == 0) mtx->owner = kThrNoOwner;
  return pthread_mutex_unlock(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_BAD_PARM;
}

THR_ERR_TYPE ThrRecMtxDelete(THR_RECMTX_TYPE* mtx) {
  if (!thr_init_done.load(std::memory_order_acquire)) return THR_ERR_NOT_INITED;
  free(mtx->userid);
  mtx->userid = nullptr;
  return pthread_mutex_destroy(&mtx->mutex) == 0 ? THR_ERR_OK : THR_ERR_OS;
}

// ---- critical sections ----

THR_ERR_TYPE ThrCSInit2(THR_CS_TYPE* cs, const char* tag) {
  if (cs == nullptr) return THR_ERR_BAD_PARM;
  THR_ERR_TYPE rc = ThrIProcInit();
  if (rc != THR_ERR_OK) return rc;
  if (pthread_mutex_lock(&thr_cs_mtx) != 0) return THR_ERR_OS;
  if (__atomic_load_n(&cs->cs_init_done, __ATOMIC_ACQUIRE) == kThrCsInitDone) {
    rc = THR_ERR_EXISTS;
  } else if (init_recursive(&cs->thr_cs) != THR_ERR_OK) {
    rc = THR_ERR_OS;
  } else {
    cs->depth = 0;
    cs->owner = kThrNoOwner;
    cs->userid = copy_tag(tag);
    __atomic_store_n(&cs->cs_init_done, kThrCsInitDone, __ATOMIC_RELEASE);
  }
  pthread_mutex_unlock(&thr_cs_mtx);
  return rc;
}

THR_ERR_TYPE ThrCSLock(THR_CS_TYPE* cs) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  THR_ERR_TYPE rc = ThrIProcInit();
  if (rc != THR_ERR_OK) return rc;
  if (__atomic_load_n(&cs->cs_init_done, __ATOMIC_ACQUIRE) != kThrCsInitDone) {
    rc = ThrCSInit2(cs, nullptr);
    // Another thread may have won the race; that is fine.
    if (rc != THR_ERR_OK && rc != THR_ERR_EXISTS) return rc;
    if (__atomic_load_n(&cs->cs_init_done, __ATOMIC_ACQUIRE) != kThrCsInitDone)
      return THR_ERR_INTERNAL;
  }
  if (pthread_mutex_lock(&cs->thr_cs) != 0) return THR_ERR_BAD_PARM;
  cs->owner = ThrGetCurrentId();
  cs->depth++;
  return THR_ERR_OK;
}

THR_ERR_TYPE ThrCSUnlock(THR_CS_TYPE* cs) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  if (!thr_init_done.load(std::memory_order_acquire) ||
      __atomic_load_n(&cs->cs_init_done, __ATOMIC_ACQUIRE) != kThrCsInitDone)
    return THR_ERR_NOT_INITED;
  cs->depth--;
  if (cs->depth < 0) panic("ThrCSUnlock: PANIC: #unlock > #lock, tag: \"%s\"\n", cs->userid);
  if (cs->depth == 0) cs->owner = kThrNoOwner;
  return pthread_mutex_unlock(&cs->thr_cs) == 0 ? THR_ERR_OK : THR_ERR_BAD_PARM;
}

THR_ERR_TYPE ThrCSDelete(THR_CS_TYPE* cs) {
  if (!ThrIsThreaded()) return THR_ERR_OK;
  if (!thr_init_done.load(std::memory_order_acquire) ||
      __atomic_load_n(&cs->cs_init_done, __ATOMIC_ACQUIRE) != kThrCsInitDone)
    return THR_ERR_NOT_INITED;
  if (pthread_mutex_lock(&thr_cs_mtx) != 0) return THR_ERR_OS;
  __atomic_store_n(&cs->cs_init_done, 0, __ATOMIC_RELEASE);
  free(cs->userid);
  cs->userid = nullptr;
  THR_ERR_TYPE rc = pthread_mutex_destroy(&cs->thr_cs) == 0 ? THR_ERR_OK : THR_ERR_OS;
  pthread_mutex_unlock(&thr_cs_mtx);
  return rc;
}

// ---- thread-specific data keys ----

THR_ERR_TYPE ThrKeyGet(THR_KEY_TYPE* key, THR_KEY_DESTRUCTOR destructor) {
  if (key == nullptr) return THR_ERR_BAD_PARM;
  const bool threaded = ThrIsThreaded();
  if (threaded) pthread_mutex_lock(&thr_lib_mtx);
  THR_ERR_TYPE rc = THR_ERR_OK;
  int free_slot = -1;
  for (int i = 0; i < kMaxKeys; ++i) {
    if (key_table[i].used && *key != kThrNoKey && key_table[i].key == *key) {
      rc = THR_ERR_EXISTS;
      break;
    }
    if (!key_table[i].used && free_slot < 0) free_slot = i;
  }
  if (rc == THR_ERR_OK) {
    pthread_key_t k;
    if (free_slot < 0) {
      rc = THR_ERR_NO_MEMORY;
    } else if (pthread_key_create(&k, destructor) != 0) {
      *key = kThrNoKey;
      rc = THR_ERR_NO_RESOURCE;
    } else {
      key_table[free_slot] = KeyEntry{true, k, destructor};
      *key = static_cast<THR_KEY_TYPE>(k);
    }
  }
  if (threaded) pthread_mutex_unlock(&thr_lib_mtx);
  return rc;
}

THR_ERR_TYPE ThrKeyDel(THR_KEY_TYPE* key) {
  if (key == nullptr || *key == kThrNoKey) return THR_ERR_BAD_PARM;
  const bool threaded = ThrIsThreaded();
  if (threaded) pthread_mutex_lock(&thr_lib_mtx);
  THR_ERR_TYPE rc = THR_ERR_INVALID_KEY;
  for (int i = 0; i < kMaxKeys; ++i) {
    if (key_table[i].used && key_table[i].key == *key) {
      pthread_key_delete(key_table[i].key);
      key_table[i].used = false;
      rc = THR_ERR_OK;
      break;
    }
  }
  if (rc == THR_ERR_OK) *key = kThrNoKey;
  if (threaded) pthread_mutex_unlock(&thr_lib_mtx);
  return rc;
}

THR_ERR_TYPE ThrKeyVarSet(THR_KEY_TYPE key, void* value) {
  if (key == kThrNoKey) return THR_ERR_INVALID_KEY;
  return pthread_setspecific(static_cast<pthread_key_t>(key), value) == 0 ? THR_ERR_OK
                                                                         : THR_ERR_INVALID_KEY;
}

THR_ERR_TYPE ThrKeyVarGet(THR_KEY_TYPE key, void** value) {
  if (key == kThrNoKey || value == nullptr) return THR_ERR_INVALID_KEY;
  *value = pthread_getspecific(static_cast<pthread_key_t>(key));
  return THR_ERR_OK;
}

const char* ThrErrToStr(THR_ERR_TYPE code) {
  if (code >= 0 && code < static_cast<THR_ERR_TYPE>(sizeof kErrTexts / sizeof kErrTexts[0]))
    return kErrTexts[code];
  return "Error code not defined by the thread library.";
}
