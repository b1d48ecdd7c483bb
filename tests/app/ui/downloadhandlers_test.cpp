#include "downloadhandlers.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "../../fixtures/fakeengine.h"
#include "../../fixtures/files.h"
#include "../../fixtures/fileserver.h"
#include "../testsupport.h"
#include "controls.h"
#include "downloadlisthandlers.h"
#include "downloadlistwindow.h"
#include "downloadtick.h"
#include "mainwindow.h"
#include "recordlayout.h"
#include "searchhandlers.h"
#include "words.h"

using namespace records;
using namespace core;
using namespace ui;
namespace fs = std::filesystem;

namespace {

class SessionTest : public testing::Test {
 protected:
  ScratchConfig config;
  ProgramState state{"/nowhere", "quorvel", [](const std::string&, const std::string&) {}};
  FakeEngine fake;
  WiredWindow w{state};
  void SetUp() override { state.session.engine = fake.Calls(); }
  // A download on display, as the engine double answers for it.
  void Begin(const std::string& folder = "/home/u/下载", const std::string& name = "3.2.1.zip") {
    common::DownloadOrder order;
    order.sources = {"http://dl.test/" + name};
    order.folder = folder;
    order.name = name;
    ASSERT_NE(state.session.Start(order, session::WhenThere::kReplace).outcome,
              session::StartResult::Outcome::kRefused);
    SetTimerPeriod(w.时钟_下载, 100);
  }
  void* TaskOnDisplay() {
    const session::ListedDownload* d = state.session.Find(state.session.currentTask);
    return d ? d->task : nullptr;
  }
  QString Part(StatusBar* bar, int part) { return bar->partText(part); }
};

TEST_F(SessionTest, FiguresOfARunningDownload) {
  Begin();
  fake.speed = 1023, fake.downloaded = 1572864, fake.total = 10485760, fake.percent = 0.5f;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条1, 0), QStringLiteral("即时速度：0 KB/S"));
  EXPECT_EQ(Part(w.状态条1, 1), QStringLiteral("已下载：1.50 MB"));
  EXPECT_EQ(Part(w.状态条1, 2), QStringLiteral("总大小：10.00 MB"));
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("正在下载..."));
  EXPECT_EQ(Part(w.状态条2, 2), QStringLiteral("下载进度：50.00 %"));
  EXPECT_EQ(w.进度条1->value(), 50);
  EXPECT_EQ(w.编辑框_保存文件名->text(), QStringLiteral("3.2.1.zip"));
  EXPECT_TRUE(w.时钟_下载->isActive());
  w.编辑框_保存文件名->setText(QStringLiteral("typed"));
  fake.speed = 2047 * 1024 + 1023, fake.percent = 0.12345f, fake.name = u"新名字.zip";
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条1, 0), QStringLiteral("即时速度：2047 KB/S"));
  EXPECT_EQ(Part(w.状态条2, 2), QStringLiteral("下载进度：12.35 %"));
  EXPECT_EQ(w.编辑框_保存文件名->text(), QStringLiteral("新名字.zip")) << "the engine's name wins every tick";
}

TEST_F(SessionTest, CompletionStopsTheTimerAndResetsAtAFullBar) {
  Begin();
  fake.stat = DL_STATE_COMPLETE, fake.percent = 1.0f, fake.downloaded = fake.total = 1 << 20;
  w.编辑框_保存目录->setText(QStringLiteral("/home/u/下载"));
  PollProgress(w);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载完毕！ 3.2.1.zip")) << "a lasting sign after the reset";
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("/home/u/下载/3.2.1.zip")))
      << "where the file is";
  EXPECT_EQ(state.completedFolder, "/home/u/下载");
  EXPECT_EQ(Part(w.状态条1, 0), QStringLiteral("即时速度："));
  EXPECT_EQ(w.进度条1->value(), 0);
  EXPECT_FALSE(w.按钮_取消->isEnabled());

  Begin("/home/u/下载", "second.zip");  // another download, ending just under 100 %
  fake.percent = 0.995f;
  PollProgress(w);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载完毕！ 3.2.1.zip"));
  EXPECT_EQ(w.进度条1->value(), 99);
}

