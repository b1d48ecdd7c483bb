#pragma once
// The engine's tuning, in one place: what a download asks of a server and how it measures.
#include <chrono>
#include <cstdint>
#include <string>

namespace dlcore {

using Clock = std::chrono::steady_clock;

// Without a strong ETag every request after the first starts this many bytes early, to
// check them against what another request brought.
constexpr std::int64_t kOverlapBytes = 4096;
constexpr auto kProgressInterval = std::chrono::milliseconds(20);

// A window of the ramp lasts until each connection has brought this much (a few of a paced
// server's chunks), so that a slow server is not judged on one chunk more or less.
constexpr std::int64_t kRampWindowBytes = 32 << 10;

struct EngineOptions {
  int maxConnections = 16;  // a server that limits each connection asks to be shared, not taken
  Clock::duration window = std::chrono::milliseconds(50);  // speed is compared over this
  // A state-file save starts this often (and after every 1 % of the file), one at a time: a
  // kill loses what arrived since the last save began, and the save's own flush.
  Clock::duration checkpoint = std::chrono::milliseconds(250);
  // At least this long without data (and eight round trips): the rest of the range refetched.
  Clock::duration stallPatience = std::chrono::milliseconds(250);
  int maxFailures = 5;     // failed connections in a row without progress
  long lowSpeedTime = 20;  // seconds below 1 KiB/s that end a connection
  std::string userAgent = "Quorvel-dlcore";
  bool trace = false;  // every request and cut on stderr (QUORVEL_DLCORE_TRACE=1), to see what the planner does
};

}  // namespace dlcore
