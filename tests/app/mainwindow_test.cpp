#include "mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "controls.h"
#include "processguard.h"
#include "testsupport.h"

using namespace core;

namespace {

ProgramState MakeState() {
  // A folder of this process's own: the single-instance guard is keyed by the program's path.
  return ProgramState("/nowhere-" + std::to_string(getpid()), "quorvel", [](const std::string&, const std::string&) {});
}

struct ExpectedControl {
  const char* name;
  const char* kind;
  const char* group;
  QRect geometry;
  const char* caption;
  bool visible;
};

const ExpectedControl kControls[] = {
    {"标签_设备号", "QLabel", "分组框_主程序", {8, 15, 72, 20}, "设备号： ", true},
    {"编辑框_渠道设备号", "QLineEdit", "分组框_主程序", {50, 15, 40, 20}, "", true},
    {"按钮_渠道主程序搜索", "QPushButton", "分组框_主程序", {93, 15, 56, 20}, "渠道搜索", true},
    {"选择框_下载开关", "QCheckBox", "分组框_主程序", {160, 18, 59, 15}, "下载关", true},
    {"编辑框_图资", "QLineEdit", "分组框_主程序", {8, 43, 50, 20}, "", true},
    {"组合框_图资", "QComboBox", "分组框_主程序", {72, 43, 245, 25}, "", true},
    {"编辑框_增量更新", "QLineEdit", "分组框_主程序", {322, 43, 66, 20}, "", true},
    {"按钮_图资下载", "QPushButton", "分组框_主程序", {391, 43, 56, 20}, "=> 下载", true},
    {"编辑框_版本", "QLineEdit", "分组框_主程序", {8, 65, 440, 20}, "", false},
    {"超级列表框", "QTreeWidget", "分组框_主程序", {8, 68, 440, 100}, "", true},
    {"标签_文件名", "QLabel", "分组框_高速下载", {8, 15, 55, 20}, "文 件 名：", true},
    {"编辑框_保存文件名", "QLineEdit", "分组框_高速下载", {64, 15, 300, 20}, "", true},
    {"选择框_下载模式", "QCheckBox", "分组框_高速下载", {367, 15, 46, 20}, "文件", true},
    {"按钮_取消", "QPushButton", "分组框_高速下载", {416, 15, 32, 20}, "取消", true},
    {"编辑框_下载地址", "QLineEdit", "分组框_高速下载", {249, 24, 25, 20}, "", false},
    {"标签_保存目录", "QLabel", "分组框_高速下载", {7, 40, 55, 20}, "保存目录：", true},
    {"编辑框_保存目录", "QLineEdit", "分组框_高速下载", {64, 40, 350, 20}, "", true},
    {"按钮_选择目录", "QPushButton", "分组框_高速下载", {417, 40, 30, 20}, "...", true},
    {"状态条1", "StatusBar", "分组框_高速下载", {5, 65, 440, 20}, "", true},
    {"进度条1", "QProgressBar", "分组框_高速下载", {4, 84, 443, 10}, "", true},
    {"状态条2", "StatusBar", "分组框_高速下载", {5, 90, 440, 20}, "", true},
};

QString Caption(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  return {};
}

TEST(MainWindow, WindowAndGroups) {
  ProgramState state = MakeState();
  WiredWindow w(state);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Quorvel（2020.02.02特别版）---By：Tavrin"));
  EXPECT_EQ(w.frameGeometry().size(), QSize(468, 336));
  EXPECT_EQ(w.pos(), QPoint(50, 50));
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint) << "a window of fixed size offers no maximise button";
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(w.windowIcon().isNull()) << "the window has an icon";
  EXPECT_FALSE(QImage(QStringLiteral(":/quorvel/down-arrow.xpm")).isNull()) << "the skin's drop-down arrow";
  auto* search = w.findChild<QGroupBox*>(QStringLiteral("分组框_主程序"));
  auto* download = w.findChild<QGroupBox*>(QStringLiteral("分组框_高速下载"));
  ASSERT_TRUE(search && download);
  EXPECT_EQ(search->title(), QStringLiteral("资源搜索"));
  EXPECT_EQ(search->geometry(), QRect(5, 5, 455, 175));
  EXPECT_EQ(download->title(), QStringLiteral("高速下载"));
  EXPECT_EQ(download->geometry(), QRect(5, 189, 455, 115));
  // The hidden probe window holds the size probe's client and is never shown.
  ASSERT_NE(w.probeWindow, nullptr);
  EXPECT_EQ(w.probeWindow->objectName(), QStringLiteral("ProbeWindow"));
  EXPECT_NE(w.probeWindow->findChild<TcpClient*>(QStringLiteral("客户1")), nullptr);
  w.show();
  EXPECT_FALSE(w.probeWindow->isVisible());
}

