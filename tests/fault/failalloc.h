// Allocation failure switch of the fault test program: once armed, the Nth
// allocation of the process fails (once); the rest go through unharmed.
#pragma once

namespace qorfault {

// Counts allocations from now on and fails number `n` (1-based); 0 only counts.
void Arm(long n);
// Stops counting; returns how many allocations were seen while armed.
long Disarm();
// Whether the armed failure was handed out since the last Arm.
bool Hit();

}  // namespace qorfault
