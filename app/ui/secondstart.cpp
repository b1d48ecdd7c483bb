#include "secondstart.h"

#include <QSocketNotifier>

#include "mainwindow.h"
#include "processguard.h"

namespace ui {

void ListenForSecondStarts(MainWindow& w) {
  if (w.state.guardFd < 0) return;
  auto* notifier = new QSocketNotifier(w.state.guardFd, QSocketNotifier::Read, &w);
  QObject::connect(notifier, &QSocketNotifier::activated, &w, [&w] {
    bool asked = false;
    while (core::TakeShowRequest(w.state.guardFd)) asked = true;
    if (asked) BringToFront(w);
  });
}

void BringToFront(MainWindow& w) {
  w.setWindowState((w.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  w.showNormal();
  w.raise();
  w.activateWindow();
}

}  // namespace ui
