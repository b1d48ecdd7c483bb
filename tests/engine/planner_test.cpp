// The planner's decisions on plain figures: how many connections, which range each asks for
// next, when the tail is shared and when a stalled tail is fetched again.
#include <gtest/gtest.h>

#include "planner.h"

using namespace dlcore;

namespace {

using std::chrono::milliseconds;
using Ranges = std::vector<ByteRange>;

TEST(Ramp, SeveralAtOnceThenMoreWhileEachStepPays) {
  EXPECT_EQ(FirstRamp(16).target, kFirstWidth);
  EXPECT_EQ(FirstRamp(3).target, 3) << "never more than the server is given";
  EXPECT_EQ(FirstRamp(1).target, 1);
  EXPECT_EQ(FirstRamp(16, milliseconds(150)).target, 16) << "a long link starts with the cap";
  EXPECT_EQ(FirstRamp(4, milliseconds(150)).target, 4);
  Ramp r = FirstRamp(16);
  NextRampStep(r, 8, 1e6, 16);  // eight lossy streams at 1 MB/s together
  EXPECT_EQ(r.target, 16);
  EXPECT_FALSE(r.settled);
  NextRampStep(r, 16, 1.9e6, 16);
  EXPECT_EQ(r.target, 16);
  EXPECT_TRUE(r.settled) << "the cap is reached";
}

TEST(Ramp, AStepThatDoesNotPayIsTakenBack) {
  Ramp fills = FirstRamp(16);  // eight streams fill the line
  NextRampStep(fills, 8, 500e6, 16);
  NextRampStep(fills, 16, 520e6, 16);
  EXPECT_EQ(fills.target, 8);
  EXPECT_TRUE(fills.settled);

  Ramp r;  // from one stream (a resume with a lowered cap), the steps double
  NextRampStep(r, 1, 1e6, 16);
  EXPECT_EQ(r.target, 2);
  NextRampStep(r, 2, 2e6, 16);
  NextRampStep(r, 4, 2.1e6, 16);
  EXPECT_EQ(r.target, 2);
  EXPECT_TRUE(r.settled);
}

TEST(Ramp, TheCapLimitsEveryStep) {
  Ramp r = FirstRamp(3);
  NextRampStep(r, 3, 3e6, 3);
  EXPECT_TRUE(r.settled);
  EXPECT_EQ(r.target, 3);
  Ramp one = FirstRamp(1);
  NextRampStep(one, 1, 1e6, 1);
  EXPECT_TRUE(one.settled);
  EXPECT_EQ(one.target, 1);
}

// nginx sends each request's first second at once: a throttled stream first looks like one
// that fills the line, then falls to its limit. The fall opens the ramp again; a speed limit
// that held a connection in the window (mayGrow false) does not.
TEST(Ramp, ASettledCountIsTriedAgainWhenItsSpeedFalls) {
  Ramp r = FirstRamp(16);
  NextRampStep(r, 8, 800e6, 16);
  NextRampStep(r, 16, 810e6, 16);
  ASSERT_TRUE(r.settled);
  NextRampStep(r, 8, 700e6, 16);  // ordinary wobble: stays
  EXPECT_TRUE(r.settled);
  NextRampStep(r, 8, 1e6, 16, false);
  EXPECT_TRUE(r.settled) << "held by the speed limit: more would not win";
  NextRampStep(r, 8, 1e6, 16);  // the burst is over
  EXPECT_FALSE(r.settled);
  EXPECT_EQ(r.target, 16);
}

// A request lasts 32 round trips (its wait for the answer is one), at least half a second;
// at the tail the bytes left are shared evenly so that the connections end together.
TEST(RangeBytes, FromTheSpeedAndTheRoundTripWithinBounds) {
  const std::int64_t lots = 1LL << 40;
  EXPECT_EQ(RangeBytes(0, milliseconds(300), lots, 8), kUnknownRange) << "no speed known yet";
  EXPECT_EQ(RangeBytes(0, milliseconds(300), 960 << 10, 16), 64 << 10) << "a small file shared out at once";
  EXPECT_EQ(RangeBytes(1e6, milliseconds(1), lots, 8), 500'000) << "half a second on a short link";
  EXPECT_EQ(RangeBytes(1e6, milliseconds(300), lots, 8), 9'600'000) << "32 round trips on a long one";
  EXPECT_EQ(RangeBytes(8192, milliseconds(1), lots, 8), kRangeMin) << "never a tiny request";
  EXPECT_EQ(RangeBytes(5e9, milliseconds(1), lots, 8), kRangeMax);
  EXPECT_EQ(RangeBytes(1e6, milliseconds(300), 8'000'000, 8), 1'000'000) << "an even share at the tail";
  EXPECT_EQ(RangeBytes(1e6, milliseconds(300), 100'000, 8), kRangeMin);
  EXPECT_EQ(RangeBytes(1e6, milliseconds(300), 0, 0), kRangeMin) << "no division by nothing";
}

TEST(NextRange, TheFirstFreeBytesInOrder) {
  auto plan = NextRange({{10, 30}, {0, 5}}, {{40, 100, 1e6}}, milliseconds(0), 1000);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{0, 5}));
  EXPECT_FALSE(plan->splitFrom);
  plan = NextRange({{100, 1'000'000}}, {}, milliseconds(0), 1000);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{100, 1100})) << "a closed range of the asked size";
  EXPECT_FALSE(NextRange({}, {}, milliseconds(0), 1000));
}

