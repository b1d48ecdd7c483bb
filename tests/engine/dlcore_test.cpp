// The engine through its C interface, against servers on 127.0.0.1.
#include "dlcore.h"
#include "../fixtures/files.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../fixtures/fileserver.h"
#include "../fixtures/norename.h"
#include "controlfile.h"
#include "dlcorefixture.h"
#include "donerecord.h"
#include "platform/fileio.h"
#include "recordlayout.h"
#include "taskrecord.h"

using namespace dlcore;
using namespace records;

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

using namespace dlcore_fixture;

TEST_F(DlcoreTest, DownloadsIntoANewFolderAndReportsProgress) {
  const std::string content = PatternBytes(3 << 20);
  FileServer server(content);
  folder_ /= "new/deeper";
  DLTask t = Download(server.url());
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
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
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_GT(maxSources_, 1) << "a per-connection limit is beaten by more connections";
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_LT(server.bytesServed(), content.size() + (1 << 20)) << "little is fetched twice";
}

TEST_F(DlcoreTest, ServerWithoutRangeOrLengthGetsOneStream) {
  const std::string content = PatternBytes(2 << 20, 3);
  FileServer server(content);
  server.SetFaults({.noRange = true, .noLength = true});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(maxSources_, 1);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_EQ(server.requests(), 1);
}

TEST_F(DlcoreTest, DroppedConnectionsAndWrongRangesStillGiveTheExactFile) {
  const std::string content = PatternBytes(4 << 20, 4);
  FileServer server(content);
  server.SetFaults({.dropFirst = 3, .dropAfter = 300000});
  ASSERT_EQ(Wait(Download(server.url())), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);

  FileServer liar(content);
  liar.SetFaults({.wrongRange = true});
  ASSERT_EQ(Wait(Download(liar.url(), "second.bin")), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "second.bin"), content) << "a 206 for another offset is never written";
}

TEST_F(DlcoreTest, HttpErrorsFailWithTheStatusAndNoFile) {
  FileServer server(PatternBytes(1000));
  server.SetFaults({.status = 404});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), 404);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin"));
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part")) << "no data file before an answer was judged good";
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part.ctl"));
}

TEST_F(DlcoreTest, StopResumesWithoutFetchingAgain) {
  const std::string content = PatternBytes(4 << 20, 5);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (2 << 20); }), DL_STATE_RUNNING);
  DL_StopTask(t);
  ASSERT_TRUE(DL_QueryTaskInfoEx(t, info_.Address()));
  EXPECT_TRUE(info_.stat() == DL_STATE_STOPPING || info_.stat() == DL_STATE_STOPPED)
      << "the stop returns at once, the task stopping";
  ASSERT_EQ(Wait(t, [&] { return info_.stat() == DL_STATE_STOPPED; }), DL_STATE_STOPPED);
  const std::int64_t kept = info_.nTotalDownload();
  EXPECT_TRUE(fs::exists(folder_ / "file.bin.part.ctl")) << "the stop flushed the state";
  server.SetFaults({});
  const size_t before = server.bytesServed();
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  // Bytes in flight when a connection hands its range over are sent but never used.
  EXPECT_LE(server.bytesServed() - before, content.size() - size_t(kept) + (1 << 20));
}

// Once a stop is asked for the task never reads "running" again, even while the engine thread
// still reports the data that was on its way: a caller that waits for the stop ends its wait on
// the first answer that is not "stopping".
TEST_F(DlcoreTest, AfterAStopTheTaskNeverReadsRunning) {
  const std::string content = PatternBytes(64 << 20, 47);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  // Several tasks: while the engine thread is busy with one, the others report their data. A
  // task that completes on a fast machine leaves the rounds.
  std::vector<DLTask> tasks;
  for (int i = 0; i < 4; ++i) tasks.push_back(Download(server.url(), "file" + std::to_string(i) + ".bin"));
  int runningAfterStop = 0, stops = 0;
  for (int round = 0; round < 20 && !tasks.empty(); ++round) {
    std::erase_if(tasks, [&](DLTask t) {
      return Wait(t, [&] { return info_.stat() == DL_STATE_RUNNING && info_.nTotalDownload() > 0; }) !=
             DL_STATE_RUNNING;
    });
    std::this_thread::sleep_for(milliseconds(30));
    for (DLTask t : tasks) DL_StopTask(t);
    for (DLTask t : tasks) {
      ++stops;
      for (int reads = 0; reads < 20000; ++reads) {
        ASSERT_TRUE(DL_QueryTaskInfoEx(t, info_.Address()));
        if (info_.stat() == DL_STATE_RUNNING) ++runningAfterStop;
        if (info_.stat() == DL_STATE_STOPPED || info_.stat() == DL_STATE_COMPLETE) break;
      }
    }
    for (DLTask t : tasks) {
      const int stat = Wait(t, [&] { return info_.stat() == DL_STATE_STOPPED; });
      ASSERT_TRUE(stat == DL_STATE_STOPPED || stat == DL_STATE_COMPLETE) << stat;
      DL_StartTask(t);
    }
  }
  EXPECT_EQ(runningAfterStop, 0);
  EXPECT_GE(stops, 20) << "the rounds stopped running tasks";
  for (DLTask t : tasks) DL_StopTask(t);
}

