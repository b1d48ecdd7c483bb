// The download list, the one owner of every download: its records and engine calls (over a
// double of the engine), its places, its events and its jobs, and its rows' actions over the
// real engine.
#include "downloadlist.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "../../fixtures/fakeengine.h"
#include "../../fixtures/files.h"
#include "../../fixtures/fileserver.h"
#include "../../fixtures/liveengine.h"
#include "dlcore.h"
#include "downloadlistfile.h"
#include "recordlayout.h"
#include "ticks.h"
#include "utf8.h"

using namespace session;
namespace fs = std::filesystem;

namespace {

common::DownloadOrder Order(const std::string& url, const std::string& folder, const std::string& name) {
  common::DownloadOrder order;
  order.sources = {url};
  order.folder = folder;
  order.name = name;
  return order;
}

ListedDownload Row(int id, std::string name) {
  ListedDownload d;
  d.id = id;
  d.order = Order("http://127.0.0.1:1/" + name, "/tmp/quorvel list", name);
  return d;
}

std::vector<DownloadEvent> Of(const std::vector<DownloadEvent>& events, DownloadEvent::Kind kind) {
  std::vector<DownloadEvent> of;
  for (const DownloadEvent& e : events)
    if (e.kind == kind) of.push_back(e);
  return of;
}

class DownloadListTest : public testing::Test {
 protected:
  FakeEngine fake;
  DownloadList list{fake.Calls()};
};

TEST_F(DownloadListTest, AStartReachesTheEngineInUtf16AndBecomesCurrent) {
  const StartResult r = list.Start(Order("http://dl.test/主程序.zip", "/home/u/Ł下载", "主程序.zip"), WhenThere::kAsk);
  EXPECT_EQ(r.outcome, StartResult::Outcome::kStarted);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  const std::string& record = fake.lastCreateRecord;
  using namespace records;
  EXPECT_EQ(UnitsAt(record, createparams::szTaskUrl), u"http://dl.test/主程序.zip");
  EXPECT_EQ(UnitsAt(record, createparams::szSavePath), u"/home/u/Ł下载") << "no character is lost on the way";
  EXPECT_EQ(record[createparams::DisableAutoRename], 1);
  EXPECT_EQ(record[createparams::IsResume], 1);
  EXPECT_EQ(record[createparams::IsOnlyOriginal], 0);
  EXPECT_EQ(list.currentTask, r.id);
  EXPECT_EQ(list.Find(r.id)->task, reinterpret_cast<void*>(7));
  EXPECT_EQ(list.Find(r.id)->state, ListState::kRunning);
}

TEST_F(DownloadListTest, TextsTooLongForTheRecordNeverReachTheEngine) {
  EXPECT_EQ(list.Start(Order("http://dl.test/a.zip", std::string(300, 'd'), "a.zip"), WhenThere::kAsk).failure,
            "下载失败：保存目录过长（最多 259 个字符），请选择较短的目录");
  EXPECT_EQ(list.Start(Order("http://dl.test/a.zip", "/tmp", std::string(1000, '9')), WhenThere::kAsk).failure,
            "下载失败：文件名过长（最多 259 个字符），请改短后再试");
  EXPECT_EQ(list.Start(Order(std::string(3000, 'u'), "/tmp", "a.zip"), WhenThere::kAsk).failure,
            "下载失败：下载地址过长（最多 2083 个字符）");
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(list.rows().empty()) << "no row for what cannot start";
  EXPECT_EQ(list.currentTask, 0);
  EngineCalls refusing = fake.Calls();
  refusing.createTask = [](const void*) -> void* { return nullptr; };
  DownloadList refused(refusing);
  const StartResult r = refused.Start(Order("http://dl.test/a.zip", "/tmp", "a.zip"), WhenThere::kAsk);
  EXPECT_EQ(r.failure, "下载失败：下载引擎未接受这个下载");
  EXPECT_EQ(StateWords(*refused.Find(r.id)), "失败：下载引擎未接受这个下载");
}

TEST_F(DownloadListTest, TheTempFileBlockIsRefusedRatherThanShifted) {
  using namespace records;
  const std::string block = TempFileBlock(u"/home/u/Ł下载", u"主程序.zip");
  ASSERT_EQ(block.size(), createparams::kSize);
  EXPECT_EQ(UnitsAt(block, createparams::szFilename), u"主程序.zip");
  EXPECT_EQ(UnitsAt(block, createparams::szSavePath), u"/home/u/Ł下载");
  EXPECT_EQ(block[createparams::nReserved1], 5);
  EXPECT_EQ(block[createparams::reserved], 1);
  for (size_t i = createparams::szFilename + 2 * 8; i < createparams::szReserved0; ++i) ASSERT_EQ(block[i], 0);
  EXPECT_EQ(TempFileBlock(std::u16string(259, u'n'), u"x").size(), createparams::kSize);
  EXPECT_TRUE(TempFileBlock(std::u16string(260, u'n'), u"x").empty());
  EXPECT_FALSE(list.DeleteTempFiles(std::string(300, 'd'), "x"));
  EXPECT_FALSE(list.Cancel(0)) << "nothing to cancel";
  EXPECT_TRUE(fake.calls.empty()) << "no engine call for a block that was refused, nor for no download";
}

// The display follows the newest download; a cancel or an end hands it to the newest one
// still running; the end of the engine stops every one.
TEST_F(DownloadListTest, EveryStartedDownloadStaysReachable) {
  std::map<void*, int> statOf;
  int next = 100;
  std::vector<void*> stopped;
  EngineCalls calls = fake.Calls();
  calls.createTask = [&](const void*) { return reinterpret_cast<void*>(++next); };
  calls.stopTask = [&](void* t) { stopped.push_back(t); };
  calls.queryTaskInfoEx = [&, query = calls.queryTaskInfoEx](void* t, void* r) {
    fake.stat = statOf.count(t) ? statOf[t] : DL_STATE_RUNNING;
    return query(t, r);
  };
  DownloadList many(calls);
  int ids[3];
  int i = 0;
  for (const char* name : {"release.zip", "map.ndz", "third.ndz"})
    ids[i++] = many.Start(Order("http://x/a", "/tmp/dl", name), WhenThere::kAsk).id;
  void* release = reinterpret_cast<void*>(101);
  EXPECT_EQ(many.currentTask, ids[2]);

  ASSERT_TRUE(many.Cancel(ids[2]));
  EXPECT_EQ(stopped, (std::vector<void*>{reinterpret_cast<void*>(103)}));
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, records::createparams::szFilename), u"third.ndz") << "its own name";
  EXPECT_EQ(UnitsAt(fake.lastTempBlock, records::createparams::szSavePath), u"/tmp/dl");
  ASSERT_TRUE(many.FollowNext());
  EXPECT_EQ(many.currentTask, ids[1]);

  statOf[reinterpret_cast<void*>(102)] = DL_STATE_COMPLETE;
  const std::vector<DownloadEvent> events = many.Tick();
  const auto ended = Of(events, DownloadEvent::Kind::kEnded);
  ASSERT_EQ(ended.size(), 1u) << "one end, told once";
  EXPECT_EQ(ended[0].id, ids[1]);
  EXPECT_EQ(ended[0].state, ListState::kCompleted);
  EXPECT_EQ(Of(events, DownloadEvent::Kind::kProgress).size(), 3u) << "the two running, and the cancelled one once";
  EXPECT_TRUE(Of(many.Tick(), DownloadEvent::Kind::kEnded).empty()) << "an end is told once";
  ASSERT_TRUE(many.FollowNext());
  EXPECT_EQ(many.currentTask, ids[0]);

  many.StopEngine();
  EXPECT_EQ(stopped.back(), release) << "the end stops every download still running";
  EXPECT_EQ(many.Find(ids[0])->state, ListState::kRunning) << "and it goes on at the next start";
}

