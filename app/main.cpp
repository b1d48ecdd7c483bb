// Process start and end: program folder, program-wide state, the main window and its
// created event, the event loop, the exit routine.
#include <unistd.h>

#include <QApplication>
#include <QFont>

#include "fatalerror.h"
#include "language.h"
#include "mainwindow.h"
#include "processguard.h"
#include "programfolder.h"
#include "programstate.h"
#include "wiring.h"

int main(int argc, char* argv[]) {
  ProgramPaths paths = FindProgramPaths();
  // A folder that cannot be entered leaves the start folder current; nothing reports it.
  [[maybe_unused]] int entered = ::chdir(paths.folder.c_str());
  ProgramState state(paths.folder, paths.exeName, ShowLibraryCallErrorAndExit);

  // Module initialisers, in this order: the socket library, then the launcher handshake.
  state.sockets.Start();
  LauncherHandshake(paths.exeName);

  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringList{"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"}, 9));
  LoadChineseQtTexts();
  int exitCode = 0;
  {
    MainWindow window(state);
    WireMainWindow(window);
    window.RunCreatedEvent();
    if (window.endProgram) {
      exitCode = *window.endProgram;
    } else {
      window.show();
      exitCode = app.exec();
    }
  }
  ExitRoutine(state);
  return exitCode;
}
