#pragma once
// The download list window's test fixtures: the window over the real engine library, or over a
// double of the engine whose tasks answer as `fake` says.
#include <QTableWidget>
#include <QTest>

#include "../../fixtures/fakeengine.h"
#include "../testsupport.h"
#include "downloadhandlers.h"
#include "downloadlisthandlers.h"
#include "downloadlistwindow.h"
#include "enginecalls.h"

namespace fs = std::filesystem;
using core::ProgramState;

class DownloadListTest : public testing::Test {
 protected:
  ScratchConfig config;
  fs::path folder = config.folder() / "downloads";

  std::unique_ptr<ProgramState> NewState() {
    // A name of this process's own: the single-instance guard is keyed by the program's path, and
    // other test processes run windows from the same folder at the same time.
    const std::string exe = "quorvel-list-" + std::to_string(getpid());
    auto s = std::make_unique<ProgramState>(
        DLCORE_DIR, exe, [](const std::string& l, const std::string& f) { FAIL() << l << " " << f; });
    s->session.engine = core::BindEngineCalls(s->libraries, DLCORE_DIR "/libdlcore.so");
    return s;
  }
  // The window's end would end one "WinCE.exe" of the whole machine: a process guard test
  // runs two of them beside these tests.
  static void KeepEmulators(MainWindow& w) {
    for (MainWindow::Step& step : w.shutdownSteps)
      if (std::string(step.name) == "EndEmulators") step.run = [] {};
  }
  void Start(MainWindow& w, const std::string& url, const char* name) {
    w.编辑框_下载地址->setText(QString::fromStdString(url));
    w.编辑框_保存文件名->setText(QString::fromUtf8(name));
    w.编辑框_保存目录->setText(QString::fromStdString(folder.string()));
    ui::StartDownload(w);
  }
  // The table's row that shows `name`; -1 when none.
  static int RowOf(MainWindow& w, const char* name) {
    QTableWidget* t = w.下载列表窗口->表格_下载;
    for (int i = 0; i < t->rowCount(); ++i)
      if (t->item(i, DownloadListWindow::kName)->text() == QString::fromUtf8(name)) return i;
    return -1;
  }
  static QString StateOf(MainWindow& w, const char* name) {
    const int row = RowOf(w, name);
    return row < 0 ? QString() : w.下载列表窗口->表格_下载->item(row, DownloadListWindow::kState)->text();
  }
  static void Choose(MainWindow& w, const char* name) { w.下载列表窗口->表格_下载->selectRow(RowOf(w, name)); }
};

// The list window over a double of the engine: every task answers as `fake` says.
class DownloadListWindowTest : public DownloadListTest {
 protected:
  FakeEngine fake;
  std::unique_ptr<ProgramState> state = NewState();
  WiredWindow w{*state};
  DownloadListWindow& l = *w.下载列表窗口;
  void SetUp() override {
    state->session.engine = fake.Calls();
    KeepEmulators(w);
    ui::OpenDownloadList(w);
  }
  void TearDown() override { w.close(); }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(l.表格_下载, key, modifiers);
  }
};
