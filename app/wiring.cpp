#include "wiring.h"

#include "carriedfiles.h"
#include "downloadhandlers.h"
#include "downloadlisthandlers.h"
#include "downloadlistwindow.h"
#include "downloadtick.h"
#include "mainwindow.h"
#include "mapdatapickerhandlers.h"
#include "processguard.h"
#include "releasecheck.h"
#include "searchhandlers.h"
#include "secondstart.h"
#include "settings.h"
#include "skin.h"

namespace app {

namespace {

// What the window does once it is made, and before it ends, in order.
void WireSteps(MainWindow& w) {
  core::ProgramState& state = w.state;
  w.createdSteps = {
      {"DeploySkinLibrary",
       [&state] {
         if (!state.installedLibraries) core::DeploySkinLibrary(state.deployFolder);
       }},
      {"AttachSkin", [&state] { core::AttachSkin(state, 11); }},
      {"GuardSingleInstance",
       [&w, &state] {
         // A second copy from the same path ends here, before it reads or writes anything; it
         // only asks the first one to come to the front.
         const std::string path = state.programFolder + "/" + state.exeName;
         if (!core::GuardSingleInstance(path, state.guard)) {
           core::ShowFirstInstance(path);
           w.endProgram = 0;
           return;
         }
         ui::ListenForSecondStarts(w);
       }},
      {"LoadSettings", [&w] { ui::LoadSettings(w); }},
      {"DeployEngineFiles",
       [&state] {
         if (!state.installedLibraries) core::DeployEngineFiles(state.deployFolder);
       }},
      {"StartEngine", [&w] { ui::StartEngine(w); }},
      {"LoadDownloadList", [&w] { ui::LoadDownloadList(w); }},
      {"StartReleaseCheck", [&w] { ui::StartReleaseCheck(w); }},
  };
  w.shutdownSteps = {
      {"StopReleaseCheck", [&w] { ui::StopReleaseCheck(w); }},
      {"StoreSettings", [&w] { ui::StoreSettings(w); }},
      {"EndEmulators", [] { core::EndEmulators(); }},
      {"StoreDownloadList", [&w] { ui::StoreDownloadList(w); }},
      {"StopEngine", [&w] { ui::StopEngine(w); }},
  };
}

}  // namespace

void WireMainWindow(MainWindow& w) {
  MainWindow::Handlers& h = w.handlers;
  h.searchReleases = [&w] { ui::SearchReleases(w); };
  h.releaseListDoubleClicked = [&w] { ui::ReleaseListDoubleClicked(w); };
  h.selectMapDataKind = [&w] { ui::SelectMapDataKind(w); };
  h.downloadMapData = [&w] { ui::DownloadMapData(w); };
  h.downloadModeClicked = [&w] { ui::DownloadModeClicked(w); };
  h.chooseFolderFromButton = [&w] { ui::ChooseSaveFolderFromButton(w); };
  h.chooseFolderFromEdit = [&w] { ui::ChooseSaveFolderFromEdit(w); };
  h.cancelDownload = [&w] { ui::CancelDownload(w); };
  h.pollProgress = [&w] { ui::PollProgress(w); };
  // 客户1's "data arrived" stays without a handler: the size probe reads its own answer.
  h.probeDataArrived = nullptr;
  h.openCompletedFolder = [&w] { ui::OpenCompletedFolder(w); };
  h.openDownloadList = [&w] { ui::OpenDownloadList(w); };
  h.confirmClose = [&w] { return ui::ConfirmClose(w); };
  h.pickMapData = [&w] { ui::OpenMapDataPicker(w); };
  h.pollReleaseCheck = [&w] { ui::PollReleaseCheck(w); };
  ui::WireDownloadList(w);
  ui::WireMapDataPicker(w);
  w.下载列表窗口->handlers.pickMapData = [&w] { ui::OpenMapDataPicker(w); };
  WireSteps(w);
}

}  // namespace app
