#pragma once
// The download list's tick, the one that follows every download: 时钟_下载's (PollProgress,
// ten times a second while the display follows a download) or 时钟_列表's (twice a second,
// also while the list window is hidden). Its events reach the main window's display, one
// notice for each download that ends, the list window and the list file.

class MainWindow;

namespace ui {

// With `display`, the display shows the answers for the download on display.
void TickDownloads(MainWindow& w, bool display);
void PollProgress(MainWindow& w);  // 时钟_下载's tick
// Writes the list file when the rows changed (their figures at most every 5 s; all at once with
// `now`); never over a file that could not be read whole.
void SaveDownloadList(MainWindow& w, bool now = false);

}  // namespace ui
