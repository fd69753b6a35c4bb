// Meanings of the library's result codes and names of the SSF results
// inside a combined code, for messages.
#pragma once

#include <stdint.h>

#include <string>

namespace qortool {

std::string ResultMeaning(int32_t rc);
std::string SsfResultName(int32_t code);

}  // namespace qortool
