// Filling the SSF table with the operations that exist in this library.
#pragma once

#include "sec/tavrisso/ssf/table.h"

// Stores every provided operation and raises its present flag; operations
// that do not exist keep a null pointer and flag 0.
void ssf_bind_operations(SsfLib* lib);