// A start right after a stop, while the stop's state is still on its way to the disk, waits
// for it and resumes from it.
TEST_F(DlcoreTest, AStartRightAfterAStopResumes) {
  const std::string content = PatternBytes(4 << 20, 41);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (2 << 20); }), DL_STATE_RUNNING);
  DL_StopTask(t);
  DL_StartTask(t);
  server.SetFaults({});
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part.ctl")) << "no state file beside the complete one";
  EXPECT_LT(server.bytesServed(), content.size() + (2 << 20)) << "resumed, not fetched again";
}

TEST_F(DlcoreTest, AFileChangedBetweenRunsStartsOver) {
  const std::string v1 = PatternBytes(3 << 20, 6), v2 = PatternBytes(3 << 20, 7);
  FileServer server(v1, "\"v1\"");
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (1 << 20); }), DL_STATE_RUNNING);
  DL_StopTask(t);
  DL_DeleteTask(t);
  server.SetContent(v2, "\"v2\"");
  server.SetFaults({});
  DLTask again = Download(server.url());
  ASSERT_EQ(Wait(again), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), v2) << "never a mix of the two";
}

// A bare 416 to a resume is no proof that the file changed: the whole answer says it did not, so
// the data on disk stays; a server that keeps answering so fails the task with 416, the data
// still kept for a later resume.
TEST_F(DlcoreTest, ABare416OnResumeKeepsThePartial) {
  const std::string content = PatternBytes(3 << 20, 9);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_NO_FATAL_FAILURE(StopPastOneMiB(t));
  DL_DeleteTask(t);
  server.SetFaults({.bytesPerSecond = 1 << 20, .bare416 = 1});  // paced: the recheck's answer stops early
  const size_t before = server.bytesServed();
  DLTask again = Download(server.url());
  ASSERT_EQ(Wait(again), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() - (512 << 10)) << "resumed, not fetched again from zero";

  fs::remove(folder_ / "file.bin");
  server.SetFaults({.bytesPerSecond = 1 << 20});
  t = Download(server.url());
  ASSERT_NO_FATAL_FAILURE(StopPastOneMiB(t));
  DL_DeleteTask(t);
  server.SetFaults({.bare416 = 1000});
  again = Download(server.url());
  ASSERT_EQ(Wait(again, nullptr, milliseconds(60000)), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), 416);
  EXPECT_GT(fs::file_size(folder_ / "file.bin.part"), 0u) << "the partial data stays";
  EXPECT_TRUE(fs::exists(folder_ / "file.bin.part.ctl"));
}

// Names planted in the save folder lead nowhere else: a link at the data file's name, to a file
// outside, is refused and the outside file stays as it was; a FIFO or a link at the state
// file's temporary name is put aside and the download completes.
TEST_F(DlcoreTest, PlantedNamesInTheFolderLeadNowhereElse) {
  const std::string content = PatternBytes(1 << 20, 10);
  FileServer server(content);
  fs::create_directories(folder_);
  const fs::path outside = folder_.string() + "-outside";
  WriteFile(outside, "keep");
  const fs::path part = folder_ / "file.bin.part", temp = folder_ / "file.bin.part.ctl.tmp";
  for (bool hardLink : {false, true}) {
    if (hardLink)
      fs::create_hard_link(outside, part);
    else
      fs::create_symlink(outside, part);
    const DLTask t = Download(server.url());
    ASSERT_EQ(Wait(t), DL_STATE_CANCELLED) << (hardLink ? "a hard link" : "a symbolic link");
    EXPECT_EQ(info_.fail_code(), DL_FAIL_FOLDER);
    EXPECT_EQ(ReadAll(outside), "keep") << "never written through";
    fs::remove(part);
  }
  ASSERT_EQ(mkfifo(temp.c_str(), 0600), 0);
  ASSERT_EQ(Wait(Download(server.url())), DL_STATE_COMPLETE) << "a FIFO at the temporary name: no wait";
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  fs::remove(folder_ / "file.bin");
  fs::create_symlink(outside, temp);
  ASSERT_EQ(Wait(Download(server.url())), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(outside), "keep");
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  fs::remove(outside);
}

