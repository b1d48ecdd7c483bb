// The planner's decisions on plain figures: how many connections, which one to split, when
// a stalled tail is fetched again.
#include <gtest/gtest.h>

#include "planner.h"

using namespace dlcore;

namespace {

using std::chrono::milliseconds;
using Ranges = std::vector<ByteRange>;

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

// Where a trial's cut costs more than it can win (a long fast line), the count never
// grows: not at first, and not when the settled stream's speed falls with a loss.
TEST(Ramp, ACountThatMayNotGrowStaysAlsoWhenItsSpeedFalls) {
  Ramp r;
  NextRampStep(r, 1, 4e6, 16, false);
  EXPECT_TRUE(r.settled);
  EXPECT_EQ(r.target, 1);
  NextRampStep(r, 1, 1e6, 16, false);
  EXPECT_TRUE(r.settled) << "a loss is no reason for a trial here";
  EXPECT_EQ(r.target, 1);
  NextRampStep(r, 1, 1e6, 16, true);
  EXPECT_FALSE(r.settled) << "where a trial is cheap, the fall opens the ramp";
  EXPECT_EQ(r.target, 4);
  Ramp four;  // four that paid, then growth stops paying: the count stays, never falls below
  NextRampStep(four, 1, 1e6, 16);
  NextRampStep(four, 4, 4e6, 16, false);
  EXPECT_TRUE(four.settled);
  EXPECT_EQ(four.target, 4);
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
  const auto lo = std::chrono::microseconds(100);
  // 8 MB left at 1 MB/s (8 s) against 20 MB left at 10 MB/s (2 s).
  auto plan = PlanConnection({}, {{0, 8'000'000, 1e6}, {100'000'000, 120'000'000, 10e6}}, lo);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->splitFrom, 0u);
  EXPECT_EQ(plan->range, (ByteRange{4'000'000, 8'000'000}));

  // One that has just started runs at the others' mean speed: its 30 MB are 3 s, not 30 M.
  // It is not split itself until its own speed is known.
  plan = PlanConnection({}, {{0, 40'000'000, 10e6}, {50'000'000, 80'000'000, 0}}, lo);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->splitFrom, 0u);
  EXPECT_FALSE(PlanConnection({}, {{0, 100'000'000, 0}}, lo)) << "a connection of unknown speed";
}

TEST(PlanConnection, AHalfIsWorthAQuarterSecondOfItsConnectionAndItsCut) {
  const auto lo = std::chrono::microseconds(100);
  // A paced 256 KiB/s connection with 200 KiB left is split (0.4 s to go)...
  EXPECT_TRUE(PlanConnection({}, {{0, 200 << 10, 256 << 10}}, lo));
  // ...one at 1 GB/s with 100 MB left is not: its cut would throw away megabytes.
  EXPECT_FALSE(PlanConnection({}, {{0, 100'000'000, 1e9}}, lo));
  EXPECT_TRUE(PlanConnection({}, {{0, 600'000'000, 1e9}}, lo));
  // Never below 16 KiB halves, whatever the speed.
  EXPECT_FALSE(PlanConnection({}, {{0, 30 << 10, 10}}, lo));
  // On a 300 ms round trip a 4 MB/s connection has megabytes on their way: 20 MB left are
  // not worth a cut there, and are on loopback.
  EXPECT_FALSE(PlanConnection({}, {{0, 20'000'000, 4e6}}, milliseconds(300)));
  EXPECT_TRUE(PlanConnection({}, {{0, 20'000'000, 4e6}}, lo));
}

