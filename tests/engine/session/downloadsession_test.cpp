#include "downloadsession.h"

#include <filesystem>
#include <fstream>
#include <map>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "../../fixtures/fakeengine.h"
#include "../../fixtures/files.h"
#include "../../fixtures/fileserver.h"
#include "../../fixtures/liveengine.h"
#include "../../fixtures/scratch.h"
#include "dlcore.h"
#include "recordlayout.h"
#include "utf8.h"

using namespace session;
using namespace records;
namespace fs = std::filesystem;

namespace {

class DownloadSessionTest : public testing::Test {
 protected:
  FakeEngine fake;
  DownloadSession s{fake.Calls()};
};

TEST_F(DownloadSessionTest, AStartReachesTheEngineInUtf16AndGoesOnDisplay) {
  EXPECT_FALSE(s.Start(u"http://dl.test/主程序.zip", u"主程序.zip", u"/home/u/Ł下载"));
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  const std::string& r = fake.lastCreateRecord;
  EXPECT_EQ(UnitsAt(r, createparams::szTaskUrl), u"http://dl.test/主程序.zip");
  EXPECT_EQ(UnitsAt(r, createparams::szSavePath), u"/home/u/Ł下载") << "no character is lost on the way";
  EXPECT_EQ(r[createparams::DisableAutoRename], 1);
  EXPECT_EQ(r[createparams::IsResume], 1);
  EXPECT_EQ(r[createparams::IsOnlyOriginal], 0);
  EXPECT_EQ(s.currentTask, reinterpret_cast<void*>(7));
  ASSERT_EQ(s.downloads.size(), 1u);
  EXPECT_EQ(s.downloads[0].folder, u"/home/u/Ł下载");
}

TEST_F(DownloadSessionTest, TextsTooLongForTheRecordNeverReachTheEngine) {
  EXPECT_EQ(s.Start(u"http://dl.test/a.zip", u"a.zip", std::u16string(300, u'd')),
            "下载失败：保存目录过长（最多 259 个字符），请选择较短的目录");
  EXPECT_EQ(s.Start(u"http://dl.test/a.zip", std::u16string(1000, u'9'), u"/tmp"),
            "下载失败：文件名过长（最多 259 个字符），请改短后再试");
  EXPECT_EQ(s.Start(std::u16string(3000, u'u'), u"a.zip", u"/tmp"), "下载失败：下载地址过长（最多 2083 个字符）");
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_FALSE(s.HasDownloads());
  session::EngineCalls refusing = fake.Calls();
  refusing.createTask = [](const void*) -> void* { return nullptr; };
  DownloadSession refused(refusing);
  EXPECT_EQ(refused.Start(u"http://dl.test/a.zip", u"a.zip", u"/tmp"), "下载失败：下载引擎未接受这个下载");
  EXPECT_FALSE(refused.HasDownloads());
}

TEST_F(DownloadSessionTest, TheTempFileBlockIsRefusedRatherThanShifted) {
  const std::string block = TempFileBlock(u"/home/u/Ł下载", u"主程序.zip");
  ASSERT_EQ(block.size(), createparams::kSize);
  EXPECT_EQ(UnitsAt(block, createparams::szFilename), u"主程序.zip");
  EXPECT_EQ(UnitsAt(block, createparams::szSavePath), u"/home/u/Ł下载");
  EXPECT_EQ(block[createparams::nReserved1], 5);
  EXPECT_EQ(block[createparams::reserved], 1);
  for (size_t i = createparams::szFilename + 2 * 8; i < createparams::szReserved0; ++i) ASSERT_EQ(block[i], 0);
  EXPECT_EQ(TempFileBlock(std::u16string(259, u'n'), u"x").size(), createparams::kSize);
  EXPECT_TRUE(TempFileBlock(std::u16string(260, u'n'), u"x").empty());
  EXPECT_FALSE(s.DeleteTempFiles(std::u16string(300, u'd'), u"x"));
  EXPECT_TRUE(fake.calls.empty()) << "no engine call for a block that was refused";
}

// The display follows the newest download; a cancel or an end hands it to the newest one
// still running; the end of the engine stops every one.
TEST_F(DownloadSessionTest, EveryStartedDownloadStaysReachable) {
  std::map<void*, int> statOf;
  int next = 100;
  std::vector<void*> stopped;
  session::EngineCalls calls = fake.Calls();
  calls.createTask = [&](const void*) { return reinterpret_cast<void*>(++next); };
  calls.stopTask = [&](void* t) { stopped.push_back(t); };
  calls.queryTaskInfoEx = [&, query = calls.queryTaskInfoEx](void* t, void* r) {
    fake.stat = statOf.count(t) ? statOf[t] : DL_STATE_RUNNING;
    return query(t, r);
  };
  DownloadSession many(calls);
  for (const char16_t* name : {u"release.zip", u"map.ndz", u"third.ndz"})
    ASSERT_FALSE(many.Start(u"http://x/a", name, u"/tmp/dl"));
  void* release = reinterpret_cast<void*>(101);
  void* map = reinterpret_cast<void*>(102);
  void* third = reinterpret_cast<void*>(103);
  EXPECT_EQ(many.currentTask, third);

  EXPECT_EQ(many.Cancel(u"/elsewhere", u"typed.zip"), AfterCancel::kFollowingNext);
  EXPECT_EQ(stopped, (std::vector<void*>{third}));
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szFilename), u"third.ndz") << "its own name, not the box's";
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szSavePath), u"/tmp/dl");
  EXPECT_EQ(many.currentTask, map);

  statOf[map] = DL_STATE_COMPLETE;
  auto p = many.Poll(u"/box");
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->ended);
  EXPECT_EQ(p->folder, u"/tmp/dl") << "the download's own folder";
  EXPECT_EQ(many.completedFolder, u"/tmp/dl");
  EXPECT_TRUE(many.FollowNext());
  EXPECT_EQ(many.currentTask, release);

  many.StopEngine();
  EXPECT_EQ(stopped, (std::vector<void*>{third, release})) << "the end stops every download still running";
  EXPECT_FALSE(many.HasDownloads());
  EXPECT_FALSE(many.FollowNext());
}

