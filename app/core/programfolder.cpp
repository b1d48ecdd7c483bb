#include "programfolder.h"

#include "pathtext.h"
#include "platform/process.h"

namespace core {

ProgramPaths FindProgramPaths() {
  const std::string exe = platform::ProgramFile();
  if (exe.empty()) return {".", exe};
  return {common::FolderOf(exe), common::Utf8Of(common::PathOf(exe).filename())};
}

}  // namespace core
