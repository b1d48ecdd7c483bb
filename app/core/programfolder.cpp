#include "programfolder.h"

#include <filesystem>
#include <system_error>

namespace core {

ProgramPaths FindProgramPaths() {
  std::error_code ec;
  std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  size_t slash = exe.find_last_of('/');
  if (ec || slash == std::string::npos) return {".", exe};
  return {slash == 0 ? "/" : exe.substr(0, slash), exe.substr(slash + 1)};
}

}  // namespace core
