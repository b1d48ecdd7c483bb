// Byte ranges: what is done, what is owned and what is left.

#include <gtest/gtest.h>

#include "ranges.h"

using namespace dlcore;

namespace {

using Ranges = std::vector<ByteRange>;

TEST(RangeSet, MergesAndFindsGaps) {
  RangeSet s;
  s.Add({10, 20});
  s.Add({30, 40});
  s.Add({20, 25});  // touching merges
  s.Add({0, 0});    // empty adds nothing
  EXPECT_EQ(s.ranges(), (Ranges{{10, 25}, {30, 40}}));
  s.Add({5, 35});
  EXPECT_EQ(s.ranges(), (Ranges{{5, 40}}));
  EXPECT_EQ(s.Covered(), 35);
  EXPECT_EQ(s.Gaps(50), (Ranges{{0, 5}, {40, 50}}));
  EXPECT_TRUE(s.Contains({5, 40}));
  EXPECT_FALSE(s.Contains({4, 6}));
  EXPECT_EQ(RangeSet().Gaps(0), Ranges{});
  EXPECT_EQ(RangeSet().Gaps(3), (Ranges{{0, 3}}));
}

}  // namespace
