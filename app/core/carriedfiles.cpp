#include "carriedfiles.h"

#include <cstdlib>
#include <filesystem>

#include "files.h"
#include "pathtext.h"
#include "platform/fileio.h"

namespace core {

namespace {

#ifdef _WIN32
// An installed program's libraries sit beside it; a user may be able to write into its folder (a
// per-user install is), but code written there would outlive the uninstaller.
bool InstalledFolder(const std::string&) { return true; }
#else
// The folders of installed programs: never written at run time, also not by root, who may.
bool InstalledFolder(const std::string& folder) {
  for (const char* system : {"/usr", "/bin", "/sbin", "/opt"})
    if (folder == system || folder.starts_with(std::string(system) + "/")) return true;
  return false;
}
#endif

}  // namespace

std::string DeploymentFolder(const std::string& programFolder) {
  if (!InstalledFolder(programFolder) && platform::CanWriteInFolder(programFolder)) return programFolder;
  return common::UserDataFolder();
}

std::optional<std::string> InstalledLibraryFolder(const std::string& programFolder,
                                                  const std::string& installedBinFolder,
                                                  const std::string& installedLibraryFolder, bool carried) {
  // Nothing to write: the libraries are used where they lie, and a missing one fails to load.
  if (!carried) return programFolder == installedBinFolder ? installedLibraryFolder : programFolder;
  if (installedBinFolder.empty() || programFolder != installedBinFolder) return std::nullopt;
  if (!platform::NameExists(EngineLibraryPath(installedLibraryFolder, true))) return std::nullopt;
  return installedLibraryFolder;
}

std::optional<std::string> InstalledLibraryFolder(const std::string& programFolder) {
#ifdef _WIN32
  // Installed wherever the user chose: the libraries are beside the program.
  return InstalledLibraryFolder(programFolder, programFolder, programFolder, payload::CarriesLibraries());
#else
  return InstalledLibraryFolder(programFolder, QUORVEL_INSTALLED_BINDIR, QUORVEL_INSTALLED_LIBDIR,
                                payload::CarriesLibraries());
#endif
}

std::string SkinLibraryPath(const std::string& folder, bool installed) {
  if (installed) return folder + "/libskinkit" + payload::kLibrarySuffix;
  return folder + "/" + payload::CarriedLibraryName("skinkit", payload::CarriedSkinKit());
}

std::string EngineLibraryPath(const std::string& folder, bool installed) {
  if (installed) return folder + "/libdlcore" + payload::kLibrarySuffix;
  return folder + "/" + payload::CarriedLibraryName("dlcore", payload::CarriedDlcore());
}

bool EnsureCarriedFile(const std::string& path, const payload::CarriedFile& file, unsigned mode) {
  if (path.empty() || file.data == nullptr || platform::NameExists(path)) return false;
  // Never over something that appeared meanwhile.
  return common::WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(file.data), file.size),
                                     {.mode = mode, .replace = false, .tempSuffix = {}});
}

void DeploySkinLibrary(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(common::PathOf(folder), ec);  // the per-user folder may be new
  EnsureCarriedFile(SkinLibraryPath(folder), payload::CarriedSkinKit(), 0755);
}

void DeployEngineFiles(const std::string& folder) {
  // The ".download" folder is made only when missing; its parents are not.
  const std::string download = folder + "/.download";
  if (!platform::NameExists(download)) platform::MakeFolder(download, 0755);
  EnsureCarriedFile(EngineLibraryPath(folder), payload::CarriedDlcore(), 0755);
  EnsureCarriedFile(download + "/id.dat", payload::CarriedIdDat());
}

}  // namespace core
