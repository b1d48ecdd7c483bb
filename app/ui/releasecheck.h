#pragma once
// The window's side of 检查新版本: the day's search started at start-up in the background,
// its end collected by 时钟_新版本, a new release announced and put in the release list.

class MainWindow;

namespace ui {

// When a check is due (switched on, a saved device number, none today): the search starts and
// 时钟_新版本 runs until it ends.
void StartReleaseCheck(MainWindow& w);
// 时钟_新版本's tick: once the search has ended, a release other than the one last seen for the
// device is announced (the tray's message, or the balloon) and listed; a failure only leaves its
// line in the download list's hint.
void PollReleaseCheck(MainWindow& w);
// At the end: the search is asked to stop and waited for.
void StopReleaseCheck(MainWindow& w);

}  // namespace ui