TEST_F(DlcoreTest, HandlesDeletedUnknownAndBadRecords) {
  FileServer server(PatternBytes(4 << 20, 8));
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > 0; }), DL_STATE_RUNNING);
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
  EXPECT_EQ(info_.stat(), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_BAD_TASK);
  DLTask ftp = Create("ftp://127.0.0.1/x");
  ASSERT_TRUE(DL_QueryTaskInfoEx(ftp, info_.Address()));
  EXPECT_EQ(info_.fail_code(), DL_FAIL_BAD_TASK);
}

// A name that on Windows leaves the folder, opens a stream, names another file or a device is
// refused on every system, before anything is written.
TEST_F(DlcoreTest, NamesWindowsWouldMisreadAreRefused) {
  FileServer server(PatternBytes(1000, 4));
  for (const char* name : {"..\\..\\x.bin", "a:b.bin", "trail. ", "NUL", "com1.ndz", "a|b"}) {
    ASSERT_EQ(Wait(Download(server.url(), name)), DL_STATE_CANCELLED) << name;
    EXPECT_EQ(info_.fail_code(), DL_FAIL_BAD_TASK) << name;
  }
  EXPECT_EQ(server.requests(), 0);
  EXPECT_TRUE(!fs::exists(folder_) || fs::is_empty(folder_));
}

TEST_F(DlcoreTest, ExistingFilesAreRenamedAroundOrReplaced) {
  const std::string content = PatternBytes(100000, 9);
  FileServer server(content);
  fs::create_directories(folder_);
  std::ofstream(folder_ / "map.zip") << "old";
  ASSERT_EQ(Wait(Download(server.url(), "map.zip")), DL_STATE_COMPLETE);
  EXPECT_EQ(info_.szFilename(), "map(1).zip");
  EXPECT_EQ(ReadAll(folder_ / "map.zip"), "old");
  EXPECT_EQ(ReadAll(folder_ / "map(1).zip"), content);
  ASSERT_EQ(Wait(Download(server.url(), "map.zip", true)), DL_STATE_COMPLETE);
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
  ASSERT_EQ(Wait(Download(server.url())), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_FOLDER);

  folder_ = saved;
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask first = Download(server.url());
  ASSERT_EQ(Wait(first, [&] { return info_.stat() == DL_STATE_RUNNING; }), DL_STATE_RUNNING);
  DLTask second = Download(server.url());
  ASSERT_EQ(Wait(second), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_TARGET_BUSY);
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
  ASSERT_EQ(Wait(Download(server.url())), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  // Bytes in flight when a connection hands its range over are sent but never used.
  EXPECT_LE(server.bytesServed() - before, content.size() - size_t(claimed) + (1 << 20));
}

// A captive portal between two runs answers with its login page: the partial data stays,
// the task fails saying the server answered with something else, and a later run resumes.
TEST_F(DlcoreTest, ALoginPageNeverReplacesTheDownload) {
  const std::string content = PatternBytes(4 << 20, 13);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_NO_FATAL_FAILURE(StopPastOneMiB(t));
  const auto kept = fs::file_size(folder_ / "file.bin.part");
  server.SetFaults({.loginPage = true});
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_FOREIGN);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin"));
  ASSERT_TRUE(fs::exists(folder_ / "file.bin.part"));
  EXPECT_EQ(fs::file_size(folder_ / "file.bin.part"), kept);
  auto state = ReadControlFile((folder_ / "file.bin.part.ctl").string());
  ASSERT_TRUE(state);
  EXPECT_GT(state->done.Covered(), 1 << 20) << "the data on disk is still claimed";
  server.SetFaults({});
  const size_t before = server.bytesServed();
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_LE(server.bytesServed() - before, content.size() - (1 << 20) + (1 << 20));
}

