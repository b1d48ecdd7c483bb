#pragma once
// Shared by the widget tests: a private settings folder per test and a bounded wait that
// keeps the window's events running.
#include <functional>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "../fixtures/scratch.h"
#include "mainwindow.h"
#include "wiring.h"

// Pumps events until `done` holds or `ms` milliseconds have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// The main window wired to its handlers and steps, as main() makes it.
class WiredWindow : public MainWindow {
 public:
  explicit WiredWindow(core::ProgramState& programState) : MainWindow(programState) { app::WireMainWindow(*this); }
};
