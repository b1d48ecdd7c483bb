#pragma once
// The wiring of the main window: each routed event to its handler, and the steps of start-up
// and shut-down in their order.
class MainWindow;

void WireMainWindow(MainWindow& w);