TEST(MainWindow, EveryControlWithKindPlaceCaptionAndState) {
  ProgramState state = MakeState();
  WiredWindow w(state);
  for (const ExpectedControl& want : kControls) {
    SCOPED_TRACE(want.name);
    auto* control = w.findChild<QWidget*>(QString::fromUtf8(want.name));
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), want.kind);
    EXPECT_EQ(control->parentWidget()->objectName(), QString::fromUtf8(want.group));
    EXPECT_EQ(control->geometry(), want.geometry);
    EXPECT_EQ(Caption(control), QString::fromUtf8(want.caption));
    EXPECT_EQ(!control->isHidden(), want.visible);
    EXPECT_TRUE(control->isEnabled());
  }
  auto* timer = w.findChild<QTimer*>(QStringLiteral("时钟_下载"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());
  EXPECT_NE(w.findChild<BalloonTip*>(QStringLiteral("气球提示框1")), nullptr);
  EXPECT_TRUE(w.气球提示框1->styleSheet().contains(QStringLiteral("宋体")));
  EXPECT_FALSE(w.选择框_下载开关->isChecked());
  EXPECT_FALSE(w.选择框_下载模式->isChecked());
  EXPECT_EQ(w.进度条1->minimum(), 0);
  EXPECT_EQ(w.进度条1->maximum(), 100);
  EXPECT_EQ(w.进度条1->value(), 0);
  EXPECT_EQ(w.状态条1->partText(0), QStringLiteral("即时速度："));
  EXPECT_EQ(w.状态条1->partText(1), QStringLiteral("已下载："));
  EXPECT_EQ(w.状态条1->partText(2), QStringLiteral("总大小："));
  for (int part = 0; part < 3; ++part) EXPECT_EQ(w.状态条2->partText(part), QString());
}

TEST(MainWindow, ReleaseListColumnsAndMapDataKinds) {
  ProgramState state = MakeState();
  WiredWindow w(state);
  const struct {
    const char* title;
    int width;
    bool right;
  } columns[] = {{"序号", 40, false},
                 {"版本号", 135, false},
                 {"发布日期", 65, true},
                 {"文件大小", 85, true},
                 {"种子大小", 65, true},
                 {"主程序下载链接", 0, false},
                 {"主程序种子下载链接", 0, false},
                 {"配套图文件", 0, false},
                 {"主程序图资", 0, false},
                 {"图资下载链接", 0, false}};
  QTreeWidget* list = w.超级列表框;
  ASSERT_EQ(list->columnCount(), 10);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list->headerItem()->text(i), QString::fromUtf8(columns[i].title));
    EXPECT_EQ(list->isColumnHidden(i), columns[i].width == 0);
    if (columns[i].width) {
      EXPECT_EQ(list->columnWidth(i), columns[i].width);
    }
    EXPECT_EQ(bool(list->headerItem()->textAlignment(i) & Qt::AlignRight), columns[i].right);
  }
  // The hidden columns still carry texts.
  auto* row = new QTreeWidgetItem(list);
  row->setText(9, QStringLiteral("link"));
  EXPECT_EQ(list->topLevelItem(0)->text(9), QStringLiteral("link"));

  QComboBox* kinds = w.组合框_图资;
  ASSERT_EQ(kinds->count(), 24);
  EXPECT_EQ(kinds->itemText(0), QStringLiteral("【CE、Android】标准图资[BT包]"));
  EXPECT_EQ(kinds->itemText(5), QStringLiteral("标准图资【patches.ndz】[sp2]"));
  EXPECT_EQ(kinds->itemText(6), QStringLiteral("标准图资【dynamap.ndz】[201703001]"));
  EXPECT_EQ(kinds->itemText(19), QStringLiteral("标准图资【spedata.ndz】"));
  // Region codes are spelt with the letter O, never the digit zero.
  EXPECT_EQ(kinds->itemText(20), QStringLiteral("分区图资【东区=OE】"));
  EXPECT_EQ(kinds->itemText(23), QStringLiteral("分区图资【北区=ON】"));
  for (int i = 0; i < 24; ++i) EXPECT_FALSE(kinds->itemText(i).contains(u'0') && i >= 20);
  EXPECT_EQ(kinds->currentIndex(), -1);
}

