// The download list window: over a double of the engine, its actions act once on the chosen
// row, from the buttons, the keyboard and the menu, and it keeps its shape; over the real
// engine, rows and their words, pause versus cancel, the list kept across starts (also a
// damaged list file), the settings it keeps.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "../../fixtures/fakeengine.h"
#include "../../fixtures/files.h"
#include "../../fixtures/fileserver.h"
#include "../testsupport.h"
#include "controls.h"
#include "downloadhandlers.h"
#include "downloadlistfile.h"
#include "downloadlistfixture.h"
#include "downloadlisthandlers.h"
#include "downloadlistview.h"
#include "downloadlistwindow.h"
#include "downloadtick.h"
#include "enginecalls.h"
#include "recordlayout.h"
#include "registryfile.h"
#include "servers.h"
#include "settingstable.h"
#include "verify.h"

namespace {

// Cancel asks first and acts once, on the row chosen: a second click, or the row that moved
// into its place, is never cancelled with it; remove leaves nothing chosen either.
TEST_F(DownloadListWindowTest, CancelAndRemoveActOnceOnTheChosenRow) {
  for (const char* name : {"a.zip", "b.zip", "c.zip"}) Start(w, "http://127.0.0.1:1/" + std::string(name), name);
  ui::OpenDownloadList(w);
  Choose(w, "b.zip");
  QString asked;
  AnswerNextQuestion(QStringLiteral("不取消"), &asked);
  QTest::mouseClick(l.按钮_删除, Qt::LeftButton);
  EXPECT_TRUE(asked.contains(QStringLiteral("“b.zip”"))) << asked.toStdString();
  EXPECT_NE(RowOf(w, "b.zip"), -1) << "kept when the user says no";
  fake.calls.clear();
  AnswerNextQuestion(QStringLiteral("取消下载"));
  QTest::mouseClick(l.按钮_删除, Qt::LeftButton);
  QTest::mouseClick(l.按钮_删除, Qt::LeftButton);  // the second click of a double click
  EXPECT_EQ(RowOf(w, "b.zip"), -1);
  EXPECT_NE(RowOf(w, "a.zip"), -1) << "the row that moved into its place is not cancelled";
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "deltemp"), 1) << "one download's data deleted";
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, records::createparams::szFilename), u"b.zip");
  EXPECT_EQ(ui::ChosenId(w), 0) << "nothing chosen after it";
  EXPECT_FALSE(l.按钮_删除->isEnabled());
  Choose(w, "c.zip");
  QTest::mouseClick(l.按钮_暂停, Qt::LeftButton);
  QTest::mouseClick(l.按钮_移除, Qt::LeftButton);
  QTest::mouseClick(l.按钮_移除, Qt::LeftButton);
  EXPECT_EQ(RowOf(w, "c.zip"), -1);
  EXPECT_NE(RowOf(w, "a.zip"), -1);
  EXPECT_FALSE(l.按钮_移除->isEnabled());
}

// Delete removes, Space pauses and continues, Enter opens the folder, Ctrl+C copies the
// address, Esc hides the window; a right click offers what the buttons offer.
TEST_F(DownloadListWindowTest, TheKeyboardAndTheMenuActOnTheChosenRow) {
  Start(w, "http://127.0.0.1:1/a.zip", "a.zip");
  ui::OpenDownloadList(w);
  Choose(w, "a.zip");
  l.表格_下载->setFocus();
  Press(Qt::Key_Delete);
  EXPECT_NE(RowOf(w, "a.zip"), -1) << "a running download is not removed";
  EXPECT_EQ(l.标签_提示->text(), QStringLiteral("正在下载：请先暂停或取消它。"));
  Press(Qt::Key_Space);
  EXPECT_EQ(StateOf(w, "a.zip"), QStringLiteral("已暂停"));
  EXPECT_TRUE(l.标签_提示->text().isEmpty()) << "the note went with the moment";
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("http://127.0.0.1:1/a.zip"));
  Press(Qt::Key_Return);
  EXPECT_TRUE(l.标签_提示->text().startsWith(QStringLiteral("无法打开目录："))) << "the folder does not exist";

  QStringList offered;
  QTimer::singleShot(200, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions())
        if (a->isEnabled() && !a->text().isEmpty()) offered << a->text();
      menu->close();
    }
  });
  const QRect cell = l.表格_下载->visualItemRect(l.表格_下载->item(RowOf(w, "a.zip"), 0));
  QContextMenuEvent right(QContextMenuEvent::Mouse, cell.center(), l.表格_下载->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(l.表格_下载->viewport(), &right);
  EXPECT_EQ(offered, (QStringList{QStringLiteral("继续"), QStringLiteral("取消下载"), QStringLiteral("从列表移除"),
                                  QStringLiteral("打开目录"), QStringLiteral("复制下载地址")}));

  Press(Qt::Key_Space);
  EXPECT_NE(StateOf(w, "a.zip"), QStringLiteral("已暂停")) << "continued";
  Press(Qt::Key_Space);
  Press(Qt::Key_Delete);
  EXPECT_EQ(RowOf(w, "a.zip"), -1) << "a paused one is";
  Press(Qt::Key_Escape);
  EXPECT_FALSE(l.isVisible());
}

