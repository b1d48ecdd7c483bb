// The download list: its file (hostile lines left out, never a crash) and its rows' actions
// over the real engine.
#include "downloadlist.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "../../fixtures/files.h"
#include "../../fixtures/fileserver.h"
#include "../../fixtures/liveengine.h"
#include "dlcore.h"
#include "downloadlistfile.h"
#include "downloadsession.h"
#include "utf8.h"

using namespace session;
namespace fs = std::filesystem;

namespace {

ListedDownload Row(int id, std::string name) {
  ListedDownload d;
  d.id = id;
  d.url = "http://127.0.0.1:1/" + name;
  d.folder = "/tmp/quorvel list";
  d.name = std::move(name);
  return d;
}

TEST(DownloadListFile, RowsComeBackAsTheyWereWritten) {
  ListedDownload odd = Row(7, "here %41 100%.zip");
  odd.state = ListState::kFailed;
  odd.failCode = 404;
  odd.verdict = CheckVerdict::kFailed;
  odd.verdictText = "校验失败：3 块损坏\nline two";
  odd.total = 1 << 30;
  odd.done = 12345;
  odd.swarm = true;
  odd.torrentLink = "https://example.invalid/x.torrent";
  odd.torrentFile = "x.torrent";
  std::vector<std::string> complaints;
  const auto rows = ParseListFile(ListFileText({Row(1, "a.zip"), odd}), complaints);
  EXPECT_TRUE(complaints.empty());
  ASSERT_EQ(rows.size(), 2u);
  const ListedDownload& back = rows[1];
  EXPECT_EQ(back.name, odd.name);
  EXPECT_EQ(back.verdictText, odd.verdictText);
  EXPECT_EQ(back.state, ListState::kFailed);
  EXPECT_EQ(back.failCode, 404);
  EXPECT_EQ(back.verdict, CheckVerdict::kFailed);
  EXPECT_EQ(back.total, std::int64_t(1) << 30);
  EXPECT_EQ(back.done, 12345);
  EXPECT_TRUE(back.swarm);
  EXPECT_EQ(back.torrentLink, odd.torrentLink);
  EXPECT_EQ(back.torrentFile, "x.torrent");
}

TEST(DownloadListFile, HostileLinesAreLeftOutAndTheRestStays) {
  const std::string good = ListFileText({Row(1, "good.zip")});
  const std::string head = good.substr(0, good.find('\n') + 1), line = good.substr(head.size());
  auto with = [&](std::string field, int index) {  // the good line with one field replaced
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start, line.size() - start - 1));
    f[size_t(index)] = std::move(field);
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) out += (i ? "\t" : "") + f[i];
    return out + "\n";
  };
  const std::string hostile[] = {
      with("0", 0),
      with("-1", 0),
      with("99999999999", 0),
      with("flying", 1),
      with("x", 2),
      with("maybe", 3),
      with("-5", 4),
      with("peer", 6),
      with("file:///etc/passwd", 7),
      with("relative/dir", 8),
      with("/tmp/a%0Ab", 8),
      with("..", 9),
      with("a/b.zip", 9),
      with("", 9),
      with("a%00b.zip", 9),
      with("%C0%AF.zip", 9),
      with("javascript:x", 10),
      std::string(300, 'x') + "\n",
      "1\trunning\n",
      line,  // the same number twice
  };
  std::string text = good;
  for (const std::string& h : hostile) text += h;
  std::vector<std::string> complaints;
  const auto rows = ParseListFile(text, complaints);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "good.zip");
  EXPECT_EQ(complaints.size(), std::size(hostile));
  complaints.clear();
  EXPECT_TRUE(ParseListFile("Quorvel download list 99\n" + line, complaints).empty());
  EXPECT_EQ(complaints.size(), 1u) << "another version is left as it is";
}

TEST(DownloadListFile, AMissingDamagedOrHugeFileGivesAnEmptyList) {
  ScratchConfig scratch;
  const std::string path = ListFilePath();
  EXPECT_EQ(path, (scratch.folder() / "data/Quorvel/downloads.list").string());
  EXPECT_TRUE(ReadListFile(path).empty());
  ASSERT_TRUE(WriteListFile(path, {Row(3, "x.zip")}));
  EXPECT_EQ(ReadListFile(path).size(), 1u);
  WriteFile(path, std::string(kMaxListFileBytes + 1, '\n'));
  EXPECT_TRUE(ReadListFile(path).empty());
  WriteFile(path, std::string("\0\xff\xfe garbage", 11));
  EXPECT_TRUE(ReadListFile(path).empty());
}

