#pragma once
// A release archive downloaded in file mode is checked against its torrent once complete: the
// torrent is fetched into memory and the archive hashed on a thread of its own. The verdict
// ("校验通过", or "校验失败" with the number of bad pieces) goes into the download's own row of
// the list, and into the status bar only while that download is the one on display.
#include <string>

class MainWindow;

namespace ui {

// The download the boxes just started (the one on display) is a release archive with this
// torrent.
void CheckWhenComplete(MainWindow& w, const std::string& torrentLink);
// Checks the completed download of list row `id` against its torrent.
void CheckRow(MainWindow& w, int id);
// Running checks end, and are waited for (the window is closing).
void StopChecks(MainWindow& w);

}  // namespace ui