TEST_F(DownloadListTest, TheTickTurnsAnswersIntoEvents) {
  EXPECT_TRUE(list.Tick().empty()) << "nothing runs";
  const int id = list.Start(Order("http://x/a", "/tmp", "a.zip"), WhenThere::kAsk).id;
  fake.speed = 1023, fake.downloaded = 1572864, fake.total = 10485760, fake.percent = 0.5f;
  std::vector<DownloadEvent> events = list.Tick();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, DownloadEvent::Kind::kProgress);
  EXPECT_EQ(events[0].answer.stat, DL_STATE_RUNNING);
  EXPECT_EQ(events[0].answer.name, u"3.2.1.zip");
  EXPECT_EQ(events[0].answer.done, 1572864);
  EXPECT_EQ(list.Find(id)->total, 10485760);
  fake.stat = DL_STATE_CANCELLED, fake.failCode = 404;
  events = list.Tick();
  ASSERT_EQ(Of(events, DownloadEvent::Kind::kEnded).size(), 1u);
  EXPECT_EQ(Of(events, DownloadEvent::Kind::kEnded)[0].words, "服务器返回 404");
  EXPECT_EQ(StateWords(*list.Find(id)), "失败：服务器返回 404") << "once: not 失败：下载失败：";
  fake.answer = 0;
  EXPECT_TRUE(list.Tick().empty()) << "no answer from the engine, nothing to tell";
}

