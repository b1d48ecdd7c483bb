// The engine through its C interface, against servers on 127.0.0.1.
#include "dlcore.h"
#include "../fixtures/files.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "../fixtures/fileserver.h"
#include "controlfile.h"
#include "recordlayout.h"
#include "taskrecord.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {


class DlcoreTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quorvel-dl-" + std::to_string(getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    // The engine starts with the first task (DL_CreateTask starts it), so that a child
    // forked before that runs an engine of its own.
    info_.Build();
  }
  void TearDown() override {
    DL_UnInit();
    fs::remove_all(folder_);
  }

  DLTask Create(const std::string& url, const std::string& name = "file.bin", bool replace = false, bool resume = true) {
    params_.Build(url, {}, {}, name, folder_.string(), false, replace, resume);
    return DL_CreateTask(params_.Address());
  }
  DLTask Download(const std::string& url, const std::string& name = "file.bin", bool replace = false) {
    DLTask t = Create(url, name, replace);
    DL_StartTask(t);
    return t;
  }
  // Polls until the task completes or fails (or `until` holds); the last state.
  int Wait(DLTask t, std::function<bool()> until = nullptr, milliseconds limit = milliseconds(20000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (DL_QueryTaskInfoEx(t, info_.Address())) {
        maxSources_ = std::max(maxSources_, info_.nSrcTotal());
        if (info_.stat() == 4 || info_.stat() == 1 || (until && until())) return info_.stat();
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return -1;
  }

  fs::path folder_;
  TaskCreateParams params_;
  TaskProgressInfo info_;
  int maxSources_ = 0;
};

TEST_F(DlcoreTest, DownloadsIntoANewFolderAndReportsProgress) {
  const std::string content = PatternBytes(3 << 20);
  FileServer server(content);
  folder_ /= "new/deeper";
  DLTask t = Download(server.url());
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(Wait(t), 4);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part.ctl"));
  EXPECT_EQ(info_.nTotalSize(), std::int64_t(content.size()));
  EXPECT_EQ(info_.nTotalDownload(), std::int64_t(content.size()));
  EXPECT_EQ(info_.fPercent(), 1.0f);
  EXPECT_EQ(info_.szFilename(), "file.bin");
  EXPECT_EQ(info_.fail_code(), 0);
}

TEST_F(DlcoreTest, ThrottledConnectionsAreMultipliedAndTheFileIsExact) {
  const std::string content = PatternBytes(6 << 20, 2);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 2 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t), 4);
  EXPECT_GT(maxSources_, 1) << "a per-connection limit is beaten by more connections";
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_LT(server.bytesServed(), content.size() + (1 << 20)) << "little is fetched twice";
}

TEST_F(DlcoreTest, ServerWithoutRangeOrLengthGetsOneStream) {
  const std::string content = PatternBytes(2 << 20, 3);
  FileServer server(content);
  server.SetFaults({.noRange = true, .noLength = true});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t), 4);
  EXPECT_EQ(maxSources_, 1);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_EQ(server.requests(), 1);
}

TEST_F(DlcoreTest, DroppedConnectionsAndWrongRangesStillGiveTheExactFile) {
  const std::string content = PatternBytes(4 << 20, 4);
  FileServer server(content);
  server.SetFaults({.dropFirst = 3, .dropAfter = 300000});
  ASSERT_EQ(Wait(Download(server.url())), 4);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);

  FileServer liar(content);
  liar.SetFaults({.wrongRange = true});
  ASSERT_EQ(Wait(Download(liar.url(), "second.bin")), 4);
  EXPECT_EQ(ReadAll(folder_ / "second.bin"), content) << "a 206 for another offset is never written";
}

TEST_F(DlcoreTest, HttpErrorsFailWithTheStatusAndNoFile) {
  FileServer server(PatternBytes(1000));
  server.SetFaults({.status = 404});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t), 1);
  EXPECT_EQ(info_.fail_code(), 404);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin"));
  DL_DelTempFile(params_.Address());
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
}

TEST_F(DlcoreTest, StopResumesWithoutFetchingAgain) {
  const std::string content = PatternBytes(4 << 20, 5);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (2 << 20); }), 3);
  DL_StopTask(t);
  ASSERT_TRUE(DL_QueryTaskInfoEx(t, info_.Address()));
  EXPECT_EQ(info_.stat(), 2);
  const std::int64_t kept = info_.nTotalDownload();
  EXPECT_TRUE(fs::exists(folder_ / "file.bin.part.ctl")) << "the stop flushed the state";
  server.SetFaults({});
  const size_t before = server.bytesServed();
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), 4);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  // Bytes in flight when a connection hands its range over are sent but never used.
  EXPECT_LE(server.bytesServed() - before, content.size() - size_t(kept) + (1 << 20));
}

TEST_F(DlcoreTest, AFileChangedBetweenRunsStartsOver) {
  const std::string v1 = PatternBytes(3 << 20, 6), v2 = PatternBytes(3 << 20, 7);
  FileServer server(v1, "\"v1\"");
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (1 << 20); }), 3);
  DL_StopTask(t);
  DL_DeleteTask(t);
  server.SetContent(v2, "\"v2\"");
  server.SetFaults({});
  DLTask again = Download(server.url());
  ASSERT_EQ(Wait(again), 4);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), v2) << "never a mix of the two";
}