TEST_F(SessionTest, StoppingPausedCancelledFailedAndUnknownStates) {
  Begin();
  fake.stat = DL_STATE_STOPPING, fake.percent = 0.3f;
  PollProgress(w);
  EXPECT_TRUE(w.时钟_下载->isActive()) << "a stop in progress keeps polling";
  EXPECT_EQ(Part(w.状态条2, 0), QString());
  EXPECT_EQ(w.进度条1->value(), 0);
  fake.stat = DL_STATE_STOPPED;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("暂停下载..."));
  EXPECT_EQ(w.进度条1->value(), 30);
  fake.stat = 9 /* no state of the engine */, fake.percent = 0.4f;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("暂停下载...")) << "an unknown state leaves the text";
  EXPECT_EQ(w.进度条1->value(), 40);
  fake.answer = 0, fake.percent = 0.9f;
  PollProgress(w);
  EXPECT_EQ(w.进度条1->value(), 40) << "a failed query changes nothing";
  EXPECT_TRUE(w.时钟_下载->isActive());

  fake.answer = 1, fake.stat = DL_STATE_CANCELLED, fake.failCode = 0;
  w.按钮_取消->setEnabled(true);
  PollProgress(w);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_EQ(Part(w.状态条2, 0), QString()) << "a cancel resets to the idle look";
  EXPECT_EQ(Part(w.状态条1, 2), QStringLiteral("总大小："));
  EXPECT_FALSE(w.按钮_取消->isEnabled());
  EXPECT_TRUE(w.编辑框_保存文件名->text().isEmpty());

  SetTimerPeriod(w.时钟_下载, 100);
  fake.failCode = 404;
  PollProgress(w);
  // A failure says so, never cut: the whole text where it fits, else its first words and the
  // way to the list, which holds it all.
  QLabel* part = w.状态条2->part(0);
  const auto fits = [part] {
    return part->fontMetrics().horizontalAdvance(part->text()) <= part->contentsRect().width();
  };
  EXPECT_TRUE(Part(w.状态条2, 0) == QStringLiteral("下载失败：服务器返回 404") ||
              Part(w.状态条2, 0) == QStringLiteral("下载失败（点此查看）"))
      << Part(w.状态条2, 0).toStdString();
  EXPECT_TRUE(fits());
  EXPECT_TRUE(w.下载列表窗口->标签_提示->text().contains(QStringLiteral("下载失败：服务器返回 404")));
  fake.failCode = 1008;  // a long one
  PollProgress(w);
  EXPECT_TRUE(fits()) << Part(w.状态条2, 0).toStdString();
  EXPECT_EQ(part->toolTip().toStdString(), records::FailureText(1008)) << "the whole text in the tooltip too";
  EXPECT_TRUE(w.下载列表窗口->标签_提示->text().contains(QString::fromStdString(records::FailureAdvice(1008))))
      << "and what to do, in the list";
  fake.failCode = 1003;  // the download again, failing otherwise
  Begin();
  PollProgress(w);
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("请清理磁盘空间"))) << "and what to do";
  state.servers.download = "http://dl.test:8080";
  fake.failCode = 1014;  // refused
  Begin();
  PollProgress(w);
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("下载服务器 dl.test:8080 由设置文件 ")))
      << "an unreachable server is named, with what chooses it";
}

