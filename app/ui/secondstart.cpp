#include "secondstart.h"

#ifdef _WIN32
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

#include "mainwindow.h"
#include "processguard.h"

namespace ui {

void ListenForSecondStarts(MainWindow& w) {
  if (w.state.guard == -1) return;
#ifdef _WIN32
  // The claim is an auto-reset event that a second copy sets: the notifier's own wait takes the
  // signal, so each activation is one request.
  auto* notifier = new QWinEventNotifier(reinterpret_cast<Qt::HANDLE>(w.state.guard), &w);
  QObject::connect(notifier, &QWinEventNotifier::activated, &w, [&w] { BringToFront(w); });
#else
  // The claim is a listening socket that a second copy connects to.
  auto* notifier = new QSocketNotifier(int(w.state.guard), QSocketNotifier::Read, &w);
  QObject::connect(notifier, &QSocketNotifier::activated, &w, [&w] {
    bool asked = false;
    while (core::TakeShowRequest(w.state.guard)) asked = true;
    if (asked) BringToFront(w);
  });
#endif
}

void BringToFront(MainWindow& w) {
  w.setWindowState((w.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  w.showNormal();
  w.raise();
  w.activateWindow();
}

}  // namespace ui