TEST(DownloadList, RowsOfAnEarlierRunWaitOrArePaused) {
  EngineCalls none;
  ListedDownload running = Row(4, "r.zip"), done = Row(9, "d.zip");
  running.state = ListState::kRunning;
  done.state = ListState::kCompleted;
  DownloadList list(none);
  list.Restore({running, done}, true);
  EXPECT_EQ(list.Find(4)->state, ListState::kWaiting);
  EXPECT_EQ(list.Find(9)->state, ListState::kCompleted);
  list.Restore({running, done}, false);
  EXPECT_EQ(list.Find(4)->state, ListState::kPaused);
  EXPECT_FALSE(list.Pause(9)) << "a completed row neither pauses";
  EXPECT_FALSE(list.Retry(4)) << "nor is a paused one retried";
  EXPECT_EQ(StateWords(*list.Find(4)), "已暂停");
}

TEST(DownloadList, AFullListDropsItsOldestEndedRowNeverARunningOne) {
  EngineCalls none;
  std::vector<ListedDownload> rows;
  for (int id = 1; id <= static_cast<int>(kMaxListedDownloads); ++id) rows.push_back(Row(id, std::to_string(id)));
  rows[0].state = ListState::kPaused;
  rows[5].state = ListState::kCompleted;
  rows[7].state = ListState::kFailed;
  DownloadList list(none);
  list.Restore(rows, false);
  int task = 0;
  list.Add(&task, "http://127.0.0.1:1/new", "/tmp", "new.zip");
  EXPECT_EQ(list.rows().size(), kMaxListedDownloads);
  EXPECT_TRUE(list.Find(1)) << "a paused row stays";
  EXPECT_FALSE(list.Find(6)) << "the oldest ended row goes";
  EXPECT_TRUE(list.Find(8));
  list.AddSwarm("http://127.0.0.1:1/t.torrent", "/tmp", "t.torrent", "t.bin");
  EXPECT_FALSE(list.Find(8));
  // No ended row left: the oldest without a task goes, the running one keeps its row.
  int other = 0;
  list.Add(&other, "http://127.0.0.1:1/more", "/tmp", "more.zip");
  EXPECT_FALSE(list.Find(1));
  ASSERT_TRUE(list.FindTask(&task));
  EXPECT_EQ(list.rows().size(), kMaxListedDownloads);
}

class LiveDownloadListTest : public LiveDownloadSessionTest {
 protected:
  ListState WaitFor(DownloadList& list, int id, ListState want, int ms = 20000) {
    WaitUntil(
        [&] {
          list.Tick();
          return list.Find(id) && list.Find(id)->state == want;
        },
        ms);
    return list.Find(id) ? list.Find(id)->state : ListState::kWaiting;
  }
};