// The boxes' texts reach the session as they stand (the records' bytes are the session's
// tests'); the timer and the cancel button follow.
TEST_F(SessionTest, StartAndCancelFromTheBoxes) {
  w.编辑框_下载地址->setText(QStringLiteral("http://dl.test/主程序.zip"));
  w.编辑框_保存文件名->setText(QStringLiteral("主程序.zip"));
  w.编辑框_保存目录->setText(QStringLiteral("/home/u/Ł下载"));
  SetTimerPeriod(w.时钟_下载, 0);
  w.按钮_取消->setEnabled(false);
  StartDownload(w);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  EXPECT_EQ(UnitsAt(fake.lastCreateRecord, createparams::szSavePath), u"/home/u/Ł下载") << "no character lost";
  EXPECT_EQ(w.时钟_下载->interval(), 100);
  EXPECT_TRUE(w.时钟_下载->isActive());
  EXPECT_TRUE(w.按钮_取消->isEnabled());
  EXPECT_EQ(TaskOnDisplay(), reinterpret_cast<void*>(7));

  fake.calls.clear();
  CancelDownload(w);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"stop", "delete", "deltemp"}));
  EXPECT_FALSE(w.按钮_取消->isEnabled());
  EXPECT_TRUE(w.时钟_下载->isActive()) << "cancel leaves the timer to the display";
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szFilename), u"主程序.zip");

  fake.calls.clear();
  state.session.currentTask = 0;
  CancelDownload(w);
  EXPECT_TRUE(fake.calls.empty()) << "no download yet: no engine call";
}

// Texts that do not fit the record: the failure says which and what to do, nothing reaches the
// engine, and a download that runs stays reachable.
TEST_F(SessionTest, TextsTooLongForTheRecordFailVisibly) {
  w.编辑框_下载地址->setText(QStringLiteral("http://dl.test/a.zip"));
  w.编辑框_保存文件名->setText(QStringLiteral("a.zip"));
  w.编辑框_保存目录->setText(QStringLiteral("/tmp/dl"));
  StartDownload(w);
  ASSERT_EQ(state.session.rows().size(), 1u);
  const int running = state.session.currentTask;
  fake.calls.clear();
  w.编辑框_保存目录->setText(QString(300, u'd'));
  StartDownload(w);
  EXPECT_TRUE(fake.calls.empty()) << "no null record reaches the engine";
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载失败（点此查看）")) << "never cut";
  EXPECT_EQ(w.下载列表窗口->标签_提示->text(),
            QStringLiteral("下载失败：保存目录过长（最多 259 个字符），请选择较短的目录"))
      << "readable in full, one click away";
  EXPECT_EQ(state.session.currentTask, running) << "the running download stays on display";
  EXPECT_TRUE(w.时钟_下载->isActive());
  CancelDownload(w);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"stop", "delete", "deltemp"})) << "and can still be cancelled";
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szSavePath), u"/tmp/dl") << "its own folder, not the box's";

  w.编辑框_保存文件名->setText(QString(1000, u'9'));
  w.编辑框_保存目录->setText(QStringLiteral("/tmp/dl"));
  SetTimerPeriod(w.时钟_下载, 100);
  StartDownload(w);
  EXPECT_EQ(w.下载列表窗口->标签_提示->text(), QStringLiteral("下载失败：文件名过长（最多 259 个字符），请改短后再试"));
  EXPECT_FALSE(w.时钟_下载->isActive()) << "nothing runs: the display stops";
  w.编辑框_下载地址->setText(QString(3000, u'u'));
  w.编辑框_保存文件名->setText(QStringLiteral("a.zip"));
  StartDownload(w);
  EXPECT_TRUE(w.下载列表窗口->标签_提示->text().startsWith(QStringLiteral("下载失败：下载地址过长")));
}

