#pragma once

class MainWindow;

namespace app {

// The wiring of the main window: each routed event to its handler, and the steps of start-up
// and shut-down in their order.

void WireMainWindow(MainWindow& w);

}  // namespace app
