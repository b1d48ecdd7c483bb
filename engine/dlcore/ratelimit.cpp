#include "ratelimit.h"

#include <algorithm>

namespace dlcore {

namespace {
// The bucket holds a tenth of a second's worth: a burst after an idle moment stays within
// a hundredth of what ten seconds may bring.
constexpr double kBucketSeconds = 0.1;
}  // namespace

void RateLimiter::SetLimit(std::int64_t bytesPerSecond, Clock::time_point now) {
  limit_ = std::max<std::int64_t>(bytesPerSecond, 0);
  tokens_ = 0;
  last_ = now;
}

void RateLimiter::Refill(Clock::time_point now) {
  if (now <= last_) return;
  const double seconds = std::chrono::duration<double>(now - last_).count();
  tokens_ = std::min(tokens_ + seconds * double(limit_), kBucketSeconds * double(limit_));
  last_ = now;
}

bool RateLimiter::Take(std::size_t size, Clock::time_point now) {
  if (limit_ <= 0) return true;
  Refill(now);
  if (tokens_ < 0) return false;
  tokens_ -= double(size);
  return true;
}

Clock::duration RateLimiter::Wait(Clock::time_point now) {
  if (limit_ <= 0) return {};
  Refill(now);
  if (tokens_ >= 0) return {};
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(-tokens_ / double(limit_)));
}

int RateLimiter::ReceiveWindow() const {
  if (limit_ <= 0) return 0;
  return int(std::clamp<std::int64_t>(limit_ / 2, 64 << 10, 8 << 20));
}

long RateLimiter::ReadSize() const {
  constexpr long kSmallest = 16 << 10, kLargest = 1 << 20;
  if (limit_ <= 0) return kLargest;
  return long(std::clamp<std::int64_t>(limit_ / 20, kSmallest, kLargest));
}

}  // namespace dlcore
