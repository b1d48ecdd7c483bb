#include "wiring.h"

#include "carriedfiles.h"
#include "downloadhandlers.h"
#include "mainwindow.h"
#include "processguard.h"
#include "searchhandlers.h"
#include "settings.h"
#include "skin.h"

void WireMainWindow(MainWindow& w) {
  MainWindow::Handlers& h = w.handlers;
  h.searchReleases = [&w] { SearchReleases(w); };
  h.releaseListDoubleClicked = [&w] { ReleaseListDoubleClicked(w); };
  h.selectMapDataKind = [&w] { SelectMapDataKind(w); };
  h.downloadMapData = [&w] { DownloadMapData(w); };
  h.downloadModeClicked = [&w] { DownloadModeClicked(w); };
  h.chooseFolderFromButton = [&w] { ChooseSaveFolderFromButton(w); };
  h.chooseFolderFromEdit = [&w] { ChooseSaveFolderFromEdit(w); };
  h.cancelDownload = [&w] { CancelDownload(w); };
  h.pollProgress = [&w] { PollProgress(w); };
  // 客户1's "data arrived" stays without a handler: the size probe reads its own answer.
  h.probeDataArrived = nullptr;
  h.openCompletedFolder = [&w] { OpenCompletedFolder(w); };

  ProgramState& state = w.state;
  w.createdSteps = {
      {"DeploySkinLibrary", [&state] { DeploySkinLibrary(state.deployFolder); }},
      {"AttachSkin", [&state] { AttachSkin(state, 11); }},
      {"GuardSingleInstance",
       [&w, &state] {
         // A second copy from the same path ends here, silently, before it reads or writes anything.
         if (!GuardSingleInstance(state.programFolder + "/" + state.exeName, state.guardFd)) w.endProgram = 0;
       }},
      {"LoadSettings", [&w] { LoadSettings(w); }},
      {"DeployEngineFiles", [&state] { DeployEngineFiles(state.deployFolder); }},
      {"StartEngine", [&w] { StartEngine(w); }},
  };
  w.shutdownSteps = {
      {"StoreSettings", [&w] { StoreSettings(w); }},
      {"EndEmulators", [] { EndEmulators(); }},
      {"StopEngine", [&w] { StopEngine(w); }},
  };
}
