// Internals shared by the files of the code page layer.
#pragma once

#include "krn/rscp/rscp.h"

// Records `rc` with a formatted description as the thread's last error
// (when its class is enabled) and returns rc.
RSCP_RC rscpSetError(RSCP_RC rc, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Substitution character of the ticket engine and the UTF-8 helpers.
constexpr uint32_t kRscpSubstHash = 35;
// The layer's current user code page.
constexpr char kRscpUserCodepage[] = "4110";