// A dozen rows at the first look; the buttons stay where they are whatever the hint says; the
// name keeps its room beside a long state.
TEST_F(DownloadListWindowTest, TheWindowKeepsItsShape) {
  for (int i = 0; i < 14; ++i) {
    const std::string name = "f" + std::to_string(i) + ".ndz";
    Start(w, "http://127.0.0.1:1/" + name, name.c_str());
  }
  fake.stat = DL_STATE_CANCELLED, fake.failCode = DL_FAIL_FOREIGN;  // the longest words there are
  ui::PollProgress(w);
  ui::OpenDownloadList(w);
  QTableWidget* t = l.表格_下载;
  EXPECT_GE(t->viewport()->height() / t->rowHeight(0), 12) << "rows shown at once";
  const QPoint pause = l.按钮_暂停->mapTo(&l, QPoint(0, 0));
  Choose(w, "f0.ndz");
  QApplication::processEvents();
  EXPECT_GE(l.标签_提示->text().count(u'\n'), 1) << "a hint of two lines or more";
  EXPECT_EQ(l.按钮_暂停->mapTo(&l, QPoint(0, 0)), pause) << "the buttons do not jump";
  l.resize(l.minimumSizeHint().width(), l.height());
  QApplication::processEvents();
  EXPECT_GE(t->columnWidth(DownloadListWindow::kName), 100) << "the name does not vanish";
}

TEST_F(DownloadListTest, RowsPauseResumeAndCancelFromTheList) {
  const std::string a = PatternBytes(3 << 20, 51), b = PatternBytes(16 << 20, 52);
  FileServer serverA(a), serverB(b);
  serverA.SetFaults({.bytesPerSecond = 512 << 10});
  // The limits are per connection and the engine opens up to 16: b runs for a minute at least,
  // so it still runs when it is cancelled.
  serverB.SetFaults({.bytesPerSecond = 16 << 10});
  auto state = NewState();
  WiredWindow w(*state);
  KeepEmulators(w);
  w.RunCreatedEvent();
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  Start(w, serverA.url(), "a.zip");
  Start(w, serverB.url(), "b.zip");
  QTest::keyClick(&w, Qt::Key_J, Qt::ControlModifier);
  ASSERT_TRUE(w.下载列表窗口->isVisible());
  ASSERT_TRUE(WaitFor([&] { return StateOf(w, "a.zip") == QStringLiteral("下载中"); }, 5000));
  EXPECT_EQ(RowOf(w, "b.zip"), 0) << "the newest first";

  // Paused once its first bytes are saved (on a loaded machine they may come late).
  ASSERT_TRUE(WaitFor([&] { return fs::exists(folder / "a.zip.part.ctl"); }, 30000));
  Choose(w, "a.zip");
  EXPECT_FALSE(w.下载列表窗口->按钮_继续->isEnabled());
  QTest::mouseClick(w.下载列表窗口->按钮_暂停, Qt::LeftButton);
  EXPECT_EQ(StateOf(w, "a.zip"), QStringLiteral("已暂停"));
  QTest::qWait(300);
  EXPECT_TRUE(fs::exists(folder / "a.zip.part.ctl") && fs::exists(folder / "a.zip.part")) << "pause keeps the data";

  Choose(w, "b.zip");
  QString asked;
  AnswerNextQuestion(QStringLiteral("取消下载"), &asked);
  QTest::mouseClick(w.下载列表窗口->按钮_删除, Qt::LeftButton);
  EXPECT_TRUE(asked.contains(QStringLiteral("b.zip"))) << "asked first: " << asked.toStdString();
  EXPECT_EQ(RowOf(w, "b.zip"), -1);
  EXPECT_FALSE(fs::exists(folder / "b.zip.part")) << "cancel deletes it";

  serverA.SetFaults({});
  Choose(w, "a.zip");
  QTest::mouseClick(w.下载列表窗口->按钮_继续, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return StateOf(w, "a.zip") == QStringLiteral("完成"); }, 60000))
      << StateOf(w, "a.zip").toStdString();
  EXPECT_EQ(ReadAll(folder / "a.zip"), a);
  Choose(w, "a.zip");
  EXPECT_TRUE(w.下载列表窗口->按钮_移除->isEnabled());
  EXPECT_FALSE(w.下载列表窗口->按钮_删除->isEnabled()) << "a completed file is not cancelled";
  w.close();
}

