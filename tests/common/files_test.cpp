#include "files.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

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
