#pragma once
// The user's download speed limit, for the whole engine: every connection of every task takes
// its bytes from one bucket. A connection that finds the bucket empty is held (libcurl keeps
// the piece it offered and stops reading the socket, so TCP slows the server down) until the
// bucket has filled again. Pure: the time is an argument.
#include <cstddef>
#include <cstdint>

#include "options.h"

namespace dlcore {

class RateLimiter {
 public:
  // Bytes per second for all downloads together; 0 or less: no limit.
  void SetLimit(std::int64_t bytesPerSecond, Clock::time_point now);
  std::int64_t limit() const { return limit_; }
  // Whether a piece of `size` bytes may be taken now; a piece taken is counted, also when it
  // is larger than what the bucket holds (libcurl offers a piece whole), and the bucket then
  // owes the difference.
  bool Take(std::size_t size, Clock::time_point now);
  // How long until a piece may be taken; zero when one may now.
  Clock::duration Wait(Clock::time_point now);
  // How much one read of a connection should bring under the limit: small pieces keep the
  // rate even within a second.
  long ReadSize() const;
  // The receive buffer a connection needs under the limit (half a second's worth, at least
  // 64 KiB); 0 without a limit: the system grows it as the line allows.
  int ReceiveWindow() const;

 private:
  void Refill(Clock::time_point now);

  std::int64_t limit_ = 0;
  double tokens_ = 0;
  Clock::time_point last_{};
};

}  // namespace dlcore
