// Thread primitives over POSIX threads: plain and recursive mutexes,
// self-initialising critical sections, thread-specific data keys and one
// set of result codes. Every operation returns a THR_ERR_TYPE.
#pragma once

#include <pthread.h>
#include <stdint.h>

typedef int32_t THR_ERR_TYPE;

enum : THR_ERR_TYPE {
  THR_ERR_OK = 0,
  THR_ERR_ALIVE = 1,
  THR_ERR_BAD_PARM = 2,
  THR_ERR_EXISTS = 3,
  THR_ERR_INTERNAL = 4,
  THR_ERR_INVALID_ID = 5,
  THR_ERR_INVALID_KEY = 6,
  THR_ERR_NO_MEMORY = 7,
  THR_ERR_NOT_INITED = 8,
  THR_ERR_NOT_LOCKED = 9,
  THR_ERR_NOT_OWNER = 10,
  THR_ERR_NOT_SUPPORTED = 11,
  THR_ERR_OS = 12,
  THR_ERR_WOULD_DEADLK = 13,
  THR_ERR_NO_RESOURCE = 14,
  THR_ERR_TIMEOUT = 15,
};

typedef uint32_t THR_ID_TYPE;
constexpr THR_ID_TYPE kThrNoOwner = 0xFFFFFFFFu;
constexpr uint32_t kThrNoKey = 0xFFFFFFFFu;
// "DONE": the marker of an initialised critical section.
constexpr int32_t kThrCsInitDone = 0x444F4E45;

typedef struct {
  int32_t depth;
  THR_ID_TYPE owner;
  pthread_mutex_t mutex;
  char* userid;
} THR_RECMTX_TYPE;

typedef struct {
  int32_t cs_init_done;
  int32_t depth;
  THR_ID_TYPE owner;
  pthread_mutex_t thr_cs;
  char* userid;
} THR_CS_TYPE;

typedef struct {
  pthread_mutex_t mutex;
} THR_MTX_TYPE;

typedef uint32_t THR_KEY_TYPE;
typedef void (*THR_KEY_DESTRUCTOR)(void*);

// A statically defined critical section that initialises itself on first lock.
#define THR_CS_STATIC_INIT {0, 0, kThrNoOwner, PTHREAD_MUTEX_INITIALIZER, nullptr}
#define THR_RECMTX_STATIC_INIT {0, kThrNoOwner, PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP, nullptr}

void ThrSharedLibraryAware();
THR_ERR_TYPE ThrProcInit();
THR_ERR_TYPE ThrIProcInit();
bool ThrIsThreaded();

// A small decimal identifier of the calling thread (the kernel thread id).
THR_ID_TYPE ThrGetCurrentId();

THR_ERR_TYPE ThrMtxInit(THR_MTX_TYPE* mtx, const char* name);
THR_ERR_TYPE ThrMtxLock(THR_MTX_TYPE* mtx);
THR_ERR_TYPE ThrMtxTryLock(THR_MTX_TYPE* mtx);
THR_ERR_TYPE ThrMtxUnlock(THR_MTX_TYPE* mtx);
THR_ERR_TYPE ThrMtxDelete(THR_MTX_TYPE* mtx);

THR_ERR_TYPE ThrRecMtxInit(THR_RECMTX_TYPE* mtx, const char* tag);
THR_ERR_TYPE ThrRecMtxLock(THR_RECMTX_TYPE* mtx);
THR_ERR_TYPE ThrRecMtxUnlock(THR_RECMTX_TYPE* mtx);
THR_ERR_TYPE ThrRecMtxDelete(THR_RECMTX_TYPE* mtx);

THR_ERR_TYPE ThrCSInit2(THR_CS_TYPE* cs, const char* tag);
THR_ERR_TYPE ThrCSLock(THR_CS_TYPE* cs);
THR_ERR_TYPE ThrCSUnlock(THR_CS_TYPE* cs);
THR_ERR_TYPE ThrCSDelete(THR_CS_TYPE* cs);

THR_ERR_TYPE ThrKeyGet(THR_KEY_TYPE* key, THR_KEY_DESTRUCTOR destructor);
THR_ERR_TYPE ThrKeyDel(THR_KEY_TYPE* key);
THR_ERR_TYPE ThrKeyVarSet(THR_KEY_TYPE key, void* value);
THR_ERR_TYPE ThrKeyVarGet(THR_KEY_TYPE key, void** value);

const char* ThrErrToStr(THR_ERR_TYPE code);

// Scoped hold of a lock of the thread layer; `ok()` tells whether the lock
// was taken, and only a lock taken is released.
template <typename Lock, THR_ERR_TYPE (*Take)(Lock*), THR_ERR_TYPE (*Release)(Lock*)>
class ThrLockGuard {
 public:
  explicit ThrLockGuard(Lock* lock) : lock_(lock), rc_(Take(lock)) {}
  ~ThrLockGuard() { if (rc_ == THR_ERR_OK) Release(lock_); }
  ThrLockGuard(const ThrLockGuard&) = delete;
  ThrLockGuard& operator=(const ThrLockGuard&) = delete;
  bool ok() const { return rc_ == THR_ERR_OK; }
 private:
  Lock* lock_;
  THR_ERR_TYPE rc_;
};

// A recursive mutex or critical section for its scope.
using ThrRecMtxGuard = ThrLockGuard<THR_RECMTX_TYPE, ThrRecMtxLock, ThrRecMtxUnlock>;
using ThrCSGuard = ThrLockGuard<THR_CS_TYPE, ThrCSLock, ThrCSUnlock>;

// A plain POSIX mutex for its scope (for locks that must exist before the
// thread layer starts).
class ThrPosixMutexGuard {
 public:
  explicit ThrPosixMutexGuard(pthread_mutex_t* m) : m_(m), ok_(pthread_mutex_lock(m) == 0) {}
  ~ThrPosixMutexGuard() { if (ok_) pthread_mutex_unlock(m_); }
  ThrPosixMutexGuard(const ThrPosixMutexGuard&) = delete;
  ThrPosixMutexGuard& operator=(const ThrPosixMutexGuard&) = delete;
  bool ok() const { return ok_; }
 private:
  pthread_mutex_t* m_;
  bool ok_;
};

