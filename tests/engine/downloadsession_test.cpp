#include "downloadsession.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "../app/testsupport.h"
#include "../fixtures/files.h"
#include "../fixtures/fileserver.h"
#include "controls.h"
#include "mainwindow.h"
#include "recordlayout.h"

namespace fs = std::filesystem;

namespace {

// What the engine double answers and what it was asked.
struct FakeEngine {
  int answer = 1;
  int stat = 3, failCode = 0;
  std::u16string name = u"3.2.1.zip";
  std::int32_t speed = 0;
  std::int64_t downloaded = 0, total = 0;
  float percent = 0;
  std::vector<std::string> calls;
  std::string lastCreateRecord, lastTempBlock;

  EngineCalls Calls() {
    EngineCalls e;
    e.init = [this] { calls.push_back("init"); return 1; };
    e.uninit = [this] { calls.push_back("uninit"); };
    e.createTask = [this](const void* r) {
      calls.push_back("create");
      lastCreateRecord.assign(static_cast<const char*>(r), createparams::kSize);
      return reinterpret_cast<void*>(7);
    };
    e.startTask = [this](void*) { calls.push_back("start"); };
    e.stopTask = [this](void*) { calls.push_back("stop"); };
    e.deleteTask = [this](void*) { calls.push_back("delete"); };
    e.delTempFile = [this](const void* b) {
      calls.push_back("deltemp");
      lastTempBlock.assign(static_cast<const char*>(b), createparams::kSize);
    };
    e.queryTaskInfoEx = [this](void*, void* record) {
      if (!answer) return 0;
      auto* b = static_cast<std::uint8_t*>(record);
      using namespace progressinfo;
      std::memcpy(b + progressinfo::stat, &stat, 4);
      std::memcpy(b + fail_code, &failCode, 4);
      std::memset(b + szFilename, 0, kNameBytes);
      std::memcpy(b + szFilename, name.data(), name.size() * 2);
      std::memcpy(b + nSpeed, &speed, 4);
      std::memcpy(b + nTotalDownload, &downloaded, 8);
      std::memcpy(b + nTotalSize, &total, 8);
      std::memcpy(b + fPercent, &percent, 4);
      return 1;
    };
    return e;
  }
};

std::u16string UnitsAt(const std::string& block, size_t offset) {
  std::u16string s;
  for (size_t i = offset; block[i] || block[i + 1]; i += 2) s += char16_t(std::uint8_t(block[i]) | std::uint8_t(block[i + 1]) << 8);
  return s;
}

class SessionTest : public testing::Test {
 protected:
  ScratchConfig config;
  ProgramState state{"/nowhere", "quorvel", [](const std::string&, const std::string&) {}};
  FakeEngine fake;
  MainWindow w{state};
  void SetUp() override {
    state.engine = fake.Calls();
    state.progressInfo.Build();
    state.currentTask = reinterpret_cast<void*>(7);
    SetTimerPeriod(w.时钟_下载, 100);
  }
  QString Part(StatusBar* bar, int part) { return bar->partText(part); }
};

TEST_F(SessionTest, FiguresOfARunningDownload) {
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
  fake.stat = 4, fake.percent = 1.0f, fake.downloaded = fake.total = 1 << 20;
  PollProgress(w);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_EQ(Part(w.状态条2, 0), QString()) << "the completion text goes with the reset";
  EXPECT_EQ(Part(w.状态条1, 0), QStringLiteral("即时速度："));
  EXPECT_EQ(w.进度条1->value(), 0);
  EXPECT_FALSE(w.按钮_取消->isEnabled());

  SetTimerPeriod(w.时钟_下载, 100);
  fake.percent = 0.995f;
  PollProgress(w);
  EXPECT_FALSE(w.时钟_下载->isActive());
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载完毕！"));
  EXPECT_EQ(w.进度条1->value(), 99);
}

TEST_F(SessionTest, StoppingPausedCancelledFailedAndUnknownStates) {
  fake.stat = 6, fake.percent = 0.3f;
  PollProgress(w);
  EXPECT_TRUE(w.时钟_下载->isActive()) << "a stop in progress keeps polling";
  EXPECT_EQ(Part(w.状态条2, 0), QString());
  EXPECT_EQ(w.进度条1->value(), 0);
  fake.stat = 2;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("暂停下载..."));
  EXPECT_EQ(w.进度条1->value(), 30);
  fake.stat = 9, fake.percent = 0.4f;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("暂停下载...")) << "an unknown state leaves the text";
  EXPECT_EQ(w.进度条1->value(), 40);
  fake.answer = 0, fake.percent = 0.9f;
  PollProgress(w);
  EXPECT_EQ(w.进度条1->value(), 40) << "a failed query changes nothing";
  EXPECT_TRUE(w.时钟_下载->isActive());

  fake.answer = 1, fake.stat = 1, fake.failCode = 0;
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
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载失败：服务器返回 404")) << "a failure says so";
  fake.failCode = 1003;
  PollProgress(w);
  EXPECT_EQ(Part(w.状态条2, 0), QStringLiteral("下载失败：磁盘空间不足"));
}

