// The speed limit's bucket on a simulated clock.
#include "ratelimit.h"

#include <gtest/gtest.h>

using namespace dlcore;

namespace {

using std::chrono::milliseconds;

// Connections offering `piece` bytes every millisecond for `seconds`: what the limit let through.
std::int64_t TakenOver(RateLimiter& limiter, size_t piece, int seconds, int connections = 1) {
  Clock::time_point now{};
  std::int64_t taken = 0;
  for (int ms = 0; ms < seconds * 1000; ++ms, now += milliseconds(1))
    for (int c = 0; c < connections; ++c)
      if (limiter.Take(piece, now)) taken += std::int64_t(piece);
  return taken;
}

TEST(RateLimiter, HoldsTheRateOverTenSecondsWhateverThePieces) {
  for (size_t piece : {size_t(1000), size_t(16 << 10), size_t(1 << 20)}) {
    for (int connections : {1, 16}) {
      RateLimiter limiter;
      limiter.SetLimit(512 << 10, {});
      const double taken = double(TakenOver(limiter, piece, 10, connections));
      EXPECT_NEAR(taken / (10.0 * (512 << 10)), 1.0, 0.1) << piece << " bytes a piece, " << connections;
    }
  }
}

TEST(RateLimiter, AHeldConnectionWaitsUntilTheDebtIsPaid) {
  RateLimiter limiter;
  Clock::time_point now{};
  limiter.SetLimit(1 << 20, now);
  EXPECT_TRUE(limiter.Take(1 << 20, now)) << "a whole piece is taken even beyond the bucket";
  EXPECT_FALSE(limiter.Take(1, now));
  const auto wait = limiter.Wait(now);
  EXPECT_GT(wait, milliseconds(900));
  EXPECT_LE(wait, milliseconds(1000));
  EXPECT_FALSE(limiter.Take(1, now + wait - milliseconds(5)));
  EXPECT_TRUE(limiter.Take(1, now + wait + milliseconds(1)));
}

TEST(RateLimiter, NoLimitTakesEverythingAndLiftingItReleases) {
  RateLimiter limiter;
  EXPECT_TRUE(limiter.Take(1 << 30, {}));
  EXPECT_EQ(limiter.Wait({}), Clock::duration::zero());
  limiter.SetLimit(1000, {});
  ASSERT_TRUE(limiter.Take(100000, {}));
  EXPECT_GT(limiter.Wait({}), milliseconds(1000));
  limiter.SetLimit(0, {});
  EXPECT_EQ(limiter.Wait({}), Clock::duration::zero());
  EXPECT_TRUE(limiter.Take(1 << 30, {}));
}

TEST(RateLimiter, AnIdleMomentDoesNotSaveUpABurst) {
  RateLimiter limiter;
  limiter.SetLimit(1 << 20, {});
  const Clock::time_point later = Clock::time_point{} + std::chrono::seconds(60);
  std::int64_t burst = 0;
  while (limiter.Take(4096, later)) burst += 4096;
  EXPECT_LE(burst, (1 << 20) / 10 + 4096) << "a tenth of a second's worth at most";
}

TEST(RateLimiter, ReadsAreSmallUnderASmallLimit) {
  RateLimiter limiter;
  EXPECT_EQ(limiter.ReadSize(), 1 << 20);
  limiter.SetLimit(100 << 10, {});
  EXPECT_EQ(limiter.ReadSize(), 16 << 10);
  limiter.SetLimit(8 << 20, {});
  EXPECT_EQ(limiter.ReadSize(), (8 << 20) / 20);
}

}  // namespace