// With nothing free a connection would idle: it shares the slowest remainder only when that
// ends the download clearly sooner, and never a connection of unknown speed or one the speed
// limit holds (its buffers are full of its next bytes).
TEST(NextRange, TheTailIsSharedOnlyWhenAConnectionWouldIdleAndItPays) {
  const auto rtt = milliseconds(100);
  std::vector<ConnectionView> views = {{0, 1'000'000, 100e3}, {2'000'000, 2'100'000, 1e6}};
  auto plan = NextRange({}, views, rtt, 1000);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->splitFrom, 0u);
  EXPECT_EQ(plan->range, (ByteRange{500'000, 1'000'000}));
  views[0].end = 200'000;  // two seconds left; the half at 550 KB/s and a round trip: 0.28 s
  EXPECT_TRUE(NextRange({}, views, rtt, 1000));
  views[0].end = 100'000;  // its cut would throw away a round trip of it, 10 KB: a fifth of the half
  EXPECT_FALSE(NextRange({}, views, rtt, 1000));
  views[0].end = 60'000;  // its half is below the smallest share
  EXPECT_FALSE(NextRange({}, views, milliseconds(0), 1000));
  views[0] = {0, 1'000'000, 100e3};
  views[0].burst = 100'000;  // a paced server's bursts of 100 KB: one is on its way at the cut
  EXPECT_FALSE(NextRange({}, views, rtt, 1000));
  views = {{0, 200'000, 1e6}, {0, 200'000, 1e6}};  // 0.2 s left each: the round trip eats the gain
  EXPECT_FALSE(NextRange({}, views, milliseconds(300), 1000));
  EXPECT_TRUE(NextRange({}, views, milliseconds(1), 1000));
  ConnectionView held{0, 100'000'000, 1e6};
  held.limited = true;
  EXPECT_FALSE(NextRange({}, {held}, milliseconds(0), 1000));
  EXPECT_FALSE(NextRange({}, {{0, 100'000'000, 0}}, milliseconds(0), 1000)) << "speed unknown";
}

// Random requests and shares never hand a byte to two connections and never lose one.
TEST(NextRange, RangesPartitionTheFileExactly) {
  unsigned seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (std::int64_t total : {1, 1000, 1 << 20, (1 << 20) + 1}) {
    Ranges owned;
    RangeSet done;
    for (int step = 0; step < 60; ++step) {
      RangeSet claimed = done;
      for (auto& r : owned) claimed.Add(r);
      std::vector<ConnectionView> views;
      for (auto& r : owned) views.push_back({r.begin, r.end, double(next() % 3) * 1e5});
      auto plan = NextRange(claimed.Gaps(total), views, milliseconds(0), std::int64_t(next() % 300000));
      if (!plan) break;
      if (plan->splitFrom) owned[*plan->splitFrom].end = plan->range.begin;
      owned.push_back(plan->range);
      if (next() % 3 == 0 && !owned.empty()) {  // one of them finishes
        const size_t i = next() % owned.size();
        done.Add(owned[i]);
        owned.erase(owned.begin() + std::ptrdiff_t(i));
      }
    }
    std::int64_t sum = done.Covered();
    RangeSet all = done;
    for (auto& r : owned) {
      ASSERT_GE(r.size(), 0);
      all.Add(r);
      sum += r.size();
    }
    EXPECT_EQ(sum, all.Covered()) << "no overlap for " << total;
  }
}

// A window lasts eight round trips on a long link: a new connection needs them to grow.
TEST(Ramp, AWindowCountsRoundTrips) {
  EXPECT_EQ(RampWindow(milliseconds(50), std::chrono::microseconds(100)), milliseconds(50));
  EXPECT_EQ(RampWindow(milliseconds(50), milliseconds(300)), milliseconds(2400));
}

TEST(Stalled, SilentFarLongerThanUsual) {
  const std::chrono::microseconds patience = milliseconds(250), lo(100);
  std::vector<ConnectionView> c = {{0, 100 << 10, 0, true, milliseconds(300), milliseconds(1)}};
  EXPECT_EQ(Stalled(c, patience, lo), 0u);
  c[0].sinceData = milliseconds(200);
  EXPECT_FALSE(Stalled(c, patience, lo)) << "within the patience";
  // A slow paced server sends a piece every 100 ms: 300 ms of silence is its rhythm.
  c[0] = {0, 100 << 10, 0, true, milliseconds(300), milliseconds(100)};
  EXPECT_FALSE(Stalled(c, patience, lo));
  c[0] = {0, 10 << 20, 0, true, std::chrono::seconds(5), milliseconds(1)};
  EXPECT_EQ(Stalled(c, patience, lo), 0u) << "a long range stalls as a short one does";
  c[0] = {10 << 20, 10 << 20, 0, true, std::chrono::seconds(5), milliseconds(1)};
  EXPECT_FALSE(Stalled(c, patience, lo)) << "nothing left to fetch";
}

// On a 300 ms round trip a new connection's first byte comes after 600 ms: silence before
// it is no stall, and after it the patience is counted in round trips.
TEST(Stalled, ALongLinkIsNotAStall) {
  const auto patience = milliseconds(250), rtt = milliseconds(300);
  std::vector<ConnectionView> c = {{0, 100 << 10, 0, false, std::chrono::seconds(2), {}}};
  EXPECT_FALSE(Stalled(c, patience, rtt)) << "no data yet";
  c[0] = {0, 100 << 10, 0, true, milliseconds(900), milliseconds(10)};
  EXPECT_FALSE(Stalled(c, patience, rtt)) << "three round trips";
  c[0].sinceData = milliseconds(2500);
  EXPECT_EQ(Stalled(c, patience, rtt), 0u);
}

// A request on a kept-alive connection that is never answered has no connect timeout: once the
// round trip is known, sixteen of them (five seconds at least) without a first byte end it.
TEST(Stalled, ARequestNeverAnswered) {
  ConnectionView waiting{0, 100 << 10, 0, false};
  waiting.sinceOpened = std::chrono::seconds(4);
  EXPECT_FALSE(Stalled({waiting}, milliseconds(250), milliseconds(100))) << "a lost SYN is resent after 1 s, then 3 s";
  waiting.sinceOpened = std::chrono::seconds(6);
  EXPECT_EQ(Stalled({waiting}, milliseconds(250), milliseconds(100)), 0u);
  EXPECT_FALSE(Stalled({waiting}, milliseconds(250), milliseconds(400))) << "sixteen round trips";
  EXPECT_FALSE(Stalled({waiting}, milliseconds(250), {})) << "no round trip known: the connect timeout judges";
}

}  // namespace