// Downloads run side by side and all stay reachable: the display follows the newest, cancel
// stops the one on display, the display then returns to one still running, and closing stops
// every one of them.
TEST_F(SessionTest, EveryStartedDownloadStaysReachable) {
  std::map<void*, int> statOf;
  int next = 100;
  fake.calls.clear();
  session::EngineCalls calls = fake.Calls();
  calls.createTask = [&](const void*) {
    fake.calls.push_back("create");
    return reinterpret_cast<void*>(++next);
  };
  std::vector<void*> stopped;
  calls.stopTask = [&](void* t) { stopped.push_back(t); };
  auto query = calls.queryTaskInfoEx;
  calls.queryTaskInfoEx = [&, query](void* t, void* r) {
    fake.stat = statOf.count(t) ? statOf[t] : 3;
    return query(t, r);
  };
  state.session.engine = calls;
  w.编辑框_下载地址->setText(QStringLiteral("http://dl.test/a.zip"));
  w.编辑框_保存目录->setText(QStringLiteral("/tmp/dl"));
  w.编辑框_保存文件名->setText(QStringLiteral("release.zip"));
  StartDownload(w);
  w.编辑框_保存文件名->setText(QStringLiteral("map.ndz"));
  StartDownload(w);
  w.编辑框_保存文件名->setText(QStringLiteral("third.ndz"));
  StartDownload(w);
  void* release = reinterpret_cast<void*>(101);
  void* map = reinterpret_cast<void*>(102);
  void* third = reinterpret_cast<void*>(103);
  ASSERT_EQ(state.session.rows().size(), 3u);
  EXPECT_EQ(TaskOnDisplay(), third) << "the display follows the newest";

  CancelDownload(w);
  EXPECT_EQ(stopped, (std::vector<void*>{third}));
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szFilename), u"third.ndz");
  EXPECT_EQ(TaskOnDisplay(), map) << "back to one still running";
  EXPECT_TRUE(w.按钮_取消->isEnabled());
  EXPECT_TRUE(w.时钟_下载->isActive());

  statOf[map] = 4;
  PollProgress(w);
  EXPECT_EQ(TaskOnDisplay(), release) << "a completed download hands the display on";
  EXPECT_TRUE(w.时钟_下载->isActive());

  StopEngine(w);
  EXPECT_EQ(stopped, (std::vector<void*>{third, release})) << "closing stops every download still running";
  EXPECT_EQ(TaskOnDisplay(), nullptr) << "no task outlives the engine";
}

// A file that is complete in the folder is not fetched again without the user's word; the
// list says it is there.
TEST_F(SessionTest, AFileThatIsThereIsFetchedAgainOnlyWhenTheUserSaysSo) {
  const fs::path folder = config.folder() / "dl";
  fs::create_directories(folder);
  WriteFile(folder / "tmc.ndz", std::string(100, 't'));
  w.编辑框_保存目录->setText(QString::fromStdString(folder.string()));
  common::DownloadOrder order;
  order.sources = {"http://dl.test/tmc.ndz"};
  order.name = "tmc.ndz";
  QString asked;
  AnswerNextQuestion(QStringLiteral("不下载"), &asked);
  StartDownload(w, order);
  EXPECT_TRUE(asked.contains(QStringLiteral("“tmc.ndz”已在保存目录中"))) << asked.toStdString();
  EXPECT_TRUE(fake.calls.empty()) << "not fetched again";
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("文件已在：tmc.ndz"));
  ASSERT_EQ(state.session.rows().size(), 1u);
  EXPECT_EQ(session::StateWords(state.session.rows()[0]), "完成（文件已在）");
  AnswerNextQuestion(QStringLiteral("重新下载"));
  StartDownload(w, order);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"})) << "fetched when the user says so";
  EXPECT_TRUE(w.时钟_下载->isActive());
}

// 同时下载 holds for the main window's downloads too: the next one waits, the display says so,
// and it starts once a place is free.
TEST_F(SessionTest, TheWindowsDownloadsWaitForAFreePlace) {
  state.session.maxRunning = 1;
  Begin("/tmp/dl", "first.zip");
  Begin("/tmp/dl", "second.zip");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  EXPECT_EQ(session::StateWords(*state.session.Find(state.session.currentTask)), "等待");
  EXPECT_EQ(Part(w.状态条2, 0), QString()) << "Begin starts without the window";
  w.编辑框_下载地址->setText(QStringLiteral("http://dl.test/second.zip"));
  w.编辑框_保存文件名->setText(QStringLiteral("second.zip"));
  w.编辑框_保存目录->setText(QStringLiteral("/tmp/dl"));
  StartDownload(w);  // the same file again from the boxes: the same row, still waiting
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("等待下载..."));
  fake.stat = DL_STATE_COMPLETE, fake.percent = 1.0f;
  PollProgress(w);
  EXPECT_EQ(fake.calls.size(), 4u) << "the second starts once the first is done";
  EXPECT_EQ(TaskOnDisplay(), reinterpret_cast<void*>(7));
}

