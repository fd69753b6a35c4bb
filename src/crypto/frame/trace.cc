// The crypto library's trace: callback registration, the notification
// handler's level decision and the standard-error fallback used while the
// library initialises.
#include <stdarg.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>

#include "crypto/frame/frame.h"
#include "crypto/frame/frameint.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr uint32_t kLocalLevelMax = 4;
constexpr int32_t kLevelMask = 0x0FFFFFFF;
constexpr size_t kTraceTextSize = 2048;

// Plain process-wide data: callers register before going multi-threaded;
// atomics keep concurrent readers well-defined all the same.
std::atomic<uint32_t> s_aLevel{0};
std::atomic<tQorcryptolib_Trace_Callback> s_pQorcryptolib_Trace_Callback{nullptr};
std::atomic<tQorcryptolib_GetTraceLevel_Callback> s_pQorcryptolib_GetTraceLevel_Callback{nullptr};
// The frame's notification handler is registered while the library is initialised.
std::atomic<bool> handler_registered{false};
std::atomic<int32_t> notify_global_level{0};
std::atomic<bool> fallback_active{false};
uint32_t level_before_fallback = 0;

int32_t stderr_fallback(int32_t level, const char*, const char*, const char* text) {
  if (level == kTrcFatal) fprintf(stderr, "%s\n", text);
  return level;
}

int32_t threshold() {
  if (auto cb = s_pQorcryptolib_GetTraceLevel_Callback.load()) {
    int32_t answer = cb();
    if (answer >= 0) return std::min(answer, kTrcMaxLevel);
  }
  return static_cast<int32_t>(s_aLevel.load());
}

}  // namespace

bool TraceWanted(int32_t level) {
  if (!handler_registered.load() || s_pQorcryptolib_Trace_Callback.load() == nullptr) return false;
  return (level & kLevelMask) <= threshold();
}

void Trace(int32_t level, const char* func, const char* fmt, ...) {
  if (!TraceWanted(level)) return;
  auto cb = s_pQorcryptolib_Trace_Callback.load();
  if (cb == nullptr) return;
  char text[kTraceTextSize];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  cb(level & kLevelMask, kModule, func ? func : "", text);
}

void TraceHandlerRegister(bool on) { handler_registered = on; }
bool TraceHandlerRegistered() { return handler_registered.load(); }

void TraceFallbackEnable() {
  if (s_pQorcryptolib_Trace_Callback.load() != nullptr) return;
  level_before_fallback = s_aLevel.load();
  s_pQorcryptolib_Trace_Callback = &stderr_fallback;
  s_aLevel = kTrcFatal;
  fallback_active = true;
}

void TraceFallbackDisable() {
  if (!fallback_active.exchange(false)) return;
  tQorcryptolib_Trace_Callback expected = &stderr_fallback;
  // Only undo what the fallback set; a registration in between wins.
  if (s_pQorcryptolib_Trace_Callback.compare_exchange_strong(expected, nullptr))
    s_aLevel = level_before_fallback;
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t Qorcryptolib_RegisterTraceCallback(tQorcryptolib_GetTraceLevel_Callback level_cb,
                                           tQorcryptolib_Trace_Callback msg_cb) {
  fallback_active = false;
  s_pQorcryptolib_GetTraceLevel_Callback = level_cb;
  s_pQorcryptolib_Trace_Callback = msg_cb;
  if (level_cb == nullptr && s_aLevel.load() == 0)
    s_aLevel = IsInitialized() ? 1 : kLocalLevelMax;
  // Our handler reads the callbacks on every message, so re-registering
  // with the notification service takes effect at once by itself.
  return 0;
}

int32_t Qorcryptolib_UnregisterTraceCallback(void) {
  fallback_active = false;
  s_aLevel = 0;
  s_pQorcryptolib_GetTraceLevel_Callback = nullptr;
  s_pQorcryptolib_Trace_Callback = nullptr;
  return 0;
}

int32_t Qorcryptolib_SetTraceLevel(int32_t level) {
  s_pQorcryptolib_GetTraceLevel_Callback = nullptr;
  uint32_t local = level < 0 ? 0u : static_cast<uint32_t>(level);
  s_aLevel = std::min(local, kLocalLevelMax);
  if (IsInitialized()) notify_global_level = level;
  return 0;
}

}  // extern "C"
