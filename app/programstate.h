#pragma once
// What the whole program shares from start to end. main() creates it empty, the window and
// the subsystems use it, and the exit routine releases it after the event loop.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "carriedfiles.h"
#include "downloadsession.h"
#include "librarycall.h"
#include "sizeprobe.h"
#include "taskrecord.h"

struct ProgramState {
  ProgramState(std::string folder, std::string exe, LibraryCallFailure onLibraryFailure)
      : programFolder(std::move(folder)),
        exeName(std::move(exe)),
        deployFolder(DeploymentFolder(programFolder)),
        libraries(std::move(onLibraryFailure)),
        engine(BindEngineCalls(libraries, EngineLibraryPath(deployFolder))) {}
  ~ProgramState();

  std::string programFolder;  // folder of the executable, no trailing "/"
  std::string exeName;        // file name of the executable
  std::string deployFolder;   // where the carried files are written and loaded from
  int guardFd = -1;           // holds the single-instance claim while the program runs
  LibraryBinder libraries;    // binds the engine and skin library functions at first call
  std::string portalServer;       // "http://" + the channel portal's host
  std::string downloadServer;     // "http://" + the download server's host
  EngineCalls engine;             // the download engine library's functions
  std::vector<StartedDownload> downloads;  // started by the window and not yet seen ending, oldest first
  void* currentTask = nullptr;     // engine handle of the download on display (the newest running one)
  QString completedFolder;         // where the last completed download was saved
  bool shuttingDown = false;       // set when the window starts closing: nothing new starts after it
  TaskCreateParams createParams;   // the record of the last download start
  TaskProgressInfo progressInfo;   // filled by every progress query
  SocketLibrary sockets;          // the network library, started with the program
};

// Runs once after the event loop has stopped.
void ExitRoutine(ProgramState& state);