TEST(PlanConnection, ATrialTakesItsBytesFromTheEnd) {
  auto plan = PlanConnection({}, {{0, 100'000'000, 10e6}}, milliseconds(300), 1'000'000);
  ASSERT_TRUE(plan) << "a trial's cut comes last and costs at most its own bytes";
  EXPECT_EQ(plan->range, (ByteRange{99'000'000, 100'000'000}));
  EXPECT_EQ(plan->splitFrom, 0u);
  plan = PlanConnection({}, {{0, 1'000'000, 10e6}}, milliseconds(0), 4'000'000);
  ASSERT_TRUE(plan) << "never more than half of what is left";
  EXPECT_EQ(plan->range, (ByteRange{500'000, 1'000'000}));
}

TEST(Trial, WorthItOnlyWhereItsCutIsSmall) {
  // One stream at 4 MB/s on a 300 ms round trip: 3.6 MB in flight at a cut.
  EXPECT_FALSE(TrialWorthIt(64 << 20, 4e6, milliseconds(300)));
  EXPECT_TRUE(TrialWorthIt(1LL << 30, 4e6, milliseconds(300)));
  EXPECT_TRUE(TrialWorthIt(16 << 20, 256 << 10, std::chrono::microseconds(100)));
  EXPECT_EQ(RampWindow(milliseconds(50), std::chrono::microseconds(100)), milliseconds(50));
  EXPECT_EQ(RampWindow(milliseconds(50), milliseconds(300)), milliseconds(2400));
}

TEST(StalledTail, OnlyASmallRemainderSilentFarLongerThanUsual) {
  const std::chrono::microseconds patience = milliseconds(250), lo(100);
  std::vector<ConnectionView> c = {{0, 100 << 10, 0, true, milliseconds(300), milliseconds(1)}};
  EXPECT_EQ(StalledTail(c, 256 << 10, patience, lo), 0u);
  c[0].sinceData = milliseconds(200);
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience, lo)) << "within the patience";
  // A slow paced server sends a piece every 100 ms: 300 ms of silence is its rhythm.
  c[0] = {0, 100 << 10, 0, true, milliseconds(300), milliseconds(100)};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience, lo));
  c[0] = {0, 10 << 20, 0, true, std::chrono::seconds(5), milliseconds(1)};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience, lo)) << "a long range is not at the tail";
}

// On a 300 ms round trip a new connection's first byte comes after 600 ms: silence before
// it is no stall, and after it the patience is counted in round trips.
TEST(StalledTail, ALongLinkIsNotAStall) {
  const auto patience = milliseconds(250), rtt = milliseconds(300);
  std::vector<ConnectionView> c = {{0, 100 << 10, 0, false, std::chrono::seconds(2), {}}};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience, rtt)) << "no data yet";
  c[0] = {0, 100 << 10, 0, true, milliseconds(900), milliseconds(10)};
  EXPECT_FALSE(StalledTail(c, 256 << 10, patience, rtt)) << "three round trips";
  c[0].sinceData = milliseconds(2500);
  EXPECT_EQ(StalledTail(c, 256 << 10, patience, rtt), 0u);
}

TEST(PlanConnection, FreeSpaceFirstThenHalfOfTheLargestRemainder) {
  const std::chrono::milliseconds rtt(0);
  auto plan = PlanConnection({{0, 5}, {10, 30}}, {{40, 100, 1e6}}, rtt);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{10, 30}));
  EXPECT_FALSE(plan->splitFrom);

  plan = PlanConnection({}, {{0, 1'000'000, 1e6}, {40'000'000, 100'000'000, 1e6}}, rtt);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{70'000'000, 100'000'000}));
  EXPECT_EQ(plan->splitFrom, 1u);
  EXPECT_FALSE(PlanConnection({}, {{0, 30'000, 1e6}}, rtt)) << "no part smaller than the minimum";
  EXPECT_FALSE(PlanConnection({}, {}, rtt));
}

// Random splitting never hands a byte to two connections and never loses one.
TEST(PlanConnection, SplitsPartitionTheFileExactly) {
  unsigned seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (std::int64_t total : {1, 1000, 1 << 20, (1 << 20) + 1}) {
    Ranges owned = {{0, total}};
    for (int step = 0; step < 40; ++step) {
      std::vector<ConnectionView> views;
      for (auto& r : owned) views.push_back({r.begin, r.end, double(next() % 3) * 1000});
      auto plan = PlanConnection({}, views, std::chrono::milliseconds(0));
      if (!plan) break;
      owned[*plan->splitFrom].end = plan->range.begin;
      owned.push_back(plan->range);
      if (next() % 3 == 0) owned[next() % owned.size()].begin += 1;  // progress on one of them
    }
    RangeSet all;
    std::int64_t sum = 0;
    for (auto& r : owned) {
      ASSERT_GE(r.size(), 0);
      all.Add(r);
      sum += r.size();
    }
    EXPECT_EQ(sum, all.Covered()) << "no overlap for " << total;
  }
}

// Under the speed limit a held connection's buffers are full of its next bytes: it is never cut.
TEST(PlanConnection, AConnectionTheLimitHoldsIsNotCut) {
  ConnectionView held{0, 100'000'000, 1e6};
  held.limited = true;
  EXPECT_FALSE(PlanConnection({}, {held}, milliseconds(0)));
  held.limited = false;
  EXPECT_TRUE(PlanConnection({}, {held}, milliseconds(0)));
  EXPECT_TRUE(PlanConnection({{0, 10}}, {held}, milliseconds(0))) << "what nobody owns is taken all the same";
}

}  // namespace