// One notice for each end: where the desktop has a tray, its message, and no balloon beside
// it; an earlier completed download is never announced again when a later one fails.
TEST_F(SessionTest, EachEndIsAnnouncedOnceAndOnlyItsOwn) {
  Begin("/tmp/dl", "a.zip");
  fake.stat = DL_STATE_COMPLETE, fake.percent = 1.0f, fake.name = u"a.zip";
  PollProgress(w);
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("下载完毕：/tmp/dl/a.zip")));
  Begin("/tmp/dl", "b.zip");
  fake.stat = DL_STATE_CANCELLED, fake.failCode = 404, fake.name = u"b.zip";
  PollProgress(w);
  EXPECT_TRUE(Part(w.状态条2, 0).startsWith(QStringLiteral("下载失败"))) << Part(w.状态条2, 0).toStdString();
  EXPECT_FALSE(w.气球提示框1->window()->text().contains(QStringLiteral("a.zip"))) << "not the earlier one";
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("b.zip")));
  EXPECT_FALSE(w.时钟_下载->isActive()) << "nothing left to follow";

  w.气球提示框1->window()->hide();
  w.托盘图标 = new QSystemTrayIcon(&w);  // a desktop with a tray: its message is the notice
  Begin("/tmp/dl", "c.zip");
  fake.stat = DL_STATE_COMPLETE, fake.failCode = 0;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载完毕！ b.zip")) << "the display says it";
  EXPECT_FALSE(w.气球提示框1->window()->isVisible()) << "and no second notice beside the tray's";
}

// What the list window says belongs to its download and its moment: a failure's hint goes with
// the retry.
TEST_F(SessionTest, AHintGoesWhenItsDownloadMovesOn) {
  Begin();
  fake.stat = DL_STATE_CANCELLED, fake.failCode = 1014;
  PollProgress(w);
  EXPECT_TRUE(w.下载列表窗口->标签_提示->text().startsWith(QStringLiteral("下载失败：服务器拒绝连接")));
  ASSERT_TRUE(state.session.Retry(state.session.currentTask));
  fake.stat = DL_STATE_RUNNING, fake.failCode = 0;
  PollProgress(w);
  EXPECT_EQ(w.下载列表窗口->标签_提示->text(), QString()) << "retried: the failure is past";
}

}  // namespace

// Takes the desktop's "open this URL" in place of a file manager.
class UrlOpener : public QObject {
  Q_OBJECT
 public:
  QUrl opened;
 public slots:
  void open(const QUrl& url) { opened = url; }
};

