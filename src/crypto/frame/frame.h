// The crypto library's entry frame as its services see it: lazy
// initialisation, the entry of every exported service, the library's own
// trace and the calling thread's error stack.
#pragma once

#include <stdint.h>

#include <new>
#include <string>

namespace qorcr {

constexpr char kModule[] = "QORCRYPTOLIB";

// Trace levels of the crypto library.
constexpr int32_t kTrcFatal = 1;   // initialisation and other fatal errors
constexpr int32_t kTrcError = 2;   // errors inside a service
constexpr int32_t kTrcInfo = 3;    // progress
constexpr int32_t kTrcDetail = 4;  // entry/exit and per-call summary lines
constexpr int32_t kTrcMaxLevel = 5;
constexpr int32_t kTrcEntryMark = 0x10000000;
constexpr int32_t kTrcExitMark = 0x20000000;

// Result codes of the initialisation.
constexpr int32_t kRcNoCertifiedKernel = static_cast<int32_t>(0xa0100022u);
constexpr int32_t kRcSelftestFailed = static_cast<int32_t>(0xa0100219u);
constexpr int32_t kRcMissingFunction = static_cast<int32_t>(0xa0000013u);
// cryptolib_set_memory_callback after the loader started, and with some
// but not all four functions.
constexpr int32_t kRcLoaderStarted = static_cast<int32_t>(0xa0000205u);
constexpr int32_t kRcMixedAllocator = static_cast<int32_t>(0xa000000bu);
// SsfSecTKLastErrorInfo's code when the thread's error stack cannot be kept.
constexpr int32_t kRcNoErrorModule = 1286;

// True when a message of `level` would reach a registered callback.
bool TraceWanted(int32_t level);
// One trace message of the library (module "QORCRYPTOLIB"), formatted only
// when someone listens. Never pass PINs or secret bytes.
void Trace(int32_t level, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Empties the calling thread's error stack.
void ErrorClear();
// Whether the calling thread's error stack holds anything.
bool ErrorPending();
// Pushes one entry on the calling thread's error stack.
void ErrorPush(int32_t code, const char* func, const char* text, const char* detail = nullptr);
// As ErrorPush, with OpenSSL's pending errors of this thread as the detail;
// OpenSSL's queue is empty afterwards.
void ErrorPushOpenSsl(int32_t code, const char* func, const char* text);
// Drops OpenSSL's pending errors of this thread (expected failures, such as
// trying one decoding after another).
void OpenSslErrorsDrop();

// Initialises the library when it is not yet (the lazy stub of every
// exported call). Returns 0, or -1 when initialisation fails.
int32_t EnsureInitialized();
bool IsInitialized();

// The frame around one exported Ssf... service: lazy initialisation, a
// fresh error stack for the calling thread, entry and exit trace lines.
//   qorcr::SsfEntry entry("SsfVerifyEx");
//   if (!entry.ok()) return -1;
class SsfEntry {
 public:
  explicit SsfEntry(const char* func, bool clear_errors = true);
  ~SsfEntry();
  SsfEntry(const SsfEntry&) = delete;
  SsfEntry& operator=(const SsfEntry&) = delete;
  bool ok() const { return ok_; }

 private:
  const char* func_;
  bool ok_;
};

// A configuration value set through qorcr_set_property_string ("vlt/...").
bool ConfigGet(const std::string& name, std::string* out);

}  // namespace qorcr

// Body of an exported call: no exception leaves it; memory exhaustion
// becomes `oom_rc`, anything else SSF_API_INTERNAL_BUG.
#define QORCR_NOEXCEPT_BODY(oom_rc, ...)       \
  try {                                        \
    __VA_ARGS__                                \
  } catch (const std::bad_alloc&) {            \
    return (oom_rc);                           \
  } catch (...) {                              \
    return 18;                                 \
  }
