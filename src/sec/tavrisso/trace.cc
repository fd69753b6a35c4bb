// The trace handle stands in its own object, so that a program built on the
// engine alone (the operator tool) takes no library state along with it.
#include "sec/tavrisso/trace.h"

std::atomic<DPTRC_FILE_HDL> tavriTf{nullptr};
