// The settings file's values through their one table: a value missing, empty, of another type
// or out of its range reads as the table says, and a write stays within the range.
#include "settingstable.h"

#include <gtest/gtest.h>

#include "../../fixtures/scratch.h"
#include "registryfile.h"

namespace {

TEST(SettingsTable, WhatIsNotUsableReadsAsTheTableSays) {
  ScratchConfig scratch;
  EXPECT_EQ(core::ReadSetting(core::kDeviceNumber), "3261") << "missing";
  EXPECT_EQ(core::ReadNumber(core::kAtOnce), 3);
  EXPECT_TRUE(core::ReadSwitch(core::kResumeAtStart));
  EXPECT_FALSE(core::ReadSwitch(core::kSwarmAfterTorrent));
  const std::pair<const char*, int> atOnce[] = {{"2", 2}, {"8", 8}, {"9", 3}, {"0", 3}, {"-1", 3}, {"2x", 3}, {"", 3}};
  for (auto [text, want] : atOnce) {
    ASSERT_TRUE(core::registry::WriteText(core::SettingsFilePath(), "Quorvel\\同时下载", text));
    EXPECT_EQ(core::ReadNumber(core::kAtOnce), want) << text;
  }
  ASSERT_TRUE(core::registry::WriteText(core::SettingsFilePath(), "Quorvel\\启动时继续下载", "yes"));
  EXPECT_TRUE(core::ReadSwitch(core::kResumeAtStart)) << "neither 0 nor 1: the default";
  ASSERT_TRUE(core::WriteSwitch(core::kResumeAtStart, false));
  EXPECT_FALSE(core::ReadSwitch(core::kResumeAtStart));
  ASSERT_TRUE(core::WriteNumber(core::kSpeedLimit, 5 << 20));
  EXPECT_EQ(core::ReadNumber(core::kSpeedLimit), 1 << 20) << "written within its range";
  EXPECT_EQ(core::registry::ReadText(core::SettingsFilePath(), "Quorvel\\限速"), "1048576");
}

}  // namespace