// A package (IsOnlyOriginal) is never a page: a captive portal's 200 fails the task at once
// with words of its own, the old file of the name and the partial data untouched. Any other
// file may be a page.
TEST_F(DlcoreTest, ACaptivePageIsNeverTakenForAPackage) {
  const std::string content = PatternBytes(4 << 20, 14);
  FileServer server(content);
  server.SetFaults({.loginPage = true});
  fs::create_directories(folder_);
  std::ofstream(folder_ / "pro.ndz") << "the old version";
  DLTask fresh = Create(server.url(), "pro.ndz", true, true, true);
  DL_StartTask(fresh);
  ASSERT_EQ(Wait(fresh, nullptr, milliseconds(5000)), DL_STATE_CANCELLED) << "at once, not after retries";
  EXPECT_EQ(info_.fail_code(), DL_FAIL_PAGE);
  EXPECT_EQ(ReadAll(folder_ / "pro.ndz"), "the old version");
  EXPECT_FALSE(fs::exists(folder_ / "pro.ndz.part"));

  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Create(server.url(), "pro.ndz", true, true, true);
  DL_StartTask(t);
  ASSERT_NO_FATAL_FAILURE(StopPastOneMiB(t));
  const auto kept = fs::file_size(folder_ / "pro.ndz.part");
  server.SetFaults({.loginPage = true});
  DL_StartTask(t);
  ASSERT_EQ(Wait(t, nullptr, milliseconds(5000)), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_PAGE);
  EXPECT_EQ(fs::file_size(folder_ / "pro.ndz.part"), kept);
  EXPECT_EQ(ReadAll(folder_ / "pro.ndz"), "the old version");

  ASSERT_EQ(Wait(Download(server.url(), "page.html", true)), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "page.html"), "<html><body>Please log in to the hotel network.</body></html>");
}

// A completed package leaves the record a later run proves it by; any other download of the
// name takes the old record away, so that it never stands for another file.
TEST_F(DlcoreTest, ACompletedPackageLeavesItsRecord) {
  const std::string content = PatternBytes(100000, 15);
  FileServer server(content);
  DLTask t = Create(server.url("pro.ndz"), "pro.ndz", true, true, true);
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  const auto record = records::ReadDoneRecord(folder_.string(), "pro.ndz");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->url, server.url("pro.ndz"));
  EXPECT_EQ(record->total, std::int64_t(content.size()));
  EXPECT_EQ(record->etag, "\"v1\"");
  const auto facts = platform::FactsOfName((folder_ / "pro.ndz").string());
  ASSERT_TRUE(facts);
  EXPECT_EQ(record->modifiedNs, facts->modifiedNs);
  ASSERT_EQ(Wait(Download(server.url("pro.ndz"), "pro.ndz", true)), DL_STATE_COMPLETE);
  EXPECT_FALSE(fs::exists(records::DoneRecordPath(folder_.string(), "pro.ndz")));
}

TEST_F(DlcoreTest, ConflictingLengthsAreNotTheFile) {
  RawServer server([](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 20\r\n\r\n0123456789");
  });
  ASSERT_EQ(Wait(Download(server.url("/x.bin"))), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_FOREIGN);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin"));
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
}

// A refusal comes back on every try: the task fails at once with words of its own, not after
// five tries as a line that dropped.
TEST_F(DlcoreTest, RefusalsFailAtOnceWithTheirOwnCodes) {
  RawServer redirect([](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
  });
  ASSERT_EQ(Wait(Download(redirect.url("/x.bin"))), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_REDIRECT);
  EXPECT_EQ(redirect.requests().size(), 1u) << "not tried again";

  RawServer notHttp([](int fd, const std::string&) { RawServer::Send(fd, "SSH-2.0-OpenSSH_9.2\r\n\r\n"); });
  ASSERT_EQ(Wait(Download(notHttp.url("/y.bin"), "y.bin")), DL_STATE_CANCELLED);
  EXPECT_EQ(info_.fail_code(), DL_FAIL_PROTOCOL);
  EXPECT_EQ(notHttp.requests().size(), 1u);
  EXPECT_FALSE(fs::exists(folder_ / "y.bin.part"));
}

