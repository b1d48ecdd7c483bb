// The single-instance claim, alike here and on Windows (where this runs under wine too): one
// claim per executable path, held until given up, and a second start's request to show the
// first window, taken once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "processguard.h"

using namespace core;

namespace {

std::string Unique(const std::string& stem) {
  return stem + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(InstanceGuard, OneClaimPerExecutablePath) {
  std::intptr_t first = -1, second = -1, other = -1;
  const std::string path = Unique("C:\\Program Files\\guard-test-") + "\\quorvel.exe";
  EXPECT_TRUE(GuardSingleInstance(path, first));
  EXPECT_FALSE(GuardSingleInstance(path, second));
  EXPECT_EQ(second, -1);
  EXPECT_TRUE(GuardSingleInstance(path + "2", other)) << "another folder or name is another instance";
  ReleaseGuard(first);
  EXPECT_TRUE(GuardSingleInstance(path, second)) << "the claim ends with its holder";
  ReleaseGuard(second);
  ReleaseGuard(other);
  // Two folders under a long common prefix are two programs: the whole path counts.
  const std::string deep = Unique("/opt/" + std::string(300, 'd') + "/");
  std::intptr_t a = -1, b = -1;
  EXPECT_TRUE(GuardSingleInstance(deep + "/one/quorvel", a));
  EXPECT_TRUE(GuardSingleInstance(deep + "/two/quorvel", b));
  EXPECT_FALSE(GuardSingleInstance(deep + "/one/quorvel", second));
  ReleaseGuard(a);
  ReleaseGuard(b);
}

TEST(InstanceGuard, ASecondStartAsksTheFirstToShowItself) {
  const std::string path = Unique("/opt/show-test-") + "/quorvel";
  EXPECT_FALSE(ShowFirstInstance(path)) << "no first copy to ask";
  std::intptr_t first = -1, second = -1;
  ASSERT_TRUE(GuardSingleInstance(path, first));
  EXPECT_FALSE(TakeShowRequest(first)) << "nothing asked yet, and no wait";
  ASSERT_FALSE(GuardSingleInstance(path, second));
  EXPECT_TRUE(ShowFirstInstance(path));
  EXPECT_TRUE(TakeShowRequest(first));
  EXPECT_FALSE(TakeShowRequest(first)) << "one request, taken once";
  ReleaseGuard(first);
}

TEST(InstanceGuard, TheInstanceNameIsThePathWithForwardSlashes) {
  EXPECT_EQ(InstanceName("C:\\Tools\\nav\\tool.exe"), "C:/Tools/nav/tool.exe");
  EXPECT_EQ(InstanceName("C:\\TOOLS\\nav\\tool.exe"), "C:/TOOLS/nav/tool.exe") << "case kept";
  const std::string longPath = "C:\\" + std::string(300, 'x') + "\\tool.exe";
  EXPECT_EQ(InstanceName(longPath), "Quorvel/" + InstanceDigest(longPath)) << "too long for a kernel object";
  EXPECT_NE(InstanceDigest(longPath), InstanceDigest(longPath + "x"));
  EXPECT_TRUE(IsLauncherName("TOOL.TMP"));
  EXPECT_FALSE(IsLauncherName("tool.tmp.exe"));
  EXPECT_TRUE(IsLauncherName(".tmp"));
  EXPECT_FALSE(IsLauncherName("tmp"));
}

}  // namespace
