#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/scratch.h"

namespace fs = std::filesystem;

namespace {

TEST(Files, ReadFileUpToTakesOnlyRegularFilesWithinTheLimit) {
  ScratchConfig scratch;
  const std::string path = (scratch.folder() / "f").string();
  std::ofstream(path) << "12345";
  EXPECT_EQ(common::ReadFileUpTo(path, 5), "12345");
  EXPECT_FALSE(common::ReadFileUpTo(path, 4)) << "larger than allowed: nothing, not a part";
  EXPECT_FALSE(common::ReadFileUpTo((scratch.folder() / "missing").string(), 100));
  EXPECT_FALSE(common::ReadFileUpTo(scratch.folder().string(), 100)) << "a folder";
  EXPECT_FALSE(common::ReadFileUpTo("/dev/zero", 100)) << "a device that never ends";

  // A FIFO where a settings or state file should be: answered at once, not waited on.
  const std::string fifo = (scratch.folder() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&] { return common::ReadFileUpTo(fifo, 100); });
  if (read.wait_for(std::chrono::seconds(3)) == std::future_status::timeout) {
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the waiting open go
    ADD_FAILURE() << "waited on a FIFO";
  }
  EXPECT_FALSE(read.get());
}

TEST(Files, WriteFileAtomicallyReplacesOrKeepsAndLeavesNoTemporaryFile) {
  ScratchConfig scratch;
  const std::string path = (scratch.folder() / "f").string();
  ASSERT_TRUE(common::WriteFileAtomically(path, "one", {.mode = 0640, .replace = true, .tempSuffix = {}}));
  EXPECT_EQ(ReadAll(path), "one");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_TRUE(common::WriteFileAtomically(path, "two"));
  EXPECT_EQ(ReadAll(path), "two");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the old file's mode stays";
  EXPECT_FALSE(common::WriteFileAtomically(path, "three", {.mode = std::nullopt, .replace = false, .tempSuffix = {}}));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadAll(path), "two") << "never over an existing file when told so";
  ASSERT_TRUE(common::WriteFileAtomically(path, "four", {.mode = 0644, .replace = true, .tempSuffix = ".tmp"}));
  EXPECT_EQ(ReadAll(path), "four");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.folder()), fs::directory_iterator()), 1)
      << "no temporary left";
  EXPECT_FALSE(common::WriteFileAtomically((scratch.folder() / "no" / "f").string(), "x")) << "a missing folder";
}

}  // namespace
