// The search and the map-data download in the window, with the real engine library, against
// the sample portal on 127.0.0.1.
#include "searchhandlers.h"
#include "../../fixtures/files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "../../fixtures/rawserver.h"
#include "../../fixtures/sampleportal.h"
#include "../testsupport.h"
#include "controls.h"
#include "downloadhandlers.h"
#include "downloadlisthandlers.h"
#include "downloadlistview.h"
#include "downloadtick.h"
#include "mainwindow.h"
#include "registryfile.h"
#include "settings.h"
#include "sizeprobe.h"

using namespace common;
using namespace core;
using namespace ui;

namespace fs = std::filesystem;

namespace {

class SearchTest : public testing::Test {
 protected:
  ScratchConfig config;
  SamplePortal portal;
  ProgramState state{DLCORE_DIR, "quorvel",
                     [](const std::string& l, const std::string& f) { FAIL() << l << " " << f; }};
  std::unique_ptr<WiredWindow> w;
  fs::path folder = config.folder() / "downloads";

  void SetUp() override {
    state.session.engine = BindEngineCalls(state.libraries, DLCORE_DIR "/libdlcore.so");  // as built, not deployed
    registry::WriteText(config.settingsFile(), "Quorvel\\门户", portal.host());
    registry::WriteText(config.settingsFile(), "Quorvel\\下载服务器", portal.host());
    registry::WriteText(config.settingsFile(), "Quorvel\\保存目录", folder.string());
    w = std::make_unique<WiredWindow>(state);
    LoadSettings(*w);
    StartEngine(*w);
    LoadDownloadList(*w);  // the list's tick, as at start
  }
  void TearDown() override {
    StoreDownloadList(*w);
    StopEngine(*w);
  }
  bool WaitForDownload() {
    return WaitFor([&] { return !w->时钟_下载->isActive(); }, 20000);
  }
};

TEST_F(SearchTest, ASearchAppendsTheReleaseRow) {
  w->编辑框_渠道设备号->setText(QStringLiteral("3261"));
  SearchReleases(*w);
  ASSERT_EQ(w->超级列表框->topLevelItemCount(), 1);
  QTreeWidgetItem* row = w->超级列表框->topLevelItem(0);
  const QString http = QString::fromStdString("http://" + portal.host());
  const QString want[10] = {
      QStringLiteral("1"),
      QStringLiteral("V3.2.1"),
      QStringLiteral("20200202"),
      QStringLiteral("356.2MB"),
      QString::fromStdString(http::FormatProbedSize(static_cast<long long>(
          SampleFileFor("/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent", portal.host()).size()))),
      http + QStringLiteral("/app/oem/20200202/3261/V3.2.1.zip"),
      http + QStringLiteral("/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent"),
      QStringLiteral("3m21j27 全国图资\r\n3m21j27_0e 东区图资\r\n"),
      QStringLiteral("NAVI_3M21J27_FULL"),
      http + QStringLiteral("/data/wp3m21j27/NAVI_3M21J27_FULL/DATA.zip")};
  for (int c = 0; c < 10; ++c) EXPECT_EQ(row->text(c), want[c]) << "column " << c;
  EXPECT_EQ(w->编辑框_版本->text(), QStringLiteral("V3.2.1 356.2MB"));
  EXPECT_FALSE(w->时钟_下载->isActive()) << "no download without the switch";
  EXPECT_TRUE(w->编辑框_下载地址->text().isEmpty());

  w->编辑框_渠道设备号->setText(QStringLiteral("8888"));  // the same release on a utf-8 page
  SearchReleases(*w);
  ASSERT_EQ(w->超级列表框->topLevelItemCount(), 2);
  EXPECT_EQ(w->超级列表框->topLevelItem(1)->text(0), QStringLiteral("2"));
  EXPECT_EQ(w->超级列表框->topLevelItem(1)->text(7), want[7]);

  w->编辑框_渠道设备号->setText(QStringLiteral("0000"));
  SearchReleases(*w);
  EXPECT_EQ(w->编辑框_版本->text(), QStringLiteral("查无结果！"));
  EXPECT_TRUE(w->气球提示框1->window()->text().contains(QStringLiteral("查无结果！"))) << "the user sees it";
  EXPECT_EQ(w->超级列表框->topLevelItemCount(), 2);
  state.servers.portal = "http://127.0.0.1:1";
  SearchReleases(*w);
  EXPECT_EQ(w->编辑框_版本->text(), QStringLiteral("查无结果！")) << "a failed request";
  EXPECT_TRUE(w->气球提示框1->window()->text().contains(QStringLiteral("搜索失败：711 发送请求失败!")))
      << w->气球提示框1->window()->text().toStdString();
  EXPECT_TRUE(w->气球提示框1->window()->text().contains(QStringLiteral("门户 127.0.0.1:1 由设置文件 ")))
      << "names the host and the settings value that chooses it";
  EXPECT_TRUE(w->按钮_渠道主程序搜索->isEnabled()) << "enabled again after the search";
}

// Closing the window while a search waits ends the search at once, and nothing starts after.
TEST_F(SearchTest, ClosingDuringASearchEndsItAndStartsNothing) {
  RawServer* self = nullptr;
  RawServer silent([&self](int, const std::string&) { self->Stall(std::chrono::milliseconds(20000)); });
  self = &silent;
  state.servers.portal = "http://127.0.0.1:" + std::to_string(silent.port());
  w->选择框_下载开关->setChecked(true);
  // Closing ends no emulator process: tests beside this one run "WinCE.exe" processes of their own.
  for (auto& step : w->shutdownSteps)
    if (std::string_view(step.name) == "EndEmulators") step.run = [] {};
  w->show();
  bool disabledWhileRunning = false;
  // A timer of the test's own: a single-shot one would delete its slot later, from inside the
  // search's own event pumping, which under load can be after the test (a leak to the sanitizer).
  QTimer closer;
  closer.setSingleShot(true);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    disabledWhileRunning = !w->按钮_渠道主程序搜索->isEnabled();
    w->close();
  });
  closer.start(300);
  QElapsedTimer clock;
  clock.start();
  SearchReleases(*w);
  EXPECT_LT(clock.elapsed(), 3000) << "not the request's 30 s";
  EXPECT_TRUE(disabledWhileRunning) << "the button is disabled while a search runs";
  EXPECT_TRUE(state.shuttingDown);
  EXPECT_TRUE(w->编辑框_下载地址->text().isEmpty());
  w->编辑框_下载地址->setText(QString::fromStdString("http://" + portal.host() + "/app/oem/20200202/3261/V3.2.1.zip"));
  w->编辑框_保存文件名->setText(QStringLiteral("late.zip"));
  StartDownload(*w);
  EXPECT_TRUE(state.session.rows().empty()) << "nothing starts after shut-down began";
  EXPECT_FALSE(fs::exists(folder / "late.zip.part"));
}

