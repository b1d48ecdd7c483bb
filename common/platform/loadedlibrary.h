#pragma once
// Where loaded code came from.
#include <string>

namespace platform {

// The path of the program or library file that holds `code`; empty when unknown.
std::string FileHoldingCode(const void* code);

}  // namespace platform
