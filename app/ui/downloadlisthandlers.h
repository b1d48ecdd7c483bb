#pragma once
// The window's side of the download list: the list window's actions and settings, the list
// file read at start and written at the end, the question at closing.

class MainWindow;

namespace ui {

void WireDownloadList(MainWindow& w);   // the list window's handlers
void LoadDownloadList(MainWindow& w);   // at start, once the engine runs: settings, rows, the tick
void StoreDownloadList(MainWindow& w);  // at the end, before the engine stops
// Shows it in front (Ctrl+J there hides it); with the download on display chosen when the
// status bar speaks of its failure.
void OpenDownloadList(MainWindow& w);
// Checks the completed archive of row `id` against its torrent (the list window's 校验).
void CheckDownload(MainWindow& w, int id);
// False when the user keeps the window open: asked only while downloads run.
bool ConfirmClose(MainWindow& w);

}  // namespace ui