TEST_F(SearchTest, TheSwitchDownloadsTheReleaseInEitherMode) {
  w->编辑框_渠道设备号->setText(QStringLiteral("3261"));
  w->选择框_下载开关->setChecked(true);
  SearchReleases(*w);
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), SampleFileFor("/app/oem/20200202/3261/V3.2.1.zip"));
  w->选择框_下载模式->click();
  SearchReleases(*w);
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(ReadAll(folder / "V3.2.1.torrent"),
            SampleFileFor("/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent", portal.host()));
}

// A release archive downloaded in file mode is checked against its torrent in the background.
TEST_F(SearchTest, TheReleaseArchiveIsCheckedAgainstItsTorrent) {
  w->编辑框_渠道设备号->setText(QStringLiteral("3261"));
  w->选择框_下载开关->setChecked(true);
  SearchReleases(*w);
  ASSERT_TRUE(WaitForDownload());
  EXPECT_TRUE(WaitFor([&] { return w->状态条2->partText(1) == QStringLiteral("校验通过"); }, 10000))
      << w->状态条2->partText(1).toStdString();
  const session::ListedDownload* row = state.session.Find(state.session.currentTask);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->verdict, session::CheckVerdict::kPassed) << "the verdict is the download's own";
  // The same archive with a byte changed: the check says how many pieces are bad.
  {
    std::fstream archive(folder / "V3.2.1.zip", std::ios::in | std::ios::out | std::ios::binary);
    archive.seekp(100000);
    archive.put('\x55');
  }
  ui::CheckDownload(*w, row->id);  // the list window's 校验
  EXPECT_EQ(w->状态条2->partText(1), QStringLiteral("正在校验..."));
  EXPECT_TRUE(WaitFor([&] { return w->状态条2->partText(1) == QStringLiteral("校验失败：1 块损坏"); }, 10000))
      << w->状态条2->partText(1).toStdString();
  EXPECT_EQ(session::StateWords(*row), "完成，校验失败：1 块损坏");
  EXPECT_EQ(ui::HintFor(*w, *row), QStringLiteral("校验失败：1 块损坏\n坏块 6：字节 98304-114687"));
  // 修复 fetches that piece again from the release's own address, and checks once more.
  state.session.Repair(row->id);
  EXPECT_TRUE(WaitFor(
      [&] {
        ui::TickDownloads(*w, false);
        return row->verdict != session::CheckVerdict::kChecking;
      },
      10000));
  EXPECT_EQ(row->verdict, session::CheckVerdict::kPassed) << row->verdictText;
  EXPECT_EQ(row->verdictText, "修复完成（取回 1 块，16384 字节），校验通过");
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), SampleFileFor("/app/oem/20200202/3261/V3.2.1.zip"));
  // The next download's display starts without the verdict of this one.
  w->编辑框_下载地址->setText(QString::fromStdString("http://" + portal.host() + "/data/3m21j27/data_3m21j27/pt.ndz"));
  w->编辑框_保存文件名->setText(QStringLiteral("pt.ndz"));
  StartDownload(*w);
  EXPECT_EQ(w->状态条2->partText(1), QString());
}

