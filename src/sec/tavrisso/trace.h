// The ticket library's trace handle and the idioms every layer of it uses to
// write there and to keep C++ exceptions inside the C interface. Kept apart
// from the library state so that the engine and the natives see no key.
#pragma once

#include <stdint.h>

#include <atomic>
#include <new>

#include "base/dptrc/dptrc.h"

// The library's trace handle; null means no trace.
extern std::atomic<DPTRC_FILE_HDL> tavriTf;

// Library trace helpers: `TRC_MODULE` is the calling file's module name.
#define TAVRI_TRC(lvl, ...) DPTRC_INFO(tavriTf.load(), lvl, __VA_ARGS__)
#define TAVRI_ERR(...) DPTRC_ERR(tavriTf.load(), TRC_MODULE, __VA_ARGS__)
// Level-1 warning entry.
#define TAVRI_WARN(...) DPTRC_WARN(tavriTf.load(), TRC_MODULE, __VA_ARGS__)

// Runs the body of an exported call so that no C++ exception crosses the C
// interface: memory exhaustion becomes `oom_rc`, anything else `other_rc`.
// Locks taken inside the body must be scoped guards, so that unwinding
// releases them.
template <typename Body>
int32_t TavriNoThrow(const char* module, const char* func, int32_t oom_rc, int32_t other_rc,
                     Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    DPTRC_ERR(tavriTf.load(), module, "%s: out of memory.\n", func);
    return oom_rc;
  } catch (...) {
    DPTRC_ERR(tavriTf.load(), module, "%s: internal error.\n", func);
    return other_rc;
  }
}