// Each routed event reaches its own handler once and nothing else; unrouted events reach none.
TEST(MainWindow, EventTableRoutesEachEventToItsHandler) {
  ProgramState state = MakeState();
  WiredWindow w(state);
  w.show();
  QStringList calls;
  auto record = [&calls](const char* name) { return [&calls, name] { calls << QString::fromUtf8(name); }; };
  auto& h = w.handlers;
  h = {record("search"),
       record("listDoubleClick"),
       record("selectKind"),
       record("downloadMapData"),
       record("mode"),
       record("folderButton"),
       record("folderEdit"),
       record("cancel"),
       record("poll"),
       record("probe"),
       record("openFolder"),
       record("openList"),
       record("pollRelease"),
       record("pickMapData"),
       [&calls] {
         calls << QStringLiteral("confirmClose");
         return true;
       }};

  auto expectOnly = [&](const char* name) {
    EXPECT_EQ(calls, QStringList{QString::fromUtf8(name)});
    calls.clear();
  };
  QTest::mouseClick(w.按钮_渠道主程序搜索, Qt::LeftButton);
  expectOnly("search");
  auto* row = new QTreeWidgetItem(w.超级列表框, QStringList{QStringLiteral("1"), QStringLiteral("v")});
  QPoint cell = w.超级列表框->visualItemRect(row).center();
  QTest::mouseDClick(w.超级列表框->viewport(), Qt::LeftButton, {}, cell);
  EXPECT_EQ(calls.count(QStringLiteral("listDoubleClick")), 1);
  calls.clear();
  w.组合框_图资->setCurrentIndex(3);
  expectOnly("selectKind");
  QTest::mouseClick(w.按钮_图资下载, Qt::LeftButton);
  expectOnly("downloadMapData");
  w.选择框_下载模式->click();
  expectOnly("mode");
  QTest::mouseClick(w.按钮_选择目录, Qt::LeftButton);
  expectOnly("folderButton");
  QTest::mouseDClick(w.编辑框_保存目录, Qt::LeftButton);
  expectOnly("folderEdit");
  QTest::mouseClick(w.按钮_取消, Qt::LeftButton);
  expectOnly("cancel");
  SetTimerPeriod(w.时钟_下载, 5);
  EXPECT_TRUE(WaitFor([&] { return !calls.isEmpty(); }));
  SetTimerPeriod(w.时钟_下载, 0);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_TRUE(calls.count(QStringLiteral("poll")) == calls.size());
  calls.clear();
  SetTimerPeriod(w.时钟_新版本, 5);
  EXPECT_TRUE(WaitFor([&] { return !calls.isEmpty(); }));
  SetTimerPeriod(w.时钟_新版本, 0);
  EXPECT_TRUE(calls.count(QStringLiteral("pollRelease")) == calls.size());
  calls.clear();
  emit w.probeWindow->客户1->dataArrived();
  expectOnly("probe");
  QTest::mouseDClick(w.状态条2->part(0), Qt::LeftButton);
  expectOnly("openFolder");
  // The download list opens from the progress bar, the status bar's progress part and Ctrl+J.
  QTest::mouseClick(w.进度条1, Qt::LeftButton);
  expectOnly("openList");
  QTest::mouseClick(w.状态条2->part(2), Qt::LeftButton);
  expectOnly("openList");
  QTest::keyClick(&w, Qt::Key_J, Qt::ControlModifier);
  expectOnly("openList");
  w.状态条2->setPartText(0, QStringLiteral("下载失败（点此查看）"));  // a failure too long for the part
  QTest::mouseClick(w.状态条2->part(0), Qt::LeftButton);
  expectOnly("openList");
  w.状态条2->setPartText(0, QStringLiteral("正在下载..."));
  QTest::mouseClick(w.状态条2->part(0), Qt::LeftButton);
  EXPECT_TRUE(calls.isEmpty());
  // The menu of the map-data combo box and button picks several kinds.
  for (QWidget* source : std::initializer_list<QWidget*>{w.组合框_图资, w.按钮_图资下载}) {
    QTimer::singleShot(50, [&w] {
      if (auto* menu = w.findChild<QMenu*>(QStringLiteral("菜单_图资"))) {
        menu->actions().front()->trigger();
        menu->close();
      }
    });
    emit source->customContextMenuRequested(QPoint(2, 2));
    expectOnly("pickMapData");
  }

  // The keyboard: Enter in the device number searches, Enter on a row downloads it, Enter or
  // Space on a focused button presses it.
  QTest::keyClick(w.编辑框_渠道设备号, Qt::Key_Return);
  expectOnly("search");
  w.超级列表框->setCurrentItem(row);
  QTest::keyClick(w.超级列表框, Qt::Key_Return);
  expectOnly("listDoubleClick");
  QTest::keyClick(w.按钮_图资下载, Qt::Key_Return);
  expectOnly("downloadMapData");
  QTest::keyClick(w.按钮_取消, Qt::Key_Space);
  expectOnly("cancel");
  QTest::keyClick(w.按钮_渠道主程序搜索, Qt::Key_Enter);
  expectOnly("search");
  for (QWidget* focusable : {static_cast<QWidget*>(w.组合框_图资), static_cast<QWidget*>(w.超级列表框)})
    EXPECT_NE(focusable->focusPolicy() & Qt::TabFocus, 0) << "reached with the Tab key";

  // Events that are not in the table.
  w.选择框_下载开关->click();
  QTest::keyClicks(w.编辑框_渠道设备号, QStringLiteral("123"));
  QTest::mouseDClick(w.编辑框_保存文件名, Qt::LeftButton);
  QTest::mouseClick(w.超级列表框->viewport(), Qt::LeftButton, {}, cell);
  EXPECT_TRUE(calls.isEmpty()) << calls.join(u',').toStdString();
}

