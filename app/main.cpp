// Process start and end: program folder, program-wide state, the main window and its
// created event, the event loop, the exit routine.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QFont>

#include "fatalerror.h"
#include "language.h"
#include "mainwindow.h"
#include "pathtext.h"
#include "processguard.h"
#include "programfolder.h"
#include "programstate.h"
#include "sessionend.h"
#include "wiring.h"

namespace {

// The window speaks Chinese, and so does its help (and the manual page made from it).
const char* const kHelp =
    "用法：quorvel [--help | --version]\n"
    "\n"
    "Quorvel 的窗口：向渠道门户查询设备号的主程序，经 Quorvel 下载引擎下载它、它的种子或图资，\n"
    "显示实时进度，并在两次运行之间记住设备号、图资版本和保存目录。下载列表（Ctrl+J）列出每个\n"
    "下载，可暂停、继续和限速。quorvel-cli 在命令行里做同样的事。\n"
    "\n"
    "  --help     显示本帮助并退出\n"
    "  --version  显示版本并退出\n"
    "\n"
#ifdef _WIN32
    "设置：注册表 HKEY_CURRENT_USER\\Quorvel；下载列表：%LOCALAPPDATA%\\Quorvel\\downloads.list。\n";
#else
    "设置文件：${XDG_CONFIG_HOME:-~/.config}/Quorvel/registry.reg；下载列表：\n"
    "${XDG_DATA_HOME:-~/.local/share}/Quorvel/downloads.list。\n";
#endif

// --help and --version answer without a display, before anything of the window starts.
std::optional<int> AnswerWithoutWindow(int argc, char* argv[]) {
  if (argc != 2) return std::nullopt;
  const std::string_view arg = argv[1];
  if (arg == "--help") return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
  if (arg == "--version") return std::printf("quorvel %s\n", QUORVEL_VERSION) < 0 ? 1 : 0;
  return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv)) return *answered;
  core::ProgramPaths paths = core::FindProgramPaths();
  // A folder that cannot be entered leaves the start folder current; nothing reports it.
  std::error_code entered;
  std::filesystem::current_path(common::PathOf(paths.folder), entered);
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
      app::CloseAtSessionEnd(mainWindow);
      exitCode = application.exec();
    }
  }
  core::ExitRoutine(state);
  return exitCode;
}