TEST_F(DownloadListTest, OneFileIsOneRowAndAtMostSomeRunWhateverStartedThem) {
  list.maxRunning = 1;
  const int a = list.Start(Order("http://x/a", "/tmp", "a.zip"), WhenThere::kAsk).id;
  const int b = list.Start(Order("http://x/b", "/tmp", "b.zip"), WhenThere::kAsk).id;
  EXPECT_EQ(list.Find(b)->state, ListState::kWaiting) << "the window's starts wait for a place too";
  EXPECT_EQ(list.currentTask, b) << "and the display follows it";
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"}));
  EXPECT_EQ(list.Start(Order("http://x/a", "/tmp", "a.zip"), WhenThere::kAsk).id, a) << "one row for one file";
  EXPECT_EQ(fake.calls.size(), 2u) << "a running download is not started twice";
  fake.stat = DL_STATE_COMPLETE;
  list.Tick();
  EXPECT_EQ(list.Find(b)->state, ListState::kRunning) << "a place came free";
  EXPECT_EQ(list.Running(), 1);
}

TEST_F(DownloadListTest, AFileThatIsThereIsNotFetchedAgainWithoutAWord) {
  ScratchConfig scratch;
  const std::string folder = scratch.folder().string();
  WriteFile(scratch.folder() / "map.ndz", std::string(1000, 'm'));
  const common::DownloadOrder order = Order("http://x/map.ndz", folder, "map.ndz");
  EXPECT_EQ(list.Start(order, WhenThere::kAsk).outcome, StartResult::Outcome::kAlreadyThere);
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(list.rows().empty()) << "nothing happens before the answer";
  const StartResult kept = list.Start(order, WhenThere::kKeep);
  EXPECT_EQ(kept.outcome, StartResult::Outcome::kKept);
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_EQ(StateWords(*list.Find(kept.id)), "完成（文件已在）") << "the list says so";
  EXPECT_EQ(list.Find(kept.id)->total, 1000);
  EXPECT_EQ(list.Start(order, WhenThere::kReplace).id, kept.id);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start"})) << "fetched again when the user says so";
  EXPECT_FALSE(list.Find(kept.id)->alreadyThere);
  WriteFile(scratch.folder() / "half.ndz.part", "x");
  WriteFile(scratch.folder() / "half.ndz", "old");
  EXPECT_EQ(list.Start(Order("http://x/h", folder, "half.ndz"), WhenThere::kAsk).outcome,
            StartResult::Outcome::kStarted)
      << "unfinished data beside it: it is resumed, not asked about";
}

// A failure another server might not have moves the row to its next source; the data stays
// and the new task resumes it. A failure of this machine's does not.
TEST_F(DownloadListTest, AFailedSourceHandsTheRowToTheNext) {
  common::DownloadOrder order = Order("http://one/a.zip", "/tmp", "a.zip");
  order.sources.push_back("http://two/a.zip");
  const int id = list.Start(order, WhenThere::kAsk).id;
  fake.stat = DL_STATE_CANCELLED, fake.failCode = DL_FAIL_REFUSED;
  EXPECT_TRUE(Of(list.Tick(), DownloadEvent::Kind::kEnded).empty());
  EXPECT_EQ(list.Find(id)->state, ListState::kRunning);
  EXPECT_EQ(list.Find(id)->url(), "http://two/a.zip");
  EXPECT_EQ(UnitsAt(fake.lastCreateRecord, records::createparams::szTaskUrl), u"http://two/a.zip");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "start", "delete", "create", "start"}));
  list.Tick();
  EXPECT_EQ(list.Find(id)->state, ListState::kFailed) << "no source left";
  ASSERT_TRUE(list.Retry(id));
  list.Tick();
  EXPECT_EQ(list.Find(id)->url(), "http://one/a.zip") << "a retry starts from the first";
  fake.failCode = DL_FAIL_DISK_FULL;
  list.Tick();
  EXPECT_EQ(list.Find(id)->state, ListState::kFailed) << "another server would not make room on this disk";
}

