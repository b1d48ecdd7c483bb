#include "safename.h"
#include "pathtext.h"

#include <gtest/gtest.h>

using common::IsSafeFileName;
using common::SafeFileName;

// The same rule on both systems: a name Windows would take as another file, a stream, a device
// or a folder is refused everywhere, and SafeFileName never makes one.
TEST(SafeName, WindowsRulesHoldOnEverySystem) {
  const char* refused[] = {
      "",       ".",         "..",         "..\\..\\x.bin", "a\\b.bin", "a/b.bin", "a:b.bin", "C:x.bin",
      "a*b",    "a?b",       "a\"b",       "a<b",           "a>b",      "a|b",     "trail.",  "trail. ",
      "trail ", "tab\tname", "line\nname", "del\x7f",       "NUL",      "nul",     "NUL.txt", "nul.tar.gz",
      "Com1",   "COM9.ndz",  "lpt1.bin",   "con",           "Con .zip", "AUX",     "prn.x",
  };
  for (const char* name : refused) {
    EXPECT_FALSE(IsSafeFileName(name)) << "[" << name << "]";
    const std::string made = SafeFileName(name);
    EXPECT_TRUE(IsSafeFileName(made)) << "[" << name << "] became [" << made << "]";
  }
  const char* taken[] = {"3d_a1.ndz",   "新文件.zip", "a b.zip", ".hidden", "COM10.txt",  "COM0",      "LPT",
                         "CONSOLE.txt", "x.CON",      "NULL",    "a.b.c",   "v3.2.1.zip", "名 字 .zip"};
  for (const char* name : taken) EXPECT_TRUE(IsSafeFileName(name)) << "[" << name << "]";
}

TEST(SafeName, SafeFileNameKeepsWhatItCanOfAName) {
  EXPECT_EQ(SafeFileName("a:b*c?.zip"), "a_b_c_.zip");
  EXPECT_EQ(SafeFileName("NUL.zip"), "_NUL.zip");
  EXPECT_EQ(SafeFileName("v3."), "v3_");
  EXPECT_EQ(SafeFileName("<v3>"), "_v3_");
}

// Paths as each system writes them: the engine finds its own folder, and the download list
// takes a saved row's folder, by these.
TEST(PathText, FoldersAndAbsolutePathsAsTheSystemWritesThem) {
  EXPECT_EQ(common::FolderOf("/usr/lib/quorvel/libdlcore.so"), "/usr/lib/quorvel");
  EXPECT_EQ(common::FolderOf("/libdlcore.so"), "/");
  EXPECT_EQ(common::FolderOf("libdlcore.so"), ".");
#ifdef _WIN32
  EXPECT_EQ(common::FolderOf("C:\\Program Files\\Quorvel\\libdlcore.dll"), "C:\\Program Files\\Quorvel");
  EXPECT_TRUE(common::IsAbsolutePath("C:\\下载"));
  EXPECT_TRUE(common::IsAbsolutePath("\\\\nas\\share\\地图"));
  EXPECT_FALSE(common::IsAbsolutePath("/tmp")) << "no drive: relative to the current one";
#else
  EXPECT_TRUE(common::IsAbsolutePath("/tmp/下载"));
  EXPECT_FALSE(common::IsAbsolutePath("C:\\下载"));
#endif
  EXPECT_FALSE(common::IsAbsolutePath("下载"));
  EXPECT_FALSE(common::IsAbsolutePath(""));
}