TEST_F(SessionTest, StartCancelAndTheTempFileBlock) {
  w.编辑框_下载地址->setText(QStringLiteral("http://dl.test/主程序.zip"));
  w.编辑框_保存文件名->setText(QStringLiteral("主程序.zip"));
  w.编辑框_保存目录->setText(QStringLiteral("/home/u/Ł下载"));
  SetTimerPeriod(w.时钟_下载, 0);
  w.按钮_取消->setEnabled(false);
  StartDownload(w);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  const std::string& r = fake.lastCreateRecord;
  EXPECT_EQ(UnitsAt(r, createparams::szTaskUrl), u"http://dl.test/主程序.zip");
  EXPECT_EQ(UnitsAt(r, createparams::szSavePath), u"/home/u/Ł下载") << "no character is lost on the way";
  EXPECT_EQ(r[createparams::DisableAutoRename], 1);
  EXPECT_EQ(r[createparams::IsResume], 1);
  EXPECT_EQ(r[createparams::IsOnlyOriginal], 0);
  EXPECT_EQ(w.时钟_下载->interval(), 100);
  EXPECT_TRUE(w.时钟_下载->isActive());
  EXPECT_TRUE(w.按钮_取消->isEnabled());
  EXPECT_EQ(state.currentTask, reinterpret_cast<void*>(7));

  fake.calls.clear();
  CancelDownload(w);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"stop", "delete", "deltemp"}));
  EXPECT_FALSE(w.按钮_取消->isEnabled());
  EXPECT_TRUE(w.时钟_下载->isActive()) << "cancel leaves the timer to the display";
  const std::string& b = fake.lastTempBlock;
  EXPECT_EQ(UnitsAt(b, createparams::szFilename), u"主程序.zip");
  EXPECT_EQ(UnitsAt(b, createparams::szSavePath), u"/home/u/Ł下载");
  EXPECT_EQ(b[createparams::nReserved1], 5);
  EXPECT_EQ(b[createparams::reserved], 1);
  for (size_t i = createparams::szFilename + 2 * 10; i < createparams::szReserved0; ++i) ASSERT_EQ(b[i], 0);

  EXPECT_TRUE(TempFileBlock(QString(259, u'n'), QStringLiteral("x")).size() == createparams::kSize);
  EXPECT_TRUE(TempFileBlock(QString(260, u'n'), QStringLiteral("x")).empty()) << "refused, never shifted";
  fake.calls.clear();
  EXPECT_FALSE(DeleteTempFiles(w, QString(300, u'd'), QStringLiteral("x")));
  EXPECT_TRUE(fake.calls.empty());

  state.currentTask = nullptr;
  CancelDownload(w);
  EXPECT_TRUE(fake.calls.empty()) << "no download yet: no engine call";
}

TEST_F(SessionTest, ReleaseListDoubleClickAndModeCaption) {
  auto* row = new QTreeWidgetItem(w.超级列表框);
  for (int i = 0; i < 10; ++i) row->setText(i, QStringLiteral("c%1").arg(i));
  row->setText(1, QStringLiteral("V3.2.1"));
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
  ProgramState state{DLCORE_DIR, "quorvel", [](const std::string& l, const std::string& f) { FAIL() << l << " " << f; }};
  MainWindow w{state};
  fs::path folder = config.folder() / "downloads";

  // The engine library as the build leaves it, not a deployed copy.
  void SetUp() override { state.engine = BindEngineCalls(state.libraries, DLCORE_DIR "/libdlcore.so"); }

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
  EXPECT_EQ(w.状态条2->partText(0), QString()) << "complete at 100 %: reset in the same tick";
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

TEST_F(LiveSessionTest, ClosingMidDownloadThenStartingAgainResumes) {
  const std::string content = PatternBytes(4 << 20, 23);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 512 << 10});
  StartEngine(w);
  Start(server.url());
  ASSERT_TRUE(WaitFor([&] { return w.进度条1->value() >= 50; }));
  StopEngine(w);  // what closing the window does
  server.SetFaults({});
  const size_t before = server.bytesServed();
  StartEngine(w);
  Start(server.url());
  ASSERT_TRUE(WaitFor([&] { return !w.时钟_下载->isActive(); }, 20000));
  EXPECT_EQ(ReadAll(folder / "main.zip"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() / 2 + (1 << 20)) << "the first half is not fetched again";
  StopEngine(w);
}

}  // namespace
