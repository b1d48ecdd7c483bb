// Process start and end: program folder, program-wide state, the main window and its
// created event, the event loop, the exit routine.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>

#include "fatalerror.h"
#include "language.h"
#include "mainwindow.h"
#include "processguard.h"
#include "programfolder.h"
#include "programstate.h"
#include "wiring.h"

namespace {

// The write end of the pipe the signal handler writes to (a handler may do little else).
int gTerminationPipe = -1;

// The session's end (logout, shutdown) and `kill` send SIGTERM: the window closes as by its
// close box, without asking, so that every download pauses with its resume data and the list
// keeps them for the next start.
void CloseOnTermination(QWidget& window) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gTerminationPipe = fds[1];
  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    window.hide();  // a hidden window closes without the question
    window.close();
    QCoreApplication::quit();  // a hidden window's close does not end the event loop
  });
  struct sigaction action {};
  action.sa_handler = [](int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gTerminationPipe, &byte, 1);
  };
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  core::ProgramPaths paths = core::FindProgramPaths();
  // A folder that cannot be entered leaves the start folder current; nothing reports it.
  [[maybe_unused]] int entered = ::chdir(paths.folder.c_str());
  core::ProgramState state(paths.folder, paths.exeName, ui::ShowLibraryCallErrorAndExit);

  // Module initialisers, in this order: the socket library, then the launcher handshake.
  state.sockets.Start();
  core::LauncherHandshake(paths.exeName);

  QApplication application(argc, argv);
  QApplication::setFont(QFont(QStringList{"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"}, 9));
  ui::LoadChineseQtTexts();
  int exitCode = 0;
  {
    MainWindow mainWindow(state);
    app::WireMainWindow(mainWindow);
    mainWindow.RunCreatedEvent();
    if (mainWindow.endProgram) {
      exitCode = *mainWindow.endProgram;
    } else {
      mainWindow.show();
      CloseOnTermination(mainWindow);
      exitCode = application.exec();
    }
  }
  core::ExitRoutine(state);
  return exitCode;
}
