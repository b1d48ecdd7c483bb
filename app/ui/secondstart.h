#pragma once
// A second start of the program from the same path brings the running window to the front
// (restored when minimised) before it exits, so that the user sees the program they asked for.

class MainWindow;

namespace ui {

// The first copy: every request of a later copy brings the window forward.
void ListenForSecondStarts(MainWindow& w);
void BringToFront(MainWindow& w);

}  // namespace ui
