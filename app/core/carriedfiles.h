#pragma once
// Writing the carried files next to the program on first start: the skin library, then the
// engine library with its ".download" folder and id.dat. Only what is missing is written;
// whatever exists at a target (a file of any size, or a folder) is left exactly as it is.
#include <sys/types.h>

#include <string>

#include "carried.h"

namespace core {

// The program folder when it can be written to and is not an installed program's folder
// (/usr, /bin, /sbin, /opt and below); otherwise the per-user folder
// ${XDG_DATA_HOME:-~/.local/share}/Quorvel, so that an installed program still finds its files.
std::string DeploymentFolder(const std::string& programFolder);

std::string SkinLibraryPath(const std::string& folder);
std::string EngineLibraryPath(const std::string& folder);

// Writes `file` at `path` when nothing exists there; true when it wrote. The bytes go to a
// temporary name first, so that a crash never leaves a half-written file at the target.
bool EnsureCarriedFile(const std::string& path, const payload::CarriedFile& file, mode_t mode = 0644);

void DeploySkinLibrary(const std::string& folder);  // the first step of start-up
void DeployEngineFiles(const std::string& folder);  // after the settings are restored

}  // namespace core
