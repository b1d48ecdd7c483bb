#pragma once
// The window's side of the download session: downloads started from the main window (the
// three download edit boxes), cancel, the release list's double-click, the mode check box, and
// the live progress display, which follows the most recent download (downloadtick.h ticks it).
#include <vector>

#include "downloadlist.h"
#include "downloadorder.h"

class MainWindow;

namespace ui {

void StartEngine(MainWindow& w);  // DL_Init three times
void StopEngine(MainWindow& w);   // every started download stopped (resume data kept), DL_UnInit twice
// Writes the order's address and name into 编辑框_下载地址 and 编辑框_保存文件名 and starts it into
// the folder 编辑框_保存目录 shows now. A file that is complete there already is fetched again
// only when the user says so.
void StartDownload(MainWindow& w, common::DownloadOrder order);
// The same with what the boxes hold (a file of no known kind).
void StartDownload(MainWindow& w);
void CancelDownload(MainWindow& w);
void ReleaseListDoubleClicked(MainWindow& w);
void DownloadModeClicked(MainWindow& w);
void ResetProgressDisplay(MainWindow& w);
// Opens the folder of the last completed download in the desktop's file manager.
void OpenCompletedFolder(MainWindow& w);
// What a tick's events show on the main window's display, of the download on display only:
// its answers by the display's state table (with `answers`, while 时钟_下载 follows it), and
// its check.
void ShowOnDisplay(MainWindow& w, const std::vector<session::DownloadEvent>& events, bool answers);
// The display turns to the newest download still running, or goes idle.
void FollowTheNextDownload(MainWindow& w);

}  // namespace ui