TEST(DownloadListRows, RowsOfAnEarlierRunWaitOrArePaused) {
  ListedDownload running = Row(4, "r.zip"), done = Row(9, "d.zip");
  running.state = ListState::kRunning;
  done.state = ListState::kCompleted;
  DownloadList list(EngineCalls{});
  list.Restore({running, done}, true);
  EXPECT_EQ(list.Find(4)->state, ListState::kWaiting);
  EXPECT_EQ(list.Find(9)->state, ListState::kCompleted);
  list.Restore({running, done}, false);
  EXPECT_EQ(list.Find(4)->state, ListState::kPaused);
  EXPECT_FALSE(list.Pause(9)) << "a completed row neither pauses";
  EXPECT_FALSE(list.Retry(4)) << "nor is a paused one retried";
  EXPECT_EQ(StateWords(*list.Find(4)), "已暂停");
}

TEST(DownloadListRows, AFullListDropsItsOldestEndedRowNeverARunningOne) {
  FakeEngine fake;
  std::vector<ListedDownload> rows;
  for (int id = 1; id <= static_cast<int>(kMaxListedDownloads); ++id) rows.push_back(Row(id, std::to_string(id)));
  rows[0].state = ListState::kPaused;
  rows[5].state = ListState::kCompleted;
  rows[7].state = ListState::kFailed;
  DownloadList list(fake.Calls());
  list.Restore(rows, false);
  const int added = list.Start(Order("http://127.0.0.1:1/new", "/tmp", "new.zip"), WhenThere::kAsk).id;
  EXPECT_EQ(list.rows().size(), kMaxListedDownloads);
  EXPECT_TRUE(list.Find(1)) << "a paused row stays";
  EXPECT_FALSE(list.Find(6)) << "the oldest ended row goes";
  EXPECT_TRUE(list.Find(8));
  list.Start(Order("http://127.0.0.1:1/more", "/tmp", "more.zip"), WhenThere::kAsk);
  EXPECT_FALSE(list.Find(8));
  // No ended row left: the oldest without a task goes, the running one keeps its row.
  list.Start(Order("http://127.0.0.1:1/last", "/tmp", "last.zip"), WhenThere::kAsk);
  EXPECT_FALSE(list.Find(1));
  ASSERT_TRUE(list.Find(added));
  EXPECT_EQ(list.rows().size(), kMaxListedDownloads);
}

