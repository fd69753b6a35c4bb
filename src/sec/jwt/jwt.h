// JWT component: receives the SSF table at library start.
#pragma once

#include <stdint.h>

typedef struct ssfsup_ssflib SsfLib;

// Stores the caller's SSF table. Returns 0, or -1 for a missing table.
int32_t JwtInitializeExtern(SsfLib* ssf_hdl);
// Returns 0 and changes nothing.
int32_t JwtShutdown();