TEST_F(DlcoreTest, HandlesDeletedUnknownAndBadRecords) {
  FileServer server(PatternBytes(4 << 20, 8));
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > 0; }), 3);
  DL_StopTask(t);
  DL_DeleteTask(t);
  ASSERT_TRUE(DL_QueryTaskInfoEx(t, info_.Address()));
  EXPECT_EQ(info_.stat(), 1) << "a deleted task reads as cancelled";
  EXPECT_EQ(info_.fail_code(), 0);
  EXPECT_TRUE(fs::exists(folder_ / "file.bin.part"));
  DL_DelTempFile(params_.Address());
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part.ctl"));

  EXPECT_EQ(DL_QueryTaskInfoEx(reinterpret_cast<DLTask>(424242), info_.Address()), 0);
  DL_StopTask(reinterpret_cast<DLTask>(424242));  // nothing happens
  EXPECT_EQ(DL_CreateTask(nullptr), nullptr);

  std::vector<std::uint8_t> garbage(createparams::kCapacity, 0xFF);
  DLTask bad = DL_CreateTask(garbage.data());
  DL_StartTask(bad);
  ASSERT_TRUE(DL_QueryTaskInfoEx(bad, info_.Address()));
  EXPECT_EQ(info_.stat(), 1);
  EXPECT_EQ(info_.fail_code(), 1005);
  DLTask ftp = Create("ftp://127.0.0.1/x");
  ASSERT_TRUE(DL_QueryTaskInfoEx(ftp, info_.Address()));
  EXPECT_EQ(info_.fail_code(), 1005);
}

TEST_F(DlcoreTest, ExistingFilesAreRenamedAroundOrReplaced) {
  const std::string content = PatternBytes(100000, 9);
  FileServer server(content);
  fs::create_directories(folder_);
  std::ofstream(folder_ / "map.zip") << "old";
  ASSERT_EQ(Wait(Download(server.url(), "map.zip")), 4);
  EXPECT_EQ(info_.szFilename(), "map(1).zip");
  EXPECT_EQ(ReadAll(folder_ / "map.zip"), "old");
  EXPECT_EQ(ReadAll(folder_ / "map(1).zip"), content);
  ASSERT_EQ(Wait(Download(server.url(), "map.zip", true)), 4);
  EXPECT_EQ(info_.szFilename(), "map.zip");
  EXPECT_EQ(ReadAll(folder_ / "map.zip"), content);
  DL_DelTempFile(params_.Address());
  EXPECT_TRUE(fs::exists(folder_ / "map.zip")) << "never a completed file";
}

TEST_F(DlcoreTest, UnusableFolderAndSecondTaskOnOneFileFail) {
  FileServer server(PatternBytes(2 << 20, 10));
  fs::create_directories(folder_);
  std::ofstream(folder_ / "plainfile") << "x";
  const fs::path saved = folder_;
  folder_ /= "plainfile/sub";
  ASSERT_EQ(Wait(Download(server.url())), 1);
  EXPECT_EQ(info_.fail_code(), 1004);

  folder_ = saved;
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask first = Download(server.url());
  ASSERT_EQ(Wait(first, [&] { return info_.stat() == 3; }), 3);
  DLTask second = Download(server.url());
  ASSERT_EQ(Wait(second), 1);
  EXPECT_EQ(info_.fail_code(), 1007);
}

// A child downloads and is killed with SIGKILL mid-transfer; the next run resumes from its
// state file and fetches little again.
TEST_F(DlcoreTest, ResumesAfterKillNine) {
  const std::string content = PatternBytes(6 << 20, 11);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 128 << 10});
  fs::create_directories(folder_);
  const fs::path control = folder_ / "file.bin.part.ctl";
  pid_t child = fork();
  if (child == 0) {
    Download(server.url());
    std::this_thread::sleep_for(std::chrono::seconds(30));
    _exit(0);
  }
  std::int64_t claimed = 0;
  for (int i = 0; i < 400 && claimed < (3 << 20); ++i) {
    std::this_thread::sleep_for(milliseconds(25));
    if (auto state = ReadControlFile(control.string())) claimed = state->done.Covered();
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_GE(claimed, 3 << 20) << "the state file records progress while the transfer runs";
  server.SetFaults({});
  const size_t before = server.bytesServed();
  ASSERT_EQ(Wait(Download(server.url())), 4);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  // Bytes in flight when a connection hands its range over are sent but never used.
  EXPECT_LE(server.bytesServed() - before, content.size() - size_t(claimed) + (1 << 20));
}

// On a 1 MiB file system the download fails as "disk full" before filling it with a file
// that claims to be complete.
TEST_F(DlcoreTest, FullDiskFailsWithItsOwnCode) {
  FileServer server(PatternBytes(4 << 20, 12));
  fs::create_directories(folder_);
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=1m") != 0)
      _exit(77);
    DLTask t = Download(server.url());
    int stat = Wait(t);
    bool ok = stat == 1 && info_.fail_code() == 1003 && !fs::exists(folder_ / "file.bin");
    DL_UnInit();
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private tmpfs on this machine";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