TEST_F(DownloadListTest, AnUnfinishedDownloadResumesAtTheNextStart) {
  const std::string content = PatternBytes(3 << 20, 53);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 512 << 10});
  {
    auto state = NewState();
    WiredWindow w(*state);
    KeepEmulators(w);
    w.RunCreatedEvent();
    Start(w, server.url(), "r.zip");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(folder / "r.zip.part.ctl"); }, 5000));
    w.close();  // not shown: no question; the download pauses with its resume data
  }
  ASSERT_TRUE(fs::exists(session::ListFilePath()));
  server.SetFaults({});
  auto state = NewState();
  WiredWindow w(*state);
  KeepEmulators(w);
  w.RunCreatedEvent();  // no click
  // The display follows it while it runs: not blank while a download goes on.
  EXPECT_TRUE(WaitFor([&] { return w.状态条1->partText(2) == QStringLiteral("总大小：3.00 MB"); }, 20000) ||
              fs::exists(folder / "r.zip"))
      << w.状态条1->partText(2).toStdString();
  // Bounded generously: under the sanitizers, beside the kill test's flushes, the disk is slow.
  ASSERT_TRUE(WaitFor([&] { return fs::exists(folder / "r.zip"); }, 60000))
      << "the row: "
      << (state->session.rows().empty() ? std::string("none") : session::StateWords(state->session.rows()[0]));
  EXPECT_EQ(ReadAll(folder / "r.zip"), content);
  w.close();
}

// With 启动时继续 off a download of the last run waits, paused, with the figures it had; the
// question at closing says what becomes of running downloads.
TEST_F(DownloadListTest, APausedDownloadKeepsItsFiguresAndTheCloseQuestionSaysSo) {
  const std::string content = PatternBytes(4 << 20, 55);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 128 << 10});
  ASSERT_TRUE(core::WriteSwitch(core::kResumeAtStart, false));
  {
    auto state = NewState();
    WiredWindow w(*state);
    KeepEmulators(w);
    w.RunCreatedEvent();
    w.show();
    Start(w, server.url(), "p.zip");
    ASSERT_TRUE(WaitFor([&] { return state->session.rows().front().done >= 512 << 10; }, 30000));
    QString asked;
    AnswerNextQuestion(QStringLiteral("继续下载"), &asked);
    w.close();
    EXPECT_TRUE(w.isVisible()) << "kept open";
    EXPECT_TRUE(asked.endsWith(QStringLiteral("可在下载列表中继续。")))
        << "not at the next start: " << asked.toStdString();
    AnswerNextQuestion(QStringLiteral("关闭"));
    w.close();
  }
  auto state = NewState();
  WiredWindow w(*state);
  KeepEmulators(w);
  w.RunCreatedEvent();
  ui::OpenDownloadList(w);
  EXPECT_EQ(StateOf(w, "p.zip"), QStringLiteral("已暂停"));
  const QString progress = w.下载列表窗口->表格_下载->item(RowOf(w, "p.zip"), DownloadListWindow::kProgress)->text();
  EXPECT_GE(progress.chopped(1).toDouble(), 10.0) << "the figures it had, not 0: " << progress.toStdString();
  EXPECT_FALSE(w.时钟_下载->isActive()) << "nothing runs";
  w.close();
}

