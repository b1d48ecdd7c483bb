#pragma once

class MainWindow;

namespace ui {

// The window's side of the download session: downloads started from the three download edit
// boxes, cancel, the release list's double-click, the mode check box, and the live progress
// display driven by 时钟_下载.

void StartEngine(MainWindow& w);  // DL_Init three times
void StopEngine(MainWindow& w);   // every started download stopped (resume data kept), DL_UnInit twice
void StartDownload(MainWindow& w);
void CancelDownload(MainWindow& w);
void ReleaseListDoubleClicked(MainWindow& w);
void DownloadModeClicked(MainWindow& w);
void PollProgress(MainWindow& w);
void ResetProgressDisplay(MainWindow& w);
// Opens the folder of the last completed download in the desktop's file manager.
void OpenCompletedFolder(MainWindow& w);

}  // namespace ui
