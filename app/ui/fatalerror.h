#pragma once
#include <string>

namespace ui {

// The fatal error of the library-call mechanism: a message box, then exit code -1.
[[noreturn]] void ShowLibraryCallErrorAndExit(const std::string& libraryFile, const std::string& function);

}  // namespace ui
