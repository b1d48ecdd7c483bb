#pragma once
// A release archive downloaded in file mode is checked against its torrent once complete: the
// torrent is fetched into memory and the archive hashed on a thread of its own, and the
// verdict ("校验通过", or "校验失败" with the number of bad pieces) appears in the status bar.
#include <string>

#include <QString>

class MainWindow;

namespace ui {

// The download the boxes just started is a release archive with this torrent.
void CheckWhenComplete(MainWindow& w, const std::string& torrentLink);
// A download completed: checked when it is such an archive.
void CheckCompleted(MainWindow& w, const QString& folder, const QString& name);
// Running checks end, and are waited for (the window is closing).
void StopChecks(MainWindow& w);

}  // namespace ui