// The save folder deleted under a running task is noticed at the next checkpoint.
TEST_F(DlcoreTest, ADeletedSaveFolderFailsAtOnce) {
  FileServer server(PatternBytes(8 << 20, 14));
  server.SetFaults({.bytesPerSecond = 512 << 10});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > 0; }), DL_STATE_RUNNING);
  fs::remove_all(folder_);
  ASSERT_EQ(Wait(t, nullptr, milliseconds(5000)), DL_STATE_CANCELLED)
      << "not after writing the whole file into nowhere";
  EXPECT_EQ(info_.fail_code(), DL_FAIL_FOLDER);
}

// A stopped task keeps its data, not the room reserved for the rest of the file.
TEST_F(DlcoreTest, StopGivesBackTheReservedSpace) {
  const std::string content = PatternBytes(64 << 20, 15);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 2 << 20});
  DLTask t = Download(server.url());
  ASSERT_NO_FATAL_FAILURE(StopPastOneMiB(t));
  struct stat st {};
  ASSERT_EQ(stat((folder_ / "file.bin.part").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64 << 20) << "the size stays for the resume";
  EXPECT_LT(std::int64_t(st.st_blocks) * 512, 32 << 20) << "but not the blocks of the missing bytes";
  server.SetFaults({});
  DL_StartTask(t);
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
}

// Names that the file system refuses fail as bad names, at once and leaving nothing.
TEST_F(DlcoreTest, NamesTooLongFailAsBadNames) {
  FileServer server(PatternBytes(1000, 16));
  std::string chinese;
  for (int i = 0; i < 90; ++i) chinese += "\xE5\x9C\xB0";  // 270 bytes
  for (const std::string& name : {std::string(243, 'a'), chinese}) {
    ASSERT_EQ(Wait(Download(server.url(), name)), DL_STATE_CANCELLED);
    EXPECT_EQ(info_.fail_code(), DL_FAIL_BAD_NAME) << name.size();
  }
  EXPECT_EQ(server.requests(), 0) << "nothing was asked for";
  ASSERT_EQ(Wait(Download(server.url(), std::string(242, 'a'))), DL_STATE_COMPLETE) << "the longest name that fits";
}

// A second process that downloads into the same file is answered at once and touches nothing.
// The other process is dlget on the same engine, started afresh: a fork of this threaded test
// could stick on a lock that another thread held at fork time.
TEST_F(DlcoreTest, OneDownloadPerTargetAcrossProcesses) {
  const std::string content = PatternBytes(4 << 20, 17);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  fs::create_directories(folder_);
  std::string program = DLGET_PATH, url = server.url(), option = "-o", folder = folder_.string();
  char* argv[] = {program.data(), url.data(), option.data(), folder.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);
  for (int i = 0; i < 400 && !fs::exists(folder_ / "file.bin.part.ctl"); ++i)
    std::this_thread::sleep_for(milliseconds(20));
  const int stat = Wait(Download(server.url()));
  const int code = info_.fail_code();
  const int status = WaitForChild(child);
  ASSERT_NE(status, -1) << "dlget did not end";
  ASSERT_EQ(stat, DL_STATE_CANCELLED);
  EXPECT_EQ(code, DL_FAIL_TARGET_BUSY);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
  EXPECT_FALSE(fs::exists(folder_ / "file.bin.part.ctl")) << "nothing stale beside the complete file";
}

// After DL_UnInit every call does nothing; handles of a later engine never repeat old ones;
// calls racing DL_UnInit never touch a destroyed engine (the sanitizer build watches).
TEST_F(DlcoreTest, TheInterfaceAfterUnInit) {
  FileServer server(PatternBytes(1 << 20, 18));
  server.SetFaults({.bytesPerSecond = 256 << 10});
  DLTask old = Download(server.url());
  std::atomic<bool> stop{false};
  std::thread racer([&] {
    TaskProgressInfo info;
    info.Build();
    while (!stop) {
      DL_QueryTaskInfoEx(old, info.Address());
      DL_StartTask(old);
    }
  });
  std::this_thread::sleep_for(milliseconds(100));
  DL_UnInit();
  stop = true;
  racer.join();
  EXPECT_EQ(DL_QueryTaskInfoEx(old, info_.Address()), 0);
  params_.Build(server.url(), {}, {}, "other.bin", folder_.string(), false, false, true);
  EXPECT_EQ(DL_CreateTask(params_.Address()), nullptr) << "no silent restart of the engine";
  DL_StopTask(old);
  DL_DeleteTask(old);
  DL_Init();
  DLTask fresh = DL_CreateTask(params_.Address());
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, old) << "an old handle never reaches a new task";
  EXPECT_EQ(DL_QueryTaskInfoEx(old, info_.Address()), 0);
}

