#pragma once
// Writing the carried files next to the program on first start: the skin library, then the
// engine library with its ".download" folder and id.dat. Only what is missing is written;
// whatever exists at a target (a file of any size, or a folder) is left exactly as it is.

#include <optional>
#include <string>

#include "carried.h"

namespace core {

// The program folder when it can be written to and is not an installed program's folder
// (/usr, /bin, /sbin, /opt and below); otherwise the per-user folder
// ${XDG_DATA_HOME:-~/.local/share}/Quorvel, so that an installed program still finds its files.
// On Windows always the per-user folder, %LOCALAPPDATA%\Quorvel: never the install folder.
std::string DeploymentFolder(const std::string& programFolder);

// The package's library folder when the program runs from the package's bin folder
// (`installedBinFolder`) and the package's engine library is in `installedLibraryFolder`: the
// installed window loads its libraries from there and writes no code into the user's home.
// Nothing for a program run from anywhere else (a build folder, a copy), which deploys its
// carried files. On Windows the libraries installed beside the program, wherever that is.
// A build that carries no libraries (`carried` false) always uses them where they lie: the
// package's folder, or the program's own in a build folder; it never writes them anywhere.
std::optional<std::string> InstalledLibraryFolder(const std::string& programFolder,
                                                  const std::string& installedBinFolder,
                                                  const std::string& installedLibraryFolder, bool carried = true);
// The same for this build's install places.
std::optional<std::string> InstalledLibraryFolder(const std::string& programFolder);

// The libraries in `folder`: carried ones under names with their content's hash, installed
// ones under their own names.
std::string SkinLibraryPath(const std::string& folder, bool installed = false);
std::string EngineLibraryPath(const std::string& folder, bool installed = false);

// Writes `file` at `path` when nothing exists there and the file is carried; true when it
// wrote. The bytes go to a temporary name first, so that a crash never leaves a half-written
// file at the target.
bool EnsureCarriedFile(const std::string& path, const payload::CarriedFile& file, unsigned mode = 0644);

void DeploySkinLibrary(const std::string& folder);  // the first step of start-up
void DeployEngineFiles(const std::string& folder);  // after the settings are restored

}  // namespace core
