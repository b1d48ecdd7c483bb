#include "librarycall.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace core;

namespace {

struct Failure {
  std::string library, function;
};

TEST(LibraryCall, BindsAtTheFirstCallAndOnlyOnce) {
  std::vector<Failure> failures;
  LibraryBinder binder([&](const std::string& l, const std::string& f) { failures.push_back({l, f}); });
  LibraryFunction<int(int)> add(binder, TESTLIB_PATH, "TestLib_AddFortyTwo");
  EXPECT_EQ(add(1), 43);
  EXPECT_EQ(add(-42), 0);
  EXPECT_TRUE(failures.empty());
}

TEST(LibraryCall, MissingLibraryOrFunctionIsReportedWithFileAndFunctionName) {
  std::vector<Failure> failures;
  LibraryBinder binder([&](const std::string& l, const std::string& f) { failures.push_back({l, f}); });
  LibraryFunction<int()> missingLib(binder, "/nowhere/.dlcore-0000.so", "DL_Init");
  LibraryFunction<void(int)> missingFn(binder, TESTLIB_PATH, "DL_UnInit");
  EXPECT_TRUE(failures.empty()) << "nothing is bound before the first call";
  EXPECT_EQ(missingLib(), 0);
  missingFn(1);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].library, ".dlcore-0000.so");
  EXPECT_EQ(failures[0].function, "DL_Init");
  EXPECT_EQ(failures[1].library, std::string(TESTLIB_PATH).substr(std::string(TESTLIB_PATH).rfind('/') + 1));
  EXPECT_EQ(failures[1].function, "DL_UnInit");
  EXPECT_EQ(LibraryCallErrorText("dlcore.so", "DL_Init"), "无法找到指定DLL库文件“dlcore.so”中的输出命令“DL_Init”");
}

}  // namespace