// An engine that cannot start (no room for its threads) throws inside the library: the calls
// answer as for no engine, and the caller's process goes on.
TEST_F(DlcoreTest, NoExceptionCrossesTheInterface) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's shadow memory does not run under an address-space limit";
#else
  DL_UnInit();  // the child starts an engine of its own
  params_.Build("http://127.0.0.1:9/x", {}, {}, "file.bin", folder_.string());
  const pid_t child = fork();
  if (child == 0) {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (2 << 20);  // no thread's stack fits
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
    // Larger than the stacks glibc keeps from the parent's ended threads, which it would reuse.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, size_t(256) << 20);
    pthread_setattr_default_np(&attributes);
    const bool answered = DL_Init() == 0 && DL_CreateTask(params_.Address()) == nullptr &&
                          DL_QueryTaskInfoEx(nullptr, info_.Address()) == 0;
    DL_SetDownloadLimit(1000);
    _exit(answered ? 0 : 1);
  }
  const int status = WaitForChild(child);
  ASSERT_TRUE(WIFEXITED(status)) << "the library ended the process (signal " << WTERMSIG(status) << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a call did not answer as for no engine";
#endif
}

// A file replaced on the server, by one without validators or one whose validators do not
// vouch for its bytes (a weak ETag, a Last-Modified of the same second): every later request
// starts with bytes an earlier one brought, so the download ends as one whole version of the
// file or fails; it never completes as a mix. (A strong ETag is sent back with If-Match: a
// new one is refused with 412.)
TEST_F(DlcoreTest, AFileChangedOnTheServerNeverEndsAsAMix) {
  const std::string v1 = PatternBytes(8 << 20, 31), v2 = PatternBytes(8 << 20, 32);
  auto whole = [&](const std::string& got) {
    size_t fromV1 = 0, fromV2 = 0;
    for (size_t i = 0; i < got.size(); i += 4096)
      fromV1 += got.compare(i, 4096, v1, i, 4096) == 0, fromV2 += got.compare(i, 4096, v2, i, 4096) == 0;
    return "blocks of the old version " + std::to_string(fromV1) + ", of the new " + std::to_string(fromV2);
  };
  for (bool validators : {false, true}) {
    // Replaced while several connections run: the answers begun before the change carry the
    // old version, later ones the new; either whole version may be the outcome.
    FileServer server(v1, "W/\"same\"");
    server.SetFaults({.noValidators = !validators, .bytesPerSecond = 1 << 20});
    const std::string name = validators ? "with.bin" : "without.bin";
    DLTask t = Download(server.url(), name);
    // (Usually with several connections; a machine too busy to show the ramp a gain keeps one,
    // and the outcome must be whole all the same.)
    ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (3 << 19); }), DL_STATE_RUNNING) << validators;
    server.SetContent(v2, "W/\"same\"");
    int stat = Wait(t, nullptr, milliseconds(60000));
    ASSERT_TRUE(stat == DL_STATE_COMPLETE || (stat == DL_STATE_CANCELLED && info_.fail_code() == DL_FAIL_UNSTABLE))
        << "state " << stat << " code " << info_.fail_code();
    if (stat == DL_STATE_COMPLETE) {
      const std::string got = ReadAll(folder_ / info_.szFilename());
      EXPECT_TRUE(got == v1 || got == v2) << whole(got);
    }

    // Replaced between a stop and the resume, the validators (if any) unchanged: the resumed
    // requests bring the new version, and the file starts over as the new version.
    server.SetContent(v1, "W/\"same\"");
    server.SetFaults({.noValidators = !validators, .bytesPerSecond = 1 << 20});
    DLTask again = Download(server.url(), "resumed-" + name);
    ASSERT_EQ(Wait(again, [&] { return info_.nTotalDownload() > (2 << 20); }), DL_STATE_RUNNING);
    DL_StopTask(again);
    ASSERT_EQ(Wait(again, [&] { return info_.stat() == DL_STATE_STOPPED; }), DL_STATE_STOPPED);
    server.SetContent(v2, "W/\"same\"");
    server.SetFaults({.noValidators = !validators});
    DL_StartTask(again);
    stat = Wait(again, nullptr, milliseconds(60000));
    ASSERT_TRUE(stat == DL_STATE_COMPLETE || (stat == DL_STATE_CANCELLED && info_.fail_code() == DL_FAIL_UNSTABLE))
        << "state " << stat << " code " << info_.fail_code();
    if (stat == DL_STATE_COMPLETE) {
      const std::string got = ReadAll(folder_ / info_.szFilename());
      EXPECT_TRUE(got == v2) << whole(got);
    }
  }
}

