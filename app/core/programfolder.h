#pragma once
#include <string>

namespace core {

struct ProgramPaths {
  std::string folder;  // no trailing "/"
  std::string exeName;
};

// Splits the running executable's full path at its last "/".
ProgramPaths FindProgramPaths();

}  // namespace core
