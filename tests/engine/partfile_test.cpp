// The data file's lock and its last step: a download renames its complete file while it
// still holds the lock, and a second download that opened the same ".part" before the rename
// can neither empty nor replace the completed file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../fixtures/wine.h"
#include "partfile.h"

using namespace dlcore;

namespace {

class PartFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("quorvel-part-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string Read(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path folder_;
};

const std::string kData = "the whole file, every byte of it";

TEST_F(PartFileTest, ASecondDownloadInTheLastStepCannotTakeTheFile) {
  PartFile first(folder_.string(), "map.zip");
  ASSERT_EQ(first.Create(), 0);
  ASSERT_EQ(first.LockOrLetGo(), PartFile::Lock::kTaken);
  EXPECT_TRUE(first.TryLock()) << "asked again by its holder: held, not refused (Windows refuses a second lock)";
  platform::Fault error = platform::Fault::kNone;
  ASSERT_TRUE(first.Write(kData.data(), kData.size(), 0, error));
  ASSERT_TRUE(first.Flush(std::int64_t(kData.size())));

  // The second download opens the ".part" between the first one's flush and its rename...
  PartFile second(folder_.string(), "map.zip");
  ASSERT_EQ(second.OpenExisting(), 0);
  ASSERT_TRUE(second.IsOpen());
  EXPECT_FALSE(second.TryLock()) << "the first download still holds it";

  // ...the first renames it while it holds the lock, and only then lets go...
  ASSERT_EQ(first.Complete(false), "map.zip");
  first.Close();

  // ...so the second one's lock comes too late: the file is no longer the ".part".
  EXPECT_EQ(second.LockOrLetGo(), PartFile::Lock::kMoved);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_FALSE(second.Truncate()) << "nothing left to truncate";
  EXPECT_EQ(Read("map.zip"), kData);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "map.zip.part"));

  // A fresh start of the second download makes a file of its own.
  ASSERT_EQ(second.Create(), 0);
  EXPECT_EQ(second.LockOrLetGo(), PartFile::Lock::kTaken);
  EXPECT_EQ(Read("map.zip"), kData);
}

TEST_F(PartFileTest, ALockHeldElsewhereIsBusyAndAReplacedPartIsMoved) {
  PartFile first(folder_.string(), "a.bin");
  ASSERT_EQ(first.Create(), 0);
  ASSERT_EQ(first.LockOrLetGo(), PartFile::Lock::kTaken);
  PartFile second(folder_.string(), "a.bin");
  ASSERT_EQ(second.OpenExisting(), 0);
  EXPECT_EQ(second.LockOrLetGo(), PartFile::Lock::kBusy);
  EXPECT_FALSE(second.IsOpen());

  // The ".part" removed and made anew under the same name: an open descriptor of the old
  // one is not the file the name stands for.
  if (UnderWine()) GTEST_SKIP() << "wine has no delete with POSIX semantics: the name stays while a handle is open";
  PartFile third(folder_.string(), "a.bin");
  ASSERT_EQ(third.OpenExisting(), 0);
  first.Remove();
  first.Close();
  PartFile fourth(folder_.string(), "a.bin");
  ASSERT_EQ(fourth.Create(), 0);
  EXPECT_EQ(third.LockOrLetGo(), PartFile::Lock::kMoved);
  EXPECT_EQ(fourth.LockOrLetGo(), PartFile::Lock::kTaken);
}

}  // namespace