TEST_F(SearchTest, AVersionFromThePageNeverLeavesTheSaveFolder) {
  w->编辑框_渠道设备号->setText(QStringLiteral("../../escape"));
  w->选择框_下载开关->setChecked(true);
  SearchReleases(*w);
  ASSERT_EQ(w->超级列表框->topLevelItemCount(), 1);
  EXPECT_EQ(w->编辑框_保存文件名->text(), QStringLiteral("V.._.._escape.zip"));
  ASSERT_TRUE(WaitForDownload());
  EXPECT_FALSE(fs::exists(folder.parent_path().parent_path() / "escape.zip"));
}

TEST_F(SearchTest, MapDataKindsAndTheirDownload) {
  DownloadMapData(*w);
  EXPECT_FALSE(w->时钟_下载->isActive()) << "nothing chosen: nothing happens";
  w->组合框_图资->setCurrentIndex(5);
  EXPECT_TRUE(w->编辑框_增量更新->isEnabled());
  w->编辑框_增量更新->setText(QStringLiteral("SP2"));
  w->组合框_图资->setCurrentIndex(22);
  EXPECT_FALSE(w->编辑框_增量更新->isEnabled());
  EXPECT_TRUE(w->编辑框_增量更新->text().isEmpty());
  w->组合框_图资->setCurrentIndex(1);
  w->编辑框_图资->setText(QStringLiteral("3M21J27"));
  DownloadMapData(*w);
  EXPECT_EQ(w->编辑框_下载地址->text().toStdString(),
            "http://" + portal.host() + "/data/3m21j27/data_3m21j27/3d_a1.ndz");
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(ReadAll(folder / "3d_a1.ndz"), SampleFileFor("/data/3m21j27/data_3m21j27/3d_a1.ndz"));
}

}  // namespace
