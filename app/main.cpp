// Process start and end: program folder, program-wide state, the main window and its
// created event, the event loop, the exit routine.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string_view>

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

const char* const kHelp =
    "Usage: quorvel [--help | --version]\n"
    "The Quorvel window: ask the map vendor's channel portal which main-program release exists\n"
    "for a device number, download it, its torrent or map-data packages through the Quorvel\n"
    "engine with live progress, and keep the device number, map-data version and save folder\n"
    "between runs. The download list (Ctrl+J) holds every download, with pause, resume and a\n"
    "speed limit. quorvel-cli does the same from a shell.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Settings: ${XDG_CONFIG_HOME:-~/.config}/Quorvel/registry.reg; the download list:\n"
    "${XDG_DATA_HOME:-~/.local/share}/Quorvel/downloads.list.\n";

// --help and --version answer without a display, before anything of the window starts.
std::optional<int> AnswerWithoutWindow(int argc, char* argv[]) {
  if (argc != 2) return std::nullopt;
  const std::string_view arg = argv[1];
  if (arg == "--help") return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
  if (arg == "--version") return std::printf("quorvel %s\n", QUORVEL_VERSION) < 0 ? 1 : 0;
  return std::nullopt;
}

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
  if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv)) return *answered;
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
