#pragma once
// What the whole program shares from start to end. main() creates it empty, the window and
// the subsystems use it, and the exit routine releases it after the event loop.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "carriedfiles.h"
#include "downloadlist.h"
#include "enginecalls.h"
#include "librarycall.h"
#include "releasesearch.h"
#include "releasewatch.h"
#include "sizeprobe.h"

namespace core {

struct ProgramState {
  ProgramState(std::string folder, std::string exe, LibraryCallFailure onLibraryFailure)
      : programFolder(std::move(folder)),
        exeName(std::move(exe)),
        deployFolder(InstalledLibraryFolder(programFolder).value_or(DeploymentFolder(programFolder))),
        installedLibraries(InstalledLibraryFolder(programFolder).has_value()),
        libraries(std::move(onLibraryFailure)),
        session(BindEngineCalls(libraries, EngineLibraryPath(deployFolder, installedLibraries)), TorrentJobCalls()) {}
  ~ProgramState();

  std::string programFolder;                    // folder of the executable, no trailing "/"
  std::string exeName;                          // file name of the executable
  std::string deployFolder;                     // where the carried files are written and loaded from
  bool installedLibraries;                      // ... or where the package installed them (nothing is written)
  std::intptr_t guard = -1;                     // holds the single-instance claim while the program runs
  LibraryBinder libraries;                      // binds the engine and skin library functions at first call
  catalogue::Servers servers;                   // the channel portal and the download server
  std::vector<catalogue::ReleaseRow> releases;  // the release list's rows, in its order
  session::DownloadList session;                // every download, over the engine library's functions
  bool shuttingDown = false;                    // set when the window starts closing: nothing new starts after it
  std::string completedFolder;                  // where the last download on display completed
  std::string windowMessage;                    // what belongs to no download (why a start made no row)
  bool listFileWritable = true;                 // false: the list file could not be read whole nor moved aside
  http::SocketLibrary sockets;                  // the network library, started with the program
  ReleaseWatch releaseWatch;                    // the day's search for a new release, in the background
};

// Runs once after the event loop has stopped.
void ExitRoutine(ProgramState& state);

}  // namespace core