TEST_F(DownloadSessionTest, CancelWithoutADownloadAsksNothing) {
  EXPECT_EQ(s.Cancel(u"/tmp", u"a.zip"), AfterCancel::kNothingToCancel);
  EXPECT_TRUE(fake.calls.empty());
  // A handle the session did not start: its files are the boxes' folder and name.
  s.currentTask = reinterpret_cast<void*>(9);
  EXPECT_EQ(s.Cancel(u"/tmp/box", u"box.zip"), AfterCancel::kCancelled);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"stop", "delete", "deltemp"}));
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, createparams::szSavePath), u"/tmp/box");
}

TEST_F(DownloadSessionTest, PollTurnsTheAnswerIntoFigures) {
  EXPECT_FALSE(s.Poll(u"/tmp")) << "nothing on display";
  ASSERT_FALSE(s.Start(u"http://x/a", u"a.zip", u"/tmp"));
  fake.speed = 1023, fake.downloaded = 1572864, fake.total = 10485760, fake.percent = 0.5f;
  auto p = s.Poll(u"/tmp");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->stat, DL_STATE_RUNNING);
  EXPECT_EQ(p->name, u"3.2.1.zip");
  EXPECT_EQ(p->figures.speed, "即时速度：0 KB/S");
  EXPECT_EQ(p->figures.downloaded, "已下载：1.50 MB");
  EXPECT_EQ(p->figures.bar, 50);
  EXPECT_FALSE(p->ended);
  fake.stat = DL_STATE_CANCELLED, fake.failCode = 404;
  p = s.Poll(u"/tmp");
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->ended);
  EXPECT_EQ(p->failCode, 404);
  EXPECT_TRUE(s.completedFolder.empty()) << "only a completed download opens its folder";
  EXPECT_FALSE(s.HasDownloads());
  fake.answer = 0;
  EXPECT_FALSE(s.Poll(u"/tmp")) << "no answer from the engine";
}

TEST_F(LiveDownloadSessionTest, ADownloadCompletesAndAStoppedOneResumes) {
  const std::string content = PatternBytes(4 << 20, 31);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  const std::u16string folder = common::Utf8ToUtf16(scratch.folder().string());
  DownloadSession live(Calls());
  live.StartEngine();
  ASSERT_FALSE(live.Start(common::Utf8ToUtf16(server.url()), u"main.zip", folder));
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto p = live.Poll(folder);
        return p && p->figures.bar >= 50;
      },
      20000));
  live.StopEngine();  // what closing the window does
  EXPECT_TRUE(fs::exists(scratch.folder() / "main.zip.part"));
  server.SetFaults({});
  const size_t before = server.bytesServed();
  live.StartEngine();
  ASSERT_FALSE(live.Start(common::Utf8ToUtf16(server.url()), u"main.zip", folder));
  std::optional<Progress> last;
  ASSERT_TRUE(WaitUntil(
      [&] {
        last = live.Poll(folder);
        return last && last->ended;
      },
      20000));
  EXPECT_EQ(last->stat, DL_STATE_COMPLETE);
  EXPECT_EQ(live.completedFolder, folder);
  EXPECT_EQ(ReadAll(scratch.folder() / "main.zip"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() / 2 + (1 << 20)) << "the first half is not fetched again";
  live.StopEngine();
}

}  // namespace