// The swarm's and the checks' jobs over doubles of their work: a torrent's content is a row
// that takes a place like any other, hears the limit as it changes, is told once when it ends,
// comes again after its content was deleted, and a cancel deletes what is unfinished.
class DownloadListJobsTest : public DownloadListTest {
 protected:
  std::atomic<bool> finish{false};
  std::atomic<std::int64_t> heardLimit{-1};
  std::atomic<int> discarded{0}, fetched{0};
  void SetUp() override {
    list.jobCalls.contentName = [](const std::string& path) -> std::optional<std::string> {
      return path.ends_with("bad.torrent") ? std::optional<std::string>("../x") : std::optional<std::string>("pro.ndz");
    };
    list.jobCalls.fetchContent = [this](const std::string&, const std::string&, const std::atomic<std::int64_t>& limit,
                                        const std::function<void(const SwarmFigures&)>& show,
                                        const std::function<bool()>& stop) {
      ++fetched;
      while (!finish && !stop()) {
        heardLimit = limit.load();
        show({50, 100, 7, 1, 1});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return SwarmOutcome{finish ? SwarmOutcome::End::kComplete : SwarmOutcome::End::kInterrupted, {}};
    };
    list.jobCalls.discardContent = [this](const std::string&, const std::string&) { ++discarded; };
    list.jobCalls.check = [](const std::string& archive, const std::string& torrent,
                             const std::function<void(const std::string&)>&, const std::function<bool()>&) {
      return CheckOutcome{false, archive + " " + torrent, {}};
    };
  }
  // The torrent row, completed.
  int Torrent(const char* name = "pro.torrent") {
    common::DownloadOrder order = Order("http://x/t", "/tmp/dl", name);
    order.kind = common::DownloadKind::kMapDataTorrent;
    const int id = list.Start(order, WhenThere::kAsk).id;
    fake.stat = DL_STATE_COMPLETE;
    list.Tick();
    return id;
  }
  std::vector<DownloadEvent> TickUntil(const std::function<bool()>& done) { return ::TickUntil(list, done); }
};

TEST_F(DownloadListJobsTest, ATorrentsContentIsARowLikeAnyOther) {
  const int torrent = Torrent();
  list.maxRunning = 1;
  EXPECT_FALSE(list.ContinueThroughSwarm(Torrent("bad.torrent"))) << "a content that would leave the folder";
  EXPECT_EQ(list.Find(list.currentTask)->note, "不是可用的种子文件：bad.torrent");
  fake.stat = DL_STATE_RUNNING;
  const int other = list.Start(Order("http://x/o", "/tmp/dl", "other.zip"), WhenThere::kAsk).id;
  ASSERT_TRUE(list.ContinueThroughSwarm(torrent));
  const int content = list.rows().back().id;
  EXPECT_TRUE(list.Find(content)->Swarm());
  EXPECT_EQ(list.Find(content)->order.torrent, "pro.torrent");
  list.Tick();
  EXPECT_EQ(list.Find(content)->state, ListState::kWaiting) << "同时下载 holds for the swarm too";
  fake.stat = DL_STATE_COMPLETE;
  list.Tick();
  EXPECT_EQ(list.Find(other)->state, ListState::kCompleted);
  list.SetLimit(64 << 10);
  TickUntil([&] { return list.Find(content)->done == 50 && heardLimit == (64 << 10); });
  EXPECT_EQ(list.Find(content)->speed, 7);
  list.SetLimit(0);
  TickUntil([&] { return heardLimit == 0; });
  EXPECT_EQ(heardLimit, 0) << "a limit lifted reaches the running job";
  finish = true;
  auto ended =
      Of(TickUntil([&] { return list.Find(content)->state == ListState::kCompleted; }), DownloadEvent::Kind::kEnded);
  ASSERT_EQ(ended.size(), 1u) << "its end is told, once";
  EXPECT_EQ(ended[0].id, content);
  // The content deleted by hand: the same button fetches it again.
  finish = false;
  ASSERT_TRUE(list.ContinueThroughSwarm(torrent));
  EXPECT_EQ(list.rows().back().id, content) << "its own row again";
  TickUntil([&] { return fetched == 2; });
  EXPECT_EQ(fetched, 2);
  ASSERT_TRUE(list.Cancel(content));
  EXPECT_EQ(discarded, 1) << "a cancel deletes what is unfinished";
  EXPECT_FALSE(list.Find(content));
}

TEST_F(DownloadListJobsTest, APausedContentKeepsItsDataAndACompletedTorrentGoesOnWhenAsked) {
  list.swarmAfterTorrent = true;
  const int torrent = Torrent();
  const ListedDownload& content = list.rows().back();
  ASSERT_NE(content.id, torrent) << "the setting goes on with the content at once";
  const int id = content.id;
  TickUntil([&] { return fetched == 1; });
  ASSERT_TRUE(list.Pause(id));
  EXPECT_EQ(list.Find(id)->state, ListState::kPaused);
  TickUntil([&] { return list.Resume(id); });
  EXPECT_EQ(discarded, 0);
  EXPECT_EQ(list.Find(id)->state, ListState::kWaiting);
  list.StopEngine();
  EXPECT_EQ(discarded, 0) << "the end keeps the data";
}

TEST_F(DownloadListJobsTest, ACompletedReleaseIsCheckedAgainstItsTorrent) {
  common::DownloadOrder order = Order("http://x/app.zip", "/tmp/dl", "V3.2.1.zip");
  order.kind = common::DownloadKind::kRelease;
  order.torrent = "http://x/app.torrent";
  const int id = list.Start(order, WhenThere::kAsk).id;
  fake.stat = DL_STATE_COMPLETE;
  list.Tick();
  EXPECT_EQ(StateWords(*list.Find(id)), "完成，正在校验...");
  auto verdicts =
      Of(TickUntil([&] { return list.Find(id)->verdict != CheckVerdict::kChecking; }), DownloadEvent::Kind::kVerdict);
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0].words, "/tmp/dl/V3.2.1.zip http://x/app.torrent");
  EXPECT_EQ(list.Find(id)->verdict, CheckVerdict::kFailed);
  // Downloaded again: the verdict of the file before is gone.
  list.Start(order, WhenThere::kReplace);
  EXPECT_EQ(list.Find(id)->verdict, CheckVerdict::kNone);
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
  // Starts `name` from `url` and pauses it once it has `bytes`.
  int StartThenPause(DownloadList& list, const std::string& url, const std::string& name, std::int64_t bytes) {
    const int id = list.Start(Order(url, scratch.folder().string(), name), WhenThere::kAsk).id;
    EXPECT_TRUE(WaitUntil(
        [&] {
          list.Tick();
          return list.Find(id)->done >= bytes;
        },
        20000));
    EXPECT_TRUE(list.Pause(id));
    EXPECT_EQ(WaitFor(list, id, ListState::kPaused), ListState::kPaused);
    return id;
  }
  // The paused connections' last bytes may still be on their way out of the server: counted
  // once the count stands still, they are not taken for bytes fetched again.
  static void LetTheServerSettle(const FileServer& server) {
    for (size_t last = server.bytesServed(), i = 0; i < 50; ++i, last = server.bytesServed()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (server.bytesServed() == last) break;
    }
  }
};