namespace {

// A double-click on the status part opens the completed download's folder; a folder that
// cannot be opened is said so.
TEST_F(SessionTest, TheCompletedFolderOpensFromTheStatusBar) {
  const QString folder = QString::fromStdString((config.folder() / "下载").string());
  std::filesystem::create_directories(folder.toStdString());
  UrlOpener opener;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
  Begin(folder.toStdString());
  fake.stat = DL_STATE_COMPLETE, fake.percent = 1.0f;
  PollProgress(w);
  QTest::mouseDClick(w.状态条2->part(0), Qt::LeftButton);
  EXPECT_EQ(opener.opened, QUrl::fromLocalFile(folder));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

  opener.opened.clear();
  std::filesystem::remove(folder.toStdString());
  QTest::mouseDClick(w.状态条2->part(0), Qt::LeftButton);
  EXPECT_TRUE(opener.opened.isEmpty());
  EXPECT_TRUE(w.气球提示框1->window()->text().contains(QStringLiteral("无法打开目录"))) << "said so";
}

TEST_F(SessionTest, ReleaseListDoubleClickAndModeCaption) {
  catalogue::ReleaseRow release;
  release.version = "V3.2.1";
  release.programLink = "c5";
  release.torrentLink = "c6";
  AppendReleaseRow(w, release);
  QTreeWidgetItem* row = w.超级列表框->topLevelItem(0);
  row->setText(5, QStringLiteral("not what is downloaded"));  // the release as found, not its cells
  ReleaseListDoubleClicked(w);
  EXPECT_TRUE(fake.calls.empty()) << "no row chosen";
  w.超级列表框->setCurrentItem(row);
  ReleaseListDoubleClicked(w);
  EXPECT_EQ(w.编辑框_下载地址->text(), QStringLiteral("c5"));
  EXPECT_EQ(UnitsAt(fake.lastCreateRecord, createparams::szFilename), u"V3.2.1.zip");
  w.选择框_下载模式->click();
  EXPECT_EQ(w.选择框_下载模式->text(), QStringLiteral("BT"));
  ReleaseListDoubleClicked(w);
  EXPECT_EQ(w.编辑框_下载地址->text(), QStringLiteral("c6"));
  EXPECT_EQ(w.编辑框_保存文件名->text(), QStringLiteral("V3.2.1.torrent"));
  w.选择框_下载模式->click();
  EXPECT_EQ(w.选择框_下载模式->text(), QStringLiteral("文件"));
}

// The window with the real engine library against a local server.
class LiveSessionTest : public testing::Test {
 protected:
  ScratchConfig config;
  ProgramState state{DLCORE_DIR, "quorvel",
                     [](const std::string& l, const std::string& f) { FAIL() << l << " " << f; }};
  WiredWindow w{state};
  fs::path folder = config.folder() / "downloads";

  // The engine library as the build leaves it, not a deployed copy.
  void SetUp() override { state.session.engine = BindEngineCalls(state.libraries, DLCORE_DIR "/libdlcore.so"); }

  void Start(const std::string& url) {
    w.编辑框_下载地址->setText(QString::fromStdString(url));
    w.编辑框_保存文件名->setText(QStringLiteral("main.zip"));
    w.编辑框_保存目录->setText(QString::fromStdString(folder.string()));
    StartDownload(w);
  }
};

TEST_F(LiveSessionTest, DownloadCompletesAndTheDisplayEndsIdle) {
  const std::string content = PatternBytes(3 << 20, 21);
  FileServer server(content);
  StartEngine(w);
  Start(server.url());
  ASSERT_TRUE(WaitFor([&] { return !w.时钟_下载->isActive(); }, 20000));
  EXPECT_EQ(ReadAll(folder / "main.zip"), content);
  EXPECT_EQ(w.状态条2->partText(0), QStringLiteral("下载完毕！ main.zip"))
      << "complete at 100 %: reset, with a lasting sign";
  EXPECT_EQ(w.进度条1->value(), 0);
  EXPECT_FALSE(w.按钮_取消->isEnabled());
  StopEngine(w);
}

TEST_F(LiveSessionTest, CancelRemovesTheTemporaryFiles) {
  FileServer server(PatternBytes(4 << 20, 22));
  server.SetFaults({.bytesPerSecond = 512 << 10});
  StartEngine(w);
  Start(server.url());
  ASSERT_TRUE(WaitFor([&] { return w.状态条2->partText(0) == QStringLiteral("正在下载..."); }));
  CancelDownload(w);
  ASSERT_TRUE(WaitFor([&] { return !w.时钟_下载->isActive(); }));
  EXPECT_EQ(w.状态条2->partText(0), QString());
  EXPECT_FALSE(fs::exists(folder / "main.zip.part"));
  EXPECT_FALSE(fs::exists(folder / "main.zip.part.ctl"));
  EXPECT_FALSE(fs::exists(folder / "main.zip"));
  StopEngine(w);
}

}  // namespace

#include "downloadhandlers_test.moc"