TEST_F(LiveDownloadListTest, PauseKeepsTheDataResumeContinuesCancelDeletes) {
  const std::string content = PatternBytes(3 << 20, 41), other = PatternBytes(16 << 20, 42);
  FileServer server(content), second(other);
  // The limits are per connection and the engine opens up to 16: b runs for a minute at least,
  // so it still runs when it is cancelled.
  server.SetFaults({.bytesPerSecond = 1 << 20});
  second.SetFaults({.bytesPerSecond = 16 << 10});
  const std::u16string folder = common::Utf8ToUtf16(scratch.folder().string());
  DownloadSession s(Calls());
  s.StartEngine();
  ASSERT_FALSE(s.Start(common::Utf8ToUtf16(server.url()), u"a.zip", folder));
  ASSERT_FALSE(s.Start(common::Utf8ToUtf16(second.url()), u"b.zip", folder));
  ASSERT_EQ(s.list.rows().size(), 2u);
  const int a = s.list.rows()[0].id, b = s.list.rows()[1].id;
  ASSERT_TRUE(WaitUntil(
      [&] {
        s.list.Tick();
        return s.list.Find(a)->done >= 1 << 20;
      },
      20000));
  ASSERT_TRUE(s.list.Pause(a));
  EXPECT_EQ(WaitFor(s.list, a, ListState::kPaused), ListState::kPaused);
  EXPECT_TRUE(fs::exists(scratch.folder() / "a.zip.part")) << "pause keeps the data";
  ASSERT_TRUE(s.list.Cancel(b));
  EXPECT_EQ(s.list.Find(b), nullptr);
  EXPECT_FALSE(fs::exists(scratch.folder() / "b.zip.part")) << "cancel deletes it";
  // The paused connections' last bytes may still be on their way out of the server: counted
  // once the count stands still, they are not taken for bytes fetched again.
  for (size_t last = server.bytesServed(), i = 0; i < 50; ++i, last = server.bytesServed()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (server.bytesServed() == last) break;
  }
  server.SetFaults({});
  const size_t before = server.bytesServed();
  ASSERT_TRUE(s.list.Resume(a));
  EXPECT_EQ(WaitFor(s.list, a, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "a.zip"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() - (512 << 10)) << "resumed, not fetched again";
  EXPECT_TRUE(s.list.Remove(a));
  EXPECT_TRUE(s.list.rows().empty());
  s.StopEngine();
}

TEST_F(LiveDownloadListTest, WaitingRowsStartAsPlacesFreeAndAFailedOneIsRetried) {
  const std::string content = PatternBytes(1 << 20, 43);
  FileServer server(content);
  server.SetFaults({.status = 404});
  DownloadSession s(Calls());
  s.StartEngine();
  std::vector<ListedDownload> rows;
  for (int i = 1; i <= 3; ++i) {
    ListedDownload d = Row(i, "f" + std::to_string(i) + ".bin");
    d.url = server.url();
    d.folder = scratch.folder().string();
    d.state = ListState::kRunning;  // running when the program last ended
    rows.push_back(d);
  }
  s.list.maxRunning = 1;
  s.list.Restore(rows, true);
  s.list.Tick();
  EXPECT_EQ(s.list.Running(), 1) << "one place: the others wait";
  EXPECT_EQ(WaitFor(s.list, 3, ListState::kFailed), ListState::kFailed);
  EXPECT_EQ(StateWords(*s.list.Find(1)), "失败：服务器返回 404") << "once: not 失败：下载失败：";
  server.SetFaults({});
  ASSERT_TRUE(s.list.Retry(1));
  EXPECT_EQ(WaitFor(s.list, 1, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "f1.bin"), content);
  s.StopEngine();
}

// The command line's way in: queued rows wait for a place, the same file queued again is the
// same row (a failed one waits again), and a pause of all of them keeps each one's data.
TEST_F(LiveDownloadListTest, QueuedRowsWaitForAPlaceAndPauseAllKeepsTheirData) {
  const std::string content = PatternBytes(3 << 20, 44);
  FileServer server(content), missing(content);
  server.SetFaults({.bytesPerSecond = 256 << 10});
  missing.SetFaults({.status = 404});
  const std::string folder = scratch.folder().string();
  DownloadSession s(Calls());
  s.StartEngine();
  s.list.maxRunning = 1;
  const int gone = s.list.Queue(missing.url(), folder, "gone.bin");
  EXPECT_EQ(WaitFor(s.list, gone, ListState::kFailed), ListState::kFailed);
  const int a = s.list.Queue(server.url(), folder, "a.bin"), b = s.list.Queue(server.url(), folder, "b.bin");
  EXPECT_EQ(s.list.Queue(server.url(), folder, "a.bin"), a) << "one row for one file";
  EXPECT_EQ(s.list.Queue(missing.url(), folder, "gone.bin"), gone);
  EXPECT_EQ(s.list.Find(gone)->state, ListState::kWaiting) << "a failed row waits again";
  EXPECT_EQ(s.list.Find(gone)->failCode, 0);
  ASSERT_TRUE(WaitUntil(
      [&] {
        s.list.Tick();
        return s.list.Find(a)->done >= 256 << 10;
      },
      20000));
  EXPECT_EQ(s.list.Running(), 1) << "one place: the others wait";
  EXPECT_EQ(s.list.Find(b)->state, ListState::kWaiting);
  EXPECT_TRUE(s.list.PauseAll(std::chrono::seconds(10)).empty());
  EXPECT_EQ(s.list.Find(a)->state, ListState::kPaused);
  EXPECT_EQ(s.list.Running(), 0);
  EXPECT_TRUE(fs::exists(scratch.folder() / "a.bin.part"));
  records::TaskProgressInfo info;
  info.Build();
  ASSERT_TRUE(s.engine.queryTaskInfoEx(s.list.Find(a)->task, info.Address()));
  EXPECT_EQ(info.stat(), DL_STATE_STOPPED) << "its resume data is written before it returns";
  s.StopEngine();
}

}  // namespace
