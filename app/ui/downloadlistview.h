#pragma once
// What the download list window shows: a row per download, the newest first, the buttons that
// apply to the chosen one, and the hint that belongs to it.
#include <vector>

#include <QString>

#include "listeddownload.h"

class MainWindow;

namespace ui {

// The row chosen in 表格_下载 (the current one of those chosen); 0 when none.
int ChosenId(MainWindow& w);
// Every row chosen, in the table's order.
std::vector<int> ChosenIds(MainWindow& w);
// Nothing chosen: after a row went, no other row takes its place under the pointer.
void ChooseNone(MainWindow& w);
void Choose(MainWindow& w, int id);
// What a row has to say: why it failed and what to do, a failed check, what an action on it
// could not do; empty for a row with nothing to say.
QString HintFor(const MainWindow& w, const session::ListedDownload& d);
// The hint, and the table and buttons when the window is shown.
void ShowDownloadList(MainWindow& w);

}  // namespace ui
