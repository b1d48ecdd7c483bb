#pragma once
// The window's side of the download list: the list window's actions and settings, the tick
// that follows every download (also while the list window is hidden), the announcements of
// downloads that end, and the list file read at start and written as the list changes.

class MainWindow;
class QString;

namespace ui {

void WireDownloadList(MainWindow& w);   // the list window's handlers
void LoadDownloadList(MainWindow& w);   // at start, once the engine runs: settings, rows, the tick
void StoreDownloadList(MainWindow& w);  // at the end, before the engine stops
void OpenDownloadList(MainWindow& w);   // shows it in front; Ctrl+J there hides it
void TickDownloadList(MainWindow& w);
// False when the user keeps the window open: asked only while downloads run, which resume
// at the next start.
bool ConfirmClose(MainWindow& w);
// Opens a folder in the desktop's file manager; false when none could open it.
bool OpenFolder(const QString& folder);

}  // namespace ui
