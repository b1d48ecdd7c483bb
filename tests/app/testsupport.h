#pragma once
// Shared by the widget tests: a private settings folder per test and a bounded wait that
// keeps the window's events running.
#include <functional>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

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

// Answers the next question the program asks (a modal message box) with the button captioned
// `caption`, once it is shown; its text goes to `asked` when given. Gives up after 5 s.
inline void AnswerNextQuestion(const QString& caption, QString* asked = nullptr) {
  auto* timer = new QTimer;
  auto* waited = new QElapsedTimer;
  waited->start();
  QObject::connect(timer, &QTimer::timeout, [timer, waited, caption, asked] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box || waited->elapsed() > 5000) {
      timer->stop();
      timer->deleteLater();
      delete waited;
    }
    if (!box) return;
    if (asked) *asked = box->text();
    for (QAbstractButton* b : box->buttons())
      if (b->text() == caption) b->click();
  });
  timer->start(10);
}

// The main window wired to its handlers and steps, as main() makes it.
class WiredWindow : public MainWindow {
 public:
  explicit WiredWindow(core::ProgramState& programState) : MainWindow(programState) { app::WireMainWindow(*this); }
};
