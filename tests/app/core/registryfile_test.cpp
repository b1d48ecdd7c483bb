#include "registryfile.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

using namespace core;

namespace fs = std::filesystem;
using registry::FindText;
using registry::SetText;

namespace {

const char* NoEnv(const char*) { return nullptr; }

class RegistryFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quorvel-reg-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = (folder_ / "Quorvel" / "registry.reg").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Put(const std::string& content) {
    fs::create_directories(fs::path(file_).parent_path());
    std::ofstream(file_, std::ios::binary) << content;
  }
  std::string Get() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int FilesInFolder() const {
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(fs::path(file_).parent_path())) ++n;
    return n;
  }

  fs::path folder_;
  std::string file_;
};

TEST(RegistryText, ReadsTextAndExpandableTextOnly) {
  const std::string content =
      "WINE REGISTRY Version 2\n"
      ";; comment\n"
      "\n"
      "[Other]\n"
      "\"设备号\"=\"other key\"\n"
      "[quorvel] 1700000000\n"
      "#time=1d9\n"
      "\"设备号\"=\"3261\"\n"
      "\"保存目录\"=dword:0000000a\n"
      "\"图资\"=hex:41,00\n"
      "\"多\"=str(7):\"a\"\n"
      "\"展开\"=str(2):\"%QV_HOME%/dl\"\n";
  auto env = [](const char* n) -> const char* { return std::string(n) == "QV_HOME" ? "/home/u" : nullptr; };
  EXPECT_EQ(FindText(content, "Quorvel\\设备号", env), "3261");  // key names ignore case
  EXPECT_EQ(FindText(content, "Quorvel\\保存目录", env), "");    // DWORD is not text
  EXPECT_EQ(FindText(content, "Quorvel\\图资", env), "");
  EXPECT_EQ(FindText(content, "Quorvel\\多", env), "");
  EXPECT_EQ(FindText(content, "Quorvel\\展开", env), "/home/u/dl");
  EXPECT_EQ(FindText(content, "Quorvel\\missing", env), "");
  EXPECT_EQ(FindText(content, "Missing\\设备号", env), "");
}

TEST(RegistryText, MalformedContentReadsAsEmptyWithoutHarm) {
  const char kBinary[] = "\x00\x01\xff\xfe[Quorvel]\x00\"a\"=\"b\"\n\x80\x81";
  const std::string binary(kBinary, sizeof kBinary - 1);
  const std::string cases[] = {
      "",
      "[Quorvel]\n\"设备号\"=\"32",       // truncated in the middle of a value
      "[Quorvel\n\"设备号\"=\"3261\"\n",  // header never closed
      "[Quorvel]\n\"设备号=\"3261\"\n",   // name never closed
      "[Quorvel]\n\"设备号\"\n",          // no data
      binary,
      "[Quorvel]\n\"\xc9\xe8\xb1\xb8\xba\xc5\"=\"\xb2\xe2\"\n",  // GBK bytes, not UTF-8
  };
  for (const std::string& content : cases) {
    EXPECT_EQ(FindText(content, "Quorvel\\设备号", NoEnv), "") << content;
    std::string written = SetText(content, "Quorvel\\设备号", "42");
    EXPECT_EQ(FindText(written, "Quorvel\\设备号", NoEnv), "42");
    // Every line that could not be read is kept as it was.
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) EXPECT_NE(written.find(line + '\n'), std::string::npos) << line;
  }
}

TEST(RegistryText, CarriageReturnsBlankLinesAndLongLines) {
  std::string longValue(1 << 20, 'x');
  std::string content = "\r\n[Quorvel]\r\n\r\n  \"设备号\"=\"3261\"\r\n\"长\"=\"" + longValue + "\"\n";
  EXPECT_EQ(FindText(content, "Quorvel\\设备号", NoEnv), "3261");
  EXPECT_EQ(FindText(content, "Quorvel\\长", NoEnv), longValue);
}

TEST(RegistryText, EscapesRoundTrip) {
  const std::string tricky = "a\"b\\c\td\ne\x01 中文 [x] %PATH%";
  std::string content = SetText("", "Quorvel\\值", tricky);
  EXPECT_EQ(content.rfind("WINE REGISTRY Version 2\n", 0), 0u);
  EXPECT_EQ(FindText(content, "Quorvel\\值", NoEnv), tricky);
  // Wine's \x escapes are UTF-16 code units, pairs included; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(FindText("[Quorvel]\n\"v\"=\"\\x4e2d\\xd83d\\xde00\\xd800z\"\n", "Quorvel\\v", NoEnv), "中😀\xEF\xBF\xBDz");
  // A REG_SZ ends at its first NUL.
  EXPECT_EQ(FindText("[Quorvel]\n\"v\"=\"ab\\0cd\"\n", "Quorvel\\v", NoEnv), "ab");
}

TEST(RegistryText, DuplicatesLastWinsAndWritingLeavesOne) {
  std::string content = "[Quorvel]\n\"设备号\"=\"1\"\n\"x\"=\"keep\"\n[Quorvel]\n\"设备号\"=\"2\"\n";
  EXPECT_EQ(FindText(content, "Quorvel\\设备号", NoEnv), "2");
  std::string written = SetText(content, "Quorvel\\设备号", "3");
  EXPECT_EQ(written, "[Quorvel]\n\"设备号\"=\"3\"\n\"x\"=\"keep\"\n[Quorvel]\n");
}

