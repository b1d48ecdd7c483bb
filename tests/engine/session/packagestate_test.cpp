// A package's state in the save folder, and a checked archive's repair as a job of the list.
#include "packagestate.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "../../fixtures/fakeengine.h"
#include "../../fixtures/scratch.h"
#include "dlcore.h"
#include "downloadlist.h"
#include "ticks.h"

using namespace session;
namespace fs = std::filesystem;

namespace {

class PackageStateTest : public testing::Test {
 protected:
  ScratchConfig scratch;
  FakeEngine fake;
  DownloadList list{fake.Calls()};

  common::DownloadOrder Order(const std::string& name) {
    common::DownloadOrder order;
    order.sources = {"http://x/" + name};
    order.folder = scratch.folder().string();
    order.name = name;
    order.kind = common::DownloadKind::kMapData;
    order.torrent = "http://x/" + name + ".torrent";
    return order;
  }
  void Write(const std::string& name, size_t size) {
    std::ofstream(scratch.folder() / name, std::ios::binary) << std::string(size, 'x');
  }
  std::string Words(const std::string& name) { return PackageWords(StateInFolder(Order(name), list.rows())); }
  // A row of the list for `name`, completed by the engine with `total` bytes.
  int Completed(const std::string& name, std::int64_t total) {
    fake.stat = DL_STATE_RUNNING;
    const int id = list.Start(Order(name), WhenThere::kKeep).id;
    fake.total = fake.downloaded = total;
    fake.stat = DL_STATE_COMPLETE;
    list.Tick();
    return id;
  }
  std::vector<DownloadEvent> TickUntil(const std::function<bool()>& done) { return ::TickUntil(list, done); }
};

TEST_F(PackageStateTest, MissingPartialCompleteAndChecked) {
  EXPECT_EQ(Words("pro.ndz"), "没有");
  Write("pro.ndz.part", 100);
  EXPECT_EQ(Words("pro.ndz"), "未完成") << "no row knows how far it got";
  fake.total = 1000;
  fake.downloaded = 350;
  const int id = list.Start(Order("pro.ndz"), WhenThere::kKeep).id;
  list.Tick();
  list.Pause(id);
  EXPECT_EQ(Words("pro.ndz"), "未完成 35%");

  Write("tmc.ndz", 10);
  EXPECT_EQ(Words("tmc.ndz"), "已完成") << "a file nothing checked";
  Write("tmc.ndz.part", 10);
  EXPECT_EQ(Words("tmc.ndz"), "未完成") << "unfinished data beside it: not complete";

  list.jobCalls.check = [](const std::string&, const std::string&, const std::function<void(const std::string&)>&,
                           const std::function<bool()>&) {
    return CheckOutcome{true, "校验通过", {}};
  };
  Write("pt.ndz", 2000);
  const int pt = Completed("pt.ndz", 2000);
  TickUntil([&] { return list.Find(pt)->verdict == CheckVerdict::kPassed; });
  EXPECT_EQ(Words("pt.ndz"), "已完成，校验通过") << "a completed package is checked against its torrent at once";
  Write("pt.ndz", 1999);
  EXPECT_EQ(Words("pt.ndz"), "已完成") << "the check was of another file";

  // Fetched again (the file was deleted): the row's old figures are no partial's.
  fs::remove(scratch.folder() / "pt.ndz");
  Write("pt.ndz.part", 10);
  list.maxRunning = 0;
  list.Start(Order("pt.ndz"), WhenThere::kAsk);
  EXPECT_EQ(Words("pt.ndz"), "未完成");
  EXPECT_EQ(list.Find(pt)->done, 0);

  common::DownloadOrder outside = Order("../pt.ndz");
  EXPECT_EQ(StateInFolder(outside, list.rows()).state, PackageState::kMissing) << "never looked for outside the folder";
}

// 修复 runs only after a check found bad pieces, with the archive's own address; it says how far
// it got while it runs, and its end is the row's new verdict.
TEST_F(PackageStateTest, ARepairIsAJobOfTheListAfterAFailedCheck) {
  std::atomic<bool> finish{false};
  std::string heard;
  list.jobCalls.check = [](const std::string&, const std::string&, const std::function<void(const std::string&)>&,
                           const std::function<bool()>&) {
    return CheckOutcome{false, "校验失败：2 块损坏", "坏块 6：字节 98304-114687"};
  };
  list.jobCalls.repair = [&](const std::string& archive, const std::string& torrent, const std::string& address,
                             const std::function<void(const std::string&)>& show, const std::function<bool()>& stop) {
    heard = archive + " " + torrent + " " + address;
    show("修复中：取回坏块 50%");
    while (!finish && !stop()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return CheckOutcome{true, "修复完成（取回 2 块），校验通过", {}};
  };
  const int id = Completed("pro.ndz", 4000);
  list.Repair(id);
  EXPECT_EQ(list.Find(id)->verdict, CheckVerdict::kChecking) << "not before the check failed";
  TickUntil([&] { return list.Find(id)->verdict == CheckVerdict::kFailed; });

  list.Repair(id);
  TickUntil([&] { return list.Find(id)->verdictText == "修复中：取回坏块 50%"; });
  EXPECT_EQ(StateWords(*list.Find(id)), "完成，修复中：取回坏块 50%");
  EXPECT_EQ(heard, scratch.folder().string() + "/pro.ndz http://x/pro.ndz.torrent http://x/pro.ndz");
  list.Repair(id);  // a second click while it runs starts nothing
  // A list kept while it ran comes back without a verdict, and may be checked again.
  DownloadList restored{fake.Calls()};
  restored.Restore(list.rows(), false);
  EXPECT_EQ(restored.Find(id)->verdict, CheckVerdict::kNone);
  EXPECT_EQ(StateWords(*restored.Find(id)), "完成");
  finish = true;
  const auto events = TickUntil([&] { return list.Find(id)->verdict != CheckVerdict::kChecking; });
  EXPECT_EQ(list.Find(id)->verdict, CheckVerdict::kPassed);
  EXPECT_EQ(StateWords(*list.Find(id)), "完成，校验通过");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().words, "修复完成（取回 2 块），校验通过");
}

}  // namespace
