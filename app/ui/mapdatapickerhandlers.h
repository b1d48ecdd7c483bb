#pragma once
// The map-data picker's side: its rows filled for the main window's version, update identifier,
// modes and save folder, each kind's file state there, and the ticked kinds started together.

class MainWindow;

namespace ui {

void WireMapDataPicker(MainWindow& w);
// Fills it from the main window and shows it in front.
void OpenMapDataPicker(MainWindow& w);
// While it is shown: the rows again, so that a changed version or folder, and files that
// arrive or go, show at once (its own 时钟_图资 calls it).
void RefreshMapDataPicker(MainWindow& w);

}  // namespace ui
