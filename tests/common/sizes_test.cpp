// Sizes and speeds as people read and type them: one unit, 1024 bytes, everywhere.
#include "sizes.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseRate, TakesCurlsSpelling) {
  struct Case {
    const char* text;
    std::int64_t bytes;  // 0: refused
  } cases[] = {
      {"1000", 1000},
      {"500K", 500 << 10},
      {"500k", 500 << 10},
      {"2M", 2 << 20},
      {"1g", std::int64_t(1) << 30},
      {"1024G", std::int64_t(1) << 40},
      {"1025G", 0},
      {"0", 0},
      {"0K", 0},
      {"", 0},
      {"K", 0},
      {"-5", 0},
      {"1.5M", 0},
      {"2MB", 0},
      {" 2M", 0},
      {"2 M", 0},
      {"99999999999999999999", 0},
      {"5X", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(common::ParseRate(c.text).value_or(0), c.bytes) << c.text;
}

TEST(SizeText, OneUnitForSizesAndSpeeds) {
  EXPECT_EQ(common::SizeText(0), "0 B");
  EXPECT_EQ(common::SizeText(1023), "1023 B");
  EXPECT_EQ(common::SizeText(1024), "1.0 KB");
  EXPECT_EQ(common::SizeText(997'376), "974.0 KB") << "what the main window calls 974 KB/S";
  EXPECT_EQ(common::SizeText(3 << 19), "1.50 MB");
  EXPECT_EQ(common::SizeText(std::int64_t(5) << 30), "5.00 GB");
  EXPECT_EQ(common::RateText(100 << 10), "100.0 KB/s") << "as the limit's box counts it";
}

}  // namespace