TEST(RegistryText, WritingKeepsEveryOtherLine) {
  const std::string content =
      "WINE REGISTRY Version 2\n;; kept comment\n\n[Software\\\\Wine] 1\n\"设备号\"=\"not ours\"\n"
      "\"bin\"=hex:01,02,\\\n  03,04\n[Quorvel]\n\"图资\"=\"3m21j27\"\n\"保存目录\"=dword:00000001\n";
  std::string written = SetText(content, "Quorvel\\设备号", "3261");
  EXPECT_EQ(written, content.substr(0, content.find("[Quorvel]\n") + 10) + "\"设备号\"=\"3261\"\n" +
                         "\"图资\"=\"3m21j27\"\n\"保存目录\"=dword:00000001\n");
  // Replacing a value of another type turns it into text in place.
  std::string replaced = SetText(written, "Quorvel\\保存目录", "/tmp/");
  EXPECT_EQ(FindText(replaced, "Quorvel\\保存目录", NoEnv), "/tmp/");
  EXPECT_EQ(FindText(replaced, "Quorvel\\图资", NoEnv), "3m21j27");
  EXPECT_EQ(FindText(replaced, "Software\\Wine\\设备号", NoEnv), "not ours");
  // A file without a final newline gets the new key on a line of its own.
  EXPECT_EQ(FindText(SetText("[A]\n\"v\"=\"1\"", "Quorvel\\v", "2"), "A\\v", NoEnv), "1");
}

// A key the reader would refuse (not UTF-8) filed the value under the key before it: a write
// of such a path or text changes nothing (found by the settings file fuzz target).
TEST(RegistryText, PathsAndTextsThatAreNotUtf8AreNotWritten) {
  const std::string content = "WINE REGISTRY Version 2\n\n[]\n\"a\"=\"1\"\n";
  EXPECT_EQ(SetText(content, "\xF4\x8F\\x\\", "v"), content);
  EXPECT_EQ(FindText(SetText(content, "\xF4\x8F\\", "v"), "\\", NoEnv), "");
  EXPECT_EQ(SetText(content, "Quorvel\\a", "\xC3"), content);
  EXPECT_EQ(SetText(content, std::string("]\0\0[Quorvel]x\\", 14), "Q"), content) << "a key that would end early";
  EXPECT_EQ(SetText(content, "Quor\nvel\\a", "v"), content);
  EXPECT_EQ(SetText(content, "Quorvel\\a", std::string("a\0b", 3)), content);
}

TEST(RegistryText, ExpandEnvironmentLikeWindows) {
  auto env = [](const char* n) -> const char* {
    std::string name(n);
    return name == "A" ? "x" : name == "B" ? "y" : nullptr;
  };
  using registry::ExpandEnvironment;
  EXPECT_EQ(ExpandEnvironment("%A%/%B%", env), "x/y");
  EXPECT_EQ(ExpandEnvironment("%NOPE%", env), "%NOPE%");
  EXPECT_EQ(ExpandEnvironment("%NOPE%B%", env), "%NOPEy");
  EXPECT_EQ(ExpandEnvironment("100% sure", env), "100% sure");
  EXPECT_EQ(ExpandEnvironment("%%A%", env), "%x");
  EXPECT_EQ(ExpandEnvironment("", env), "");
}

TEST_F(RegistryFileTest, MissingFileReadsEmptyAndWriteCreatesFolderAndFile) {
  EXPECT_EQ(registry::ReadText(file_, "Quorvel\\设备号"), "");
  ASSERT_TRUE(registry::WriteText(file_, "Quorvel\\设备号", "3261"));
  EXPECT_EQ(registry::ReadText(file_, "Quorvel\\设备号"), "3261");
  EXPECT_EQ(Get(), "WINE REGISTRY Version 2\n\n[Quorvel]\n\"设备号\"=\"3261\"\n");
  EXPECT_EQ(FilesInFolder(), 1) << "no temporary file is left behind";
}

TEST_F(RegistryFileTest, UnusablePlacesFailWithoutDamage) {
  // The settings file is a folder: nothing reads, nothing is replaced.
  fs::create_directories(file_);
  EXPECT_EQ(registry::ReadText(file_, "Quorvel\\设备号"), "");
  EXPECT_FALSE(registry::WriteText(file_, "Quorvel\\设备号", "1"));
  EXPECT_TRUE(fs::is_directory(file_));
  // The folder cannot be created because a file stands in its way.
  std::string blocked = (folder_ / "file" / "registry.reg").string();
  std::ofstream((folder_ / "file").string()) << "x";
  EXPECT_FALSE(registry::WriteText(blocked, "Quorvel\\设备号", "1"));
}

TEST_F(RegistryFileTest, FullDiskKeepsTheOldFile) {
  const std::string old = "WINE REGISTRY Version 2\n\n[Quorvel]\n\"设备号\"=\"3261\"\n";
  Put(old);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tiny = saved;
  tiny.rlim_cur = 64;  // any write beyond 64 bytes fails as on a full disk
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  bool written = registry::WriteText(file_, "Quorvel\\保存目录", std::string(200, 'd'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Get(), old);
  EXPECT_EQ(FilesInFolder(), 1);
}

}  // namespace
