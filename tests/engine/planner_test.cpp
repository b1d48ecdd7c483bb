// The planner's decisions on plain figures: how many connections, which one to split, when
// a stalled tail is fetched again.
#include <gtest/gtest.h>

#include "planner.h"

using namespace dlcore;

namespace {

using std::chrono::milliseconds;

TEST(Ramp, ConnectionsAreAddedWhileEachStepPays) {
  Ramp r;
  NextRampStep(r, 1, 1e6, 16);  // one paced stream at 1 MB/s
  EXPECT_EQ(r.target, 4);
  NextRampStep(r, 4, 3.9e6, 16);  // four streams, four times the speed
  EXPECT_EQ(r.target, 16);
  EXPECT_FALSE(r.settled);
  NextRampStep(r, 16, 15e6, 16);
  EXPECT_EQ(r.target, 16);
  EXPECT_TRUE(r.settled) << "the cap is reached";
}

TEST(Ramp, AStepThatDoesNotPayIsTakenBack) {
  Ramp fills;  // one stream that fills the line
  NextRampStep(fills, 1, 500e6, 16);
  NextRampStep(fills, 4, 520e6, 16);
  EXPECT_EQ(fills.target, 1);
  EXPECT_TRUE(fills.settled);

  Ramp shared;  // a server that gains from 4 but not from 16
  NextRampStep(shared, 1, 1e6, 16);
  NextRampStep(shared, 4, 4e6, 16);
  NextRampStep(shared, 16, 4.5e6, 16);
  EXPECT_EQ(shared.target, 4);
  EXPECT_TRUE(shared.settled);
}

TEST(Ramp, TheCapLimitsEveryStep) {
  Ramp r;
  NextRampStep(r, 1, 1e6, 3);
  EXPECT_EQ(r.target, 3);
  NextRampStep(r, 3, 3e6, 3);
  EXPECT_TRUE(r.settled);
  EXPECT_EQ(r.target, 3);
  Ramp one;
  NextRampStep(one, 1, 1e6, 1);
  EXPECT_TRUE(one.settled);
  EXPECT_EQ(one.target, 1);
}

// nginx sends each request's first second at once: a throttled stream first looks like one
// that fills the line, then falls to its limit. The fall opens the ramp again.
TEST(Ramp, ASettledCountIsTriedAgainWhenItsSpeedFalls) {
  Ramp r;
  NextRampStep(r, 1, 800e6, 16);
  NextRampStep(r, 4, 810e6, 16);
  ASSERT_TRUE(r.settled);
  NextRampStep(r, 1, 700e6, 16);  // ordinary wobble: stays
  EXPECT_TRUE(r.settled);
  NextRampStep(r, 1, 1e6, 16);  // the burst is over
  EXPECT_FALSE(r.settled);
  EXPECT_EQ(r.target, 4);
  NextRampStep(r, 4, 4e6, 16);
  EXPECT_EQ(r.target, 16);
}

TEST(Ramp, TrialConnectionsAskForAFewWindowsOnly) {
  Ramp r;
  EXPECT_EQ(TrialBytes(r, milliseconds(50)), 0) << "the sole stream asks for everything";
  NextRampStep(r, 1, 10e6, 16);
  EXPECT_EQ(TrialBytes(r, milliseconds(50)), 2'000'000);  // 0.2 s at 10 MB/s
  NextRampStep(r, 4, 12e6, 16);                           // did not pay
  EXPECT_EQ(TrialBytes(r, milliseconds(50)), 0);
  Ramp slow, fast;
  NextRampStep(slow, 1, 1000, 16);
  NextRampStep(fast, 1, 10e9, 16);
  EXPECT_EQ(TrialBytes(slow, milliseconds(50)), kTrialMin);
  EXPECT_EQ(TrialBytes(fast, milliseconds(50)), kTrialMax);
}

TEST(PlanConnection, TheConnectionWithTheMostTimeLeftIsSplit) {
  // 8 MB left at 1 MB/s (8 s) against 20 MB left at 10 MB/s (2 s).
  auto plan = PlanConnection({}, {{0, 8'000'000, 1e6}, {100'000'000, 120'000'000, 10e6}}, 256 << 10);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->splitFrom, 0u);
  EXPECT_EQ(plan->range, (ByteRange{4'000'000, 8'000'000}));

  // One that has just started runs at the others' mean speed: its 30 MB are 3 s, not 30 M.
  plan = PlanConnection({}, {{0, 40'000'000, 10e6}, {50'000'000, 80'000'000, 0}}, 256 << 10);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->splitFrom, 0u);
}

TEST(PlanConnection, AHalfIsWorthAQuarterSecondOfItsConnection) {
  // A paced 256 KiB/s connection with 200 KiB left is split (0.4 s to go)...
  EXPECT_TRUE(PlanConnection({}, {{0, 200 << 10, 256 << 10}}, 256 << 10));
  // ...one at 1 GB/s with 100 MB left is not: the request would cost more than it wins.
  EXPECT_FALSE(PlanConnection({}, {{0, 100'000'000, 1e9}}, 256 << 10));
  EXPECT_TRUE(PlanConnection({}, {{0, 600'000'000, 1e9}}, 256 << 10));
  // Never below 16 KiB halves, whatever the speed.
  EXPECT_FALSE(PlanConnection({}, {{0, 30 << 10, 10}}, 256 << 10));
}

TEST(StalledTail, OnlyASmallRemainderSilentFarLongerThanUsual) {
  const auto patience = milliseconds(250);
  std::vector<ConnectionView> c = {{0, 100 << 10, 0, milliseconds(300), milliseconds(1)}};
  EXPECT_EQ(StalledTail(c, 256 << 10, patience), 0u);
  c[0].sinceData = milliseconds(200);
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience)) << "within the patience";
  // A slow paced server sends a piece every 100 ms: 300 ms of silence is its rhythm.
  c[0] = {0, 100 << 10, 0, milliseconds(300), milliseconds(100)};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience));
  c[0] = {0, 10 << 20, 0, std::chrono::seconds(5), milliseconds(1)};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience)) << "a long range is not at the tail";
}

}  // namespace
