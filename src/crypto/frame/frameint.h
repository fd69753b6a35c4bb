// Internals shared by the entry frame's files only.
#pragma once

namespace qorcr {

// The frame's notification handler is active while the library is initialised.
void TraceHandlerRegister(bool on);
bool TraceHandlerRegistered();
// While initialising with nobody listening, level-1 messages go to stderr.
void TraceFallbackEnable();
void TraceFallbackDisable();
// True once "FIPS_140_2_CRYPTO_KERNEL_ACTIVE" asked for the certified kernel.
bool FipsKernelSelected();

}  // namespace qorcr
