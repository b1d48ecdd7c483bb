#pragma once
// Libraries loaded at run time, and where loaded code came from.
#include <string>

namespace platform {

// The library at `path`, loaded with all its symbols bound now and kept to itself; nothing
// (nullptr) when it cannot be loaded. It stays loaded for the process's life.
void* LoadCodeLibrary(const std::string& path);  // not LoadLibrary: a macro of <windows.h>
// The address of `name` in a loaded library; nullptr when it has none.
void* FindFunction(void* library, const std::string& name);

// The path of the program or library file that holds `code`; empty when unknown.
std::string FileHoldingCode(const void* code);

}  // namespace platform
