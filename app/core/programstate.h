#pragma once
// What the whole program shares from start to end. main() creates it empty, the window and
// the subsystems use it, and the exit routine releases it after the event loop.
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "carriedfiles.h"
#include "downloadsession.h"
#include "enginecalls.h"
#include "librarycall.h"
#include "sizeprobe.h"

namespace core {

struct ProgramState {
  ProgramState(std::string folder, std::string exe, LibraryCallFailure onLibraryFailure)
      : programFolder(std::move(folder)),
        exeName(std::move(exe)),
        deployFolder(InstalledLibraryFolder(programFolder).value_or(DeploymentFolder(programFolder))),
        installedLibraries(InstalledLibraryFolder(programFolder).has_value()),
        libraries(std::move(onLibraryFailure)),
        session(BindEngineCalls(libraries, EngineLibraryPath(deployFolder, installedLibraries))) {}
  ~ProgramState();

  std::string programFolder;         // folder of the executable, no trailing "/"
  std::string exeName;               // file name of the executable
  std::string deployFolder;          // where the carried files are written and loaded from
  bool installedLibraries;           // ... or where the package installed them (nothing is written)
  int guardFd = -1;                  // holds the single-instance claim while the program runs
  LibraryBinder libraries;           // binds the engine and skin library functions at first call
  std::string portalServer;          // "http://" + the channel portal's host
  std::string downloadServer;        // "http://" + the download server's host
  session::DownloadSession session;  // the downloads, over the engine library's functions
  bool shuttingDown = false;         // set when the window starts closing: nothing new starts after it
  // Ends the checks running in the background (they read it from their own threads).
  std::shared_ptr<std::atomic<bool>> stopChecks = std::make_shared<std::atomic<bool>>(false);
  http::SocketLibrary sockets;  // the network library, started with the program
};

// Runs once after the event loop has stopped.
void ExitRoutine(ProgramState& state);

}  // namespace core
