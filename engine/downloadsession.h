#pragma once
// The window's side of the download engine: the engine started and stopped with the window,
// downloads started from the three download edit boxes, cancel, the release list's
// double-click, the mode check box, and the live progress display driven by 时钟_下载.
#include <functional>
#include <string>

#include <QString>

class LibraryBinder;
class MainWindow;

// A download the window started: the engine's handle, and the folder and name it went to.
struct StartedDownload {
  void* task = nullptr;
  QString folder, name;
};

// The engine library's functions, bound at their first call. Tests put doubles in.
struct EngineCalls {
  std::function<int()> init;
  std::function<void()> uninit;
  std::function<void*(const void*)> createTask;
  std::function<void(void*)> startTask;
  std::function<int(void*, void*)> queryTaskInfoEx;
  std::function<void(void*)> stopTask;
  std::function<void(void*)> deleteTask;
  std::function<void(const void*)> delTempFile;
};
EngineCalls BindEngineCalls(LibraryBinder& binder, const std::string& libraryPath);

void StartEngine(MainWindow& w);  // DL_Init three times
void StopEngine(MainWindow& w);   // every started download stopped (resume data kept), DL_UnInit twice
void StartDownload(MainWindow& w);
void CancelDownload(MainWindow& w);
// False, with no engine call, when the folder or name does not fit its 520 bytes.
bool DeleteTempFiles(MainWindow& w, const QString& folder, const QString& name);
// The block DeleteTempFiles hands the engine; empty when a text does not fit.
std::string TempFileBlock(const QString& folder, const QString& name);
void ReleaseListDoubleClicked(MainWindow& w);
void DownloadModeClicked(MainWindow& w);
void PollProgress(MainWindow& w);
void ResetProgressDisplay(MainWindow& w);
// Opens the folder of the last completed download in the desktop's file manager.
void OpenCompletedFolder(MainWindow& w);
