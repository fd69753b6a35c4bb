// Developer trace: one trace file, a global level, entries stamped with
// time and thread, error entries with the saved source location, all under
// the recursive trace lock "dptrace".
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

#include <atomic>

typedef FILE* DPTRC_FILE_HDL;

// Global trace level 0..3. Callers read it without the lock when deciding
// whether to trace, hence atomic.
extern std::atomic<int> ct_level;
// Entry level of the call in progress (2 outside level-3 or unconditional entries).
extern std::atomic<int> EntLev;
// The facility's shared handle.
extern std::atomic<DPTRC_FILE_HDL> tf;

constexpr size_t kDpTrcBufSize = 8192;
constexpr size_t kDpTrcMaxFmt = 1024;
constexpr int kDpTrcStampEvery = 40;

// Opens `name` (mode 1 truncates, anything else appends), writes the header and
// returns the stream; standard error when the file cannot be opened. The first
// open sets `ct_level` to `level`.
DPTRC_FILE_HDL CTrcInit(const char* name, unsigned char mode, int level);
int CTrcFileClose(DPTRC_FILE_HDL hdl);
void CTrcSaveLocation(const char* file, int line);

// DpLock tells whether the lock was taken; only then may DpUnlock follow.
bool DpLock();
void DpUnlock();

// The entry writers rely on the caller holding the trace lock.
void DpTrc(DPTRC_FILE_HDL hdl, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DpTrcA7(DPTRC_FILE_HDL hdl, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DpTrcErr(DPTRC_FILE_HDL hdl, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DpTrcWarn(DPTRC_FILE_HDL hdl, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DpTrcV(DPTRC_FILE_HDL hdl, const char* fmt, va_list ap);
void DpTrcErrV(DPTRC_FILE_HDL hdl, const char* fmt, va_list ap);

// Hex dump of `length` bytes, written only for tl 1..3 when ct_level >= tl.
void DumpBuffer(DPTRC_FILE_HDL f, const void* startAddr, size_t length, int tl);

// Scoped hold of the trace lock; `ok()` tells whether it was taken. Nothing
// that needs the lock runs without it: an entry is skipped rather than
// written unlocked.
class DpLockGuard {
 public:
  DpLockGuard() : ok_(DpLock()) {}
  ~DpLockGuard() {
    if (ok_) DpUnlock();
  }
  DpLockGuard(const DpLockGuard&) = delete;
  DpLockGuard& operator=(const DpLockGuard&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// Call-site helpers. `hdl` is an expression re-read under the lock, so a
// handle closed by another thread in between is never written to. Level 0
// writes whenever a handle is open.
#define DPTRC_INFO(hdl, lvl, ...)                                   \
  do {                                                              \
    if ((hdl) != nullptr && ct_level.load() >= (lvl)) {             \
      DpLockGuard dp_guard_;                                        \
      DPTRC_FILE_HDL dp_h_ = (hdl);                                 \
      if (dp_guard_.ok() && dp_h_ != nullptr) {                     \
        EntLev = (lvl) == 3 ? 3 : ((lvl) == 0 ? 0 : 2);             \
        DpTrc(dp_h_, __VA_ARGS__);                                  \
        EntLev = 2;                                                 \
      }                                                             \
    }                                                               \
  } while (0)

// Error entry with the source location; `module` is the module's path name,
// for example "sec/tavrisso/ssoxxext". The location is saved under the same
// hold of the trace lock as the entry.
#define DPTRC_LOCATED(writer, hdl, module, ...)                     \
  do {                                                              \
    if ((hdl) != nullptr && ct_level.load() > 0) {                  \
      DpLockGuard dp_guard_;                                        \
      DPTRC_FILE_HDL dp_h_ = (hdl);                                 \
      if (dp_guard_.ok() && dp_h_ != nullptr) {                     \
        CTrcSaveLocation((module), __LINE__);                       \
        writer(dp_h_, __VA_ARGS__);                                 \
      }                                                             \
    }                                                               \
  } while (0)
#define DPTRC_ERR(hdl, module, ...) DPTRC_LOCATED(DpTrcErr, hdl, module, __VA_ARGS__)
// Warning entry (level 1) with its own source location, like an error.
#define DPTRC_WARN(hdl, module, ...) DPTRC_LOCATED(DpTrcWarn, hdl, module, __VA_ARGS__)
