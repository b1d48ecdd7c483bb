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
      exitCode = application.exec();
    }
  }
  core::ExitRoutine(state);
  return exitCode;
}