TEST_F(LiveDownloadListTest, PauseKeepsTheDataResumeContinuesCancelDeletes) {
  const std::string content = PatternBytes(3 << 20, 41), other = PatternBytes(16 << 20, 42);
  FileServer server(content), second(other);
  // The limits are per connection and the engine opens up to 16: b runs for a minute at least,
  // so it still runs when it is cancelled.
  server.SetFaults({.bytesPerSecond = 1 << 20});
  second.SetFaults({.bytesPerSecond = 16 << 10});
  const std::string folder = scratch.folder().string();
  DownloadList list(Calls());
  list.StartEngine();
  const int a = list.Start(Order(server.url(), folder, "a.zip"), WhenThere::kAsk).id;
  const int b = list.Start(Order(second.url(), folder, "b.zip"), WhenThere::kAsk).id;
  ASSERT_EQ(list.rows().size(), 2u);
  ASSERT_TRUE(WaitUntil(
      [&] {
        list.Tick();
        return list.Find(a)->done >= 1 << 20;
      },
      20000));
  ASSERT_TRUE(list.Pause(a));
  EXPECT_EQ(WaitFor(list, a, ListState::kPaused), ListState::kPaused);
  EXPECT_TRUE(fs::exists(scratch.folder() / "a.zip.part")) << "pause keeps the data";
  ASSERT_TRUE(list.Cancel(b));
  EXPECT_EQ(list.Find(b), nullptr);
  EXPECT_FALSE(fs::exists(scratch.folder() / "b.zip.part")) << "cancel deletes it";
  LetTheServerSettle(server);
  server.SetFaults({});
  const size_t before = server.bytesServed();
  ASSERT_TRUE(list.Resume(a));
  EXPECT_EQ(WaitFor(list, a, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "a.zip"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() - (512 << 10)) << "resumed, not fetched again";
  EXPECT_TRUE(list.Remove(a));
  EXPECT_TRUE(list.rows().empty());
  list.StopEngine();
}

TEST_F(LiveDownloadListTest, WaitingRowsStartAsPlacesFreeAndAFailedOneIsRetried) {
  const std::string content = PatternBytes(1 << 20, 43);
  FileServer server(content);
  server.SetFaults({.status = 404});
  DownloadList list(Calls());
  list.StartEngine();
  std::vector<ListedDownload> rows;
  for (int i = 1; i <= 3; ++i) {
    ListedDownload d = Row(i, "f" + std::to_string(i) + ".bin");
    d.order = Order(server.url(), scratch.folder().string(), d.order.name);
    d.state = ListState::kRunning;  // running when the program last ended
    rows.push_back(d);
  }
  list.maxRunning = 1;
  list.Restore(rows, true);
  list.Tick();
  EXPECT_EQ(list.Running(), 1) << "one place: the others wait";
  EXPECT_EQ(WaitFor(list, 3, ListState::kFailed), ListState::kFailed);
  EXPECT_EQ(StateWords(*list.Find(1)), "失败：服务器返回 404") << "once: not 失败：下载失败：";
  server.SetFaults({});
  ASSERT_TRUE(list.Retry(1));
  EXPECT_EQ(WaitFor(list, 1, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "f1.bin"), content);
  list.StopEngine();
}

// The command line's way: rows wait for a place, the same file again is the same row (a failed
// one waits again), and a pause of all of them keeps each one's data.
TEST_F(LiveDownloadListTest, RowsWaitForAPlaceAndPauseAllKeepsTheirData) {
  const std::string content = PatternBytes(3 << 20, 44);
  FileServer server(content), missing(content);
  server.SetFaults({.bytesPerSecond = 256 << 10});
  missing.SetFaults({.status = 404});
  const std::string folder = scratch.folder().string();
  DownloadList list(Calls());
  list.StartEngine();
  list.maxRunning = 1;
  const int gone = list.Start(Order(missing.url(), folder, "gone.bin"), WhenThere::kKeep).id;
  EXPECT_EQ(WaitFor(list, gone, ListState::kFailed), ListState::kFailed);
  const int a = list.Start(Order(server.url(), folder, "a.bin"), WhenThere::kKeep).id;
  const int b = list.Start(Order(server.url(), folder, "b.bin"), WhenThere::kKeep).id;
  EXPECT_EQ(list.Start(Order(missing.url(), folder, "gone.bin"), WhenThere::kKeep).id, gone);
  EXPECT_EQ(list.Find(gone)->state, ListState::kWaiting) << "a failed row waits again";
  EXPECT_EQ(list.Find(gone)->failCode, 0);
  ASSERT_TRUE(WaitUntil(
      [&] {
        list.Tick();
        return list.Find(a)->done >= 256 << 10;
      },
      20000));
  EXPECT_EQ(list.Running(), 1) << "one place: the others wait";
  EXPECT_EQ(list.Find(b)->state, ListState::kWaiting);
  EXPECT_TRUE(Of(list.PauseAll(std::chrono::seconds(10)), DownloadEvent::Kind::kEnded).empty()) << "none completed";
  EXPECT_EQ(list.Find(a)->state, ListState::kPaused);
  EXPECT_EQ(list.Running(), 0);
  EXPECT_TRUE(fs::exists(scratch.folder() / "a.bin.part"));
  records::TaskProgressInfo info;
  info.Build();
  ASSERT_TRUE(list.engine.queryTaskInfoEx(list.Find(a)->task, info.Address()));
  EXPECT_EQ(info.stat(), DL_STATE_STOPPED) << "its resume data is written before it returns";
  list.StopEngine();
}

// A download is its file, not its address: half from one server, the rest from another that
// serves the same bytes under the same validators. A file changed under the same name starts
// over.
TEST_F(LiveDownloadListTest, TheSameFileFromAnotherServerResumes) {
  const std::string content = PatternBytes(4 << 20, 45);
  FileServer first(content), mirror(content), changed(PatternBytes(4 << 20, 46), "\"v2\"");
  first.SetFaults({.bytesPerSecond = 512 << 10});
  const std::string folder = scratch.folder().string();
  DownloadList list(Calls());
  list.StartEngine();
  const int id = StartThenPause(list, first.url(), "map.ndz", 1 << 20);
  const std::int64_t had = list.Find(id)->done;
  list.Start(Order(mirror.url(), folder, "map.ndz"), WhenThere::kAsk);
  EXPECT_EQ(WaitFor(list, id, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "map.ndz"), content);
  EXPECT_LE(mirror.bytesServed(), content.size() - size_t(had) + (64 << 10)) << "the rest only";

  // The same name from a server whose file is another (its ETag differs): from zero.
  const int other = StartThenPause(list, first.url(), "other.ndz", 1 << 20);
  list.Start(Order(changed.url(), folder, "other.ndz"), WhenThere::kAsk);
  EXPECT_EQ(WaitFor(list, other, ListState::kCompleted), ListState::kCompleted);
  EXPECT_EQ(ReadAll(scratch.folder() / "other.ndz"), PatternBytes(4 << 20, 46)) << "never a mix of two files";
  list.StopEngine();
}

}  // namespace
