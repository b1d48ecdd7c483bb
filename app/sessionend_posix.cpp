#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include <QSocketNotifier>
#include <QWidget>

#include "sessionend.h"

namespace app {

namespace {

// The write end of the pipe the signal handler writes to (a handler may do little else).
int gTerminationPipe = -1;

}  // namespace

void CloseAtSessionEnd(QWidget& window) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gTerminationPipe = fds[1];
  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] { CloseForSessionEnd(window); });
  struct sigaction action {};
  action.sa_handler = [](int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gTerminationPipe, &byte, 1);
  };
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace app