// A list file that cannot be read whole is kept aside and the user told; the settings are
// the settings file's, and stay.
TEST_F(DownloadListTest, ADamagedListFileIsKeptAsideAndTheSettingsStay) {
  const fs::path list = session::ListFilePath();
  fs::create_directories(list.parent_path());
  const std::string damaged =
      "Quorvel download list 1\n1\trunning\t0\tnone\t0\t0\tserver\thttp://h/x\t..\t..\t\t\n"
      "2\tcompleted\t0\tnone\t5\t5\tserver\thttp://h/y\t/tmp\ty.zip\t\t\t\n"
      "\xff\xfe\t\t\t\n";
  WriteFile(list, damaged);
  {
    auto state = NewState();
    WiredWindow w(*state);
    KeepEmulators(w);
    w.RunCreatedEvent();
    ASSERT_EQ(state->session.rows().size(), 1u) << "the row that could be read";
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(list.parent_path()))
      if (e.path().filename().string().starts_with("downloads.list.bad-")) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadAll(aside[0]), damaged) << "kept whole, never written over";
    EXPECT_TRUE(w.气球提示框1->window()->text().contains(QString::fromStdString(aside[0].string())))
        << "the user is told where";
    DownloadListWindow& l = *w.下载列表窗口;
    l.数值框_限速->setValue(500);
    l.数值框_同时下载->setValue(2);
    l.选择框_启动时继续->setChecked(false);
    const std::string file = core::SettingsFilePath();
    EXPECT_EQ(core::registry::ReadText(file, "Quorvel\\限速"), "500");
    EXPECT_EQ(core::registry::ReadText(file, "Quorvel\\同时下载"), "2");
    EXPECT_EQ(core::registry::ReadText(file, "Quorvel\\启动时继续下载"), "0");
    EXPECT_EQ(state->session.maxRunning, 2);
    w.close();
  }
  auto again = NewState();
  WiredWindow w2(*again);
  KeepEmulators(w2);
  w2.RunCreatedEvent();
  EXPECT_EQ(w2.下载列表窗口->数值框_限速->value(), 500);
  EXPECT_FALSE(w2.下载列表窗口->选择框_启动时继续->isChecked());
  w2.close();
}

// A torrent downloaded in BT mode goes on with its content through the swarm, from the
// download server as its web seed; the content never lies under its own name unfinished.
TEST_F(DownloadListTest, ATorrentsContentComesThroughTheSwarmFromItsRow) {
  const std::string content = PatternBytes(2 << 20, 54);
  FileServer seed(content);
  seed.SetFaults({.bytesPerSecond = 1 << 20});
  FileServer torrentServer(torrent::CreateTorrent("map.ndz", content, 32 << 10, seed.url("map.ndz")));
  auto state = NewState();
  WiredWindow w(*state);
  KeepEmulators(w);
  w.RunCreatedEvent();
  Start(w, torrentServer.url("map.ndz.torrent"), "map.ndz.torrent");
  ui::OpenDownloadList(w);
  ASSERT_TRUE(WaitFor([&] { return StateOf(w, "map.ndz.torrent") == QStringLiteral("完成"); }, 10000));
  Choose(w, "map.ndz.torrent");
  ASSERT_TRUE(w.下载列表窗口->按钮_BT下载->isEnabled());
  QTest::mouseClick(w.下载列表窗口->按钮_BT下载, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return StateOf(w, "map.ndz") == QStringLiteral("下载中"); }, 10000));
  EXPECT_TRUE(WaitFor([&] { return fs::exists(folder / "map.ndz.part"); }, 5000));
  EXPECT_FALSE(fs::exists(folder / "map.ndz")) << "not under its own name while unfinished";
  const int row = RowOf(w, "map.ndz");
  EXPECT_TRUE(w.下载列表窗口->表格_下载->item(row, DownloadListWindow::kSource)->text().startsWith("BT 网络"));
  ASSERT_TRUE(WaitFor([&] { return StateOf(w, "map.ndz") == QStringLiteral("完成"); }, 60000))
      << StateOf(w, "map.ndz").toStdString();
  EXPECT_EQ(ReadAll(folder / "map.ndz"), content);
  EXPECT_FALSE(fs::exists(folder / "map.ndz.part"));
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QString::fromStdString((folder / "map.ndz").string())))
      << "its end is announced like any other's";
  w.close();
}

}  // namespace