// On a file system that refuses RENAME_NOREPLACE (EINVAL, as NFS does; here a seccomp filter
// answers so) a download still completes, and still never over an existing file.
TEST_F(DlcoreTest, CompletesWhereTheNoReplaceRenameIsRefused) {
  const std::string content = PatternBytes(200000, 51);
  FileServer server(content);
  // A child forked beside the server's thread can stick on a lock that thread held (the
  // sanitizers' allocator has no fork handler): such a child is ended and the fork tried again.
  int status = -1;
  for (int attempt = 0; attempt < 2 && status == -1; ++attempt) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::ofstream(folder_ / "kept.bin") << "mine";
    pid_t child = fork();
    if (child == 0) {
      if (!RefuseNoReplaceRenames()) _exit(77);
      const bool fresh = Wait(Download(server.url(), "new.bin")) == DL_STATE_COMPLETE;
      const bool beside =
          Wait(Download(server.url(), "kept.bin")) == DL_STATE_COMPLETE && info_.szFilename() == "kept(1).bin";
      DL_UnInit();
      _exit(fresh && beside ? 0 : 1);
    }
    status = WaitForChild(child);
  }
  ASSERT_NE(status, -1) << "the child hung twice";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no seccomp here";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadAll(folder_ / "new.bin"), content);
  EXPECT_EQ(ReadAll(folder_ / "kept.bin"), "mine") << "never over an existing file";
  EXPECT_EQ(ReadAll(folder_ / "kept(1).bin"), content);
  EXPECT_FALSE(fs::exists(folder_ / "new.bin.part"));
}

class DlcoreSmallDiskTest : public DlcoreTest {
 protected:
  // Runs `test` in a child whose save folder is a private 1 MiB file system; the child's exit
  // status is the test's verdict (0 passed, 77 no private file system here).
  void OnASmallDisk(const std::function<bool()>& test) {
    fs::create_directories(folder_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      pid_t child = fork();
      if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=1m") != 0)
          _exit(77);
        bool ok = test();
        DL_UnInit();
        _exit(ok ? 0 : 1);
      }
      const int status = WaitForChild(child);
      if (status == -1) continue;  // stuck: once more
      if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private tmpfs on this machine";
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see the child's output above";
      return;
    }
    ADD_FAILURE() << "the child hung twice";
  }
  std::int64_t FreeBytes() { return std::int64_t(fs::space(folder_).available); }
};

// On a 1 MiB file system the download fails as "disk full" before filling it with a file
// that claims to be complete, and gives the space back.
TEST_F(DlcoreSmallDiskTest, FullDiskFailsWithItsOwnCodeAndFreesTheSpace) {
  FileServer server(PatternBytes(4 << 20, 12));
  OnASmallDisk([&] {
    const std::int64_t before = FreeBytes();
    int stat = Wait(Download(server.url()));
    EXPECT_EQ(stat, DL_STATE_CANCELLED);
    EXPECT_EQ(info_.fail_code(), DL_FAIL_DISK_FULL);
    EXPECT_FALSE(fs::exists(folder_ / "file.bin"));
    EXPECT_FALSE(fs::exists(folder_ / "file.bin.part")) << "nothing was kept, nothing is left";
    EXPECT_EQ(FreeBytes(), before);
    return !testing::Test::HasFailure();
  });
}