// Wraps every step so that the test sees the order in which they run.
void Trace(std::vector<MainWindow::Step>& steps, QStringList& log) {
  for (auto& step : steps)
    step.run = [&log, name = step.name, run = step.run] {
      log << QString::fromUtf8(name);
      run();
    };
}

TEST(MainWindow, CreatedAndShutdownEventsRunTheirStepsInOrder) {
  ScratchConfig config;
  ProgramState state = MakeState();
  WiredWindow w(state);
  QStringList log;
  // The step runs, but ends no process: tests beside this one run "WinCE.exe" processes of their own.
  for (auto& step : w.shutdownSteps)
    if (std::string_view(step.name) == "EndEmulators") step.run = [] {};
  Trace(w.createdSteps, log);
  Trace(w.shutdownSteps, log);
  // The engine starts after the settings are in their boxes.
  QString deviceAtEngineStart;
  auto engineStart = std::find_if(w.createdSteps.begin(), w.createdSteps.end(),
                                  [](auto& s) { return std::string(s.name) == "StartEngine"; });
  ASSERT_NE(engineStart, w.createdSteps.end());
  engineStart->run = [&, run = engineStart->run] {
    deviceAtEngineStart = w.编辑框_渠道设备号->text();
    run();
  };

  w.RunCreatedEvent();
  EXPECT_EQ(log, (QStringList{"DeploySkinLibrary", "AttachSkin", "GuardSingleInstance", "LoadSettings",
                              "DeployEngineFiles", "StartEngine", "LoadDownloadList", "StartReleaseCheck"}));
  EXPECT_EQ(deviceAtEngineStart, QStringLiteral("3261"));
  EXPECT_FALSE(w.endProgram.has_value());
  log.clear();

  w.show();
  w.close();
  EXPECT_EQ(log, (QStringList{"StopReleaseCheck", "StoreSettings", "EndEmulators", "StoreDownloadList", "StopEngine"}));
  EXPECT_TRUE(std::filesystem::exists(config.settingsFile())) << "the settings were stored on close";
  log.clear();
  w.close();
  EXPECT_TRUE(log.isEmpty()) << "shut-down runs once";
}

TEST(MainWindow, AStepThatEndsTheProgramStopsStartUp) {
  ScratchConfig config;
  ProgramState state = MakeState();
  WiredWindow w(state);
  QStringList log;
  Trace(w.createdSteps, log);
  auto guard = std::find_if(w.createdSteps.begin(), w.createdSteps.end(),
                            [](auto& s) { return std::string(s.name) == "GuardSingleInstance"; });
  ASSERT_NE(guard, w.createdSteps.end());
  guard->run = [&w, &log] {
    log << "GuardSingleInstance";
    w.endProgram = 0;
  };
  w.RunCreatedEvent();
  EXPECT_EQ(log, (QStringList{"DeploySkinLibrary", "AttachSkin", "GuardSingleInstance"}));
  EXPECT_EQ(w.endProgram, 0);
  EXPECT_TRUE(w.编辑框_渠道设备号->text().isEmpty()) << "no setting was read";
}

}  // namespace

namespace {

// A second start from the same path brings the first copy's window back from the task bar.
TEST(MainWindow, ASecondStartBringsTheWindowToTheFront) {
  ScratchConfig config;
  ProgramState state = MakeState();
  WiredWindow w(state);
  auto guard = std::find_if(w.createdSteps.begin(), w.createdSteps.end(),
                            [](auto& s) { return std::string(s.name) == "GuardSingleInstance"; });
  ASSERT_NE(guard, w.createdSteps.end());
  guard->run();
  ASSERT_FALSE(w.endProgram.has_value());
  w.showMinimized();
  ASSERT_TRUE(WaitFor([&] { return w.isMinimized(); }, 2000));
  EXPECT_TRUE(core::ShowFirstInstance(state.programFolder + "/" + state.exeName)) << "what a second copy does";
  EXPECT_TRUE(WaitFor([&] { return !w.isMinimized() && w.isVisible(); }, 5000));
}

}  // namespace