// A server that claims a terabyte gets a "disk full" at once: nothing is reserved on its word.
TEST_F(DlcoreSmallDiskTest, AClaimTheDiskCannotHoldIsRefusedBeforeReserving) {
  RawServer server([](int fd, const std::string&) {
    RawServer::Send(fd,
                    "HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\nETag: \"big\"\r\n"
                    "Accept-Ranges: bytes\r\n\r\n" +
                        std::string(4096, 'x'));
  });
  OnASmallDisk([&] {
    const std::int64_t before = FreeBytes();
    EXPECT_EQ(Wait(Download(server.url("/huge.bin"))), 1);
    EXPECT_EQ(info_.fail_code(), DL_FAIL_DISK_FULL);
    EXPECT_FALSE(fs::exists(folder_ / "file.bin.part"));
    EXPECT_EQ(FreeBytes(), before);
    return !testing::Test::HasFailure();
  });
}

}  // namespace

TEST_F(DlcoreTest, TheSpeedLimitHoldsForAllDownloadsTogether) {
  const std::string a = PatternBytes(3 << 20, 21), b = PatternBytes(3 << 20, 22);
  FileServer serverA(a), serverB(b);
  DL_Init();
  DL_SetDownloadLimit(2 << 20);
  const auto started = std::chrono::steady_clock::now();
  DLTask first = Download(serverA.url(), "a.bin");
  DLTask second = Download(serverB.url(), "b.bin");
  // They share it: when one has its first half, so has the other, nearly.
  TaskProgressInfo other;
  other.Build();
  ASSERT_NE(Wait(first, [&] { return info_.fPercent() >= 0.5f; }), -1);
  ASSERT_TRUE(DL_QueryTaskInfoEx(second, other.Address()));
  EXPECT_GT(other.fPercent(), 0.3f) << "one download starved the other";
  ASSERT_EQ(Wait(first), DL_STATE_COMPLETE);
  ASSERT_EQ(Wait(second), DL_STATE_COMPLETE);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // 6 MiB at 2 MiB/s: never faster than the limit allows (a tenth of a second's burst aside);
  // the upper bound only catches a limit that stalls.
  EXPECT_GE(seconds, 2.7);
  EXPECT_LT(seconds, 6.0);
  EXPECT_EQ(ReadAll(folder_ / "a.bin"), a);
  EXPECT_EQ(ReadAll(folder_ / "b.bin"), b);

  DL_SetDownloadLimit(0);  // lifted: the next download is not held
  FileServer serverC(PatternBytes(8 << 20, 23));
  const auto again = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Download(serverC.url(), "c.bin")), DL_STATE_COMPLETE);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - again).count(), 2.5);
}

// A limit lifted while a download runs: more connections open at once as the server allows
// (those made under it had small windows, and a count settled under it).
TEST_F(DlcoreTest, ALiftedLimitLetsTheDownloadGrowAtOnce) {
  const std::string content = PatternBytes(6 << 20, 24);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 256 << 10});  // each connection; the line allows many
  DL_Init();
  DL_SetDownloadLimit(64 << 10);
  DLTask t = Download(server.url());
  ASSERT_NE(Wait(t, [&] { return info_.nTotalDownload() >= 128 << 10; }), -1);
  std::this_thread::sleep_for(milliseconds(1500));  // the count settles under the limit
  DL_SetDownloadLimit(0);
  int most = 0;
  ASSERT_NE(Wait(t, [&] { return (most = std::max(most, info_.nSrcUsing())) >= 4; }), -1)
      << "held to one connection after the limit was lifted";
  ASSERT_EQ(Wait(t, nullptr, milliseconds(60000)), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
}

// A limit set while a download runs: the connections cut before it end while their buffers
// hold little, and no connection is cut while the limit holds it, so the server sends hardly
// a byte more than the file (it sent up to twice the file when full buffers were thrown away).
TEST_F(DlcoreTest, ALimitSetMidDownloadWastesNothing) {
  const std::string content = PatternBytes(6 << 20, 25);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 256 << 10});
  DL_Init();
  DLTask t = Download(server.url());
  ASSERT_NE(Wait(t, [&] { return info_.nTotalDownload() >= 2 << 20; }), -1);
  DL_SetDownloadLimit(1 << 20);
  ASSERT_EQ(Wait(t, nullptr, milliseconds(60000)), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  EXPECT_LT(double(server.bytesServed()), 1.1 * double(content.size())) << "bytes sent twice";
  DL_SetDownloadLimit(0);
}
