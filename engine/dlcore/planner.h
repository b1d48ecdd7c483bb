#pragma once
// When a download adds, keeps or drops connections. Pure decisions on plain figures: the
// task measures, the planner decides.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "ranges.h"

namespace dlcore {

// How many connections a download runs. It starts with one stream, measured alone for a
// window (its start-up included), then multiplies the count by `kRampStep` while each step
// raises the total speed by at least `kRampGain`; the first step that does not is taken back, and
// the count stays. One stream that fills the line is so never split for long, and a server
// that limits each connection gets as many as pay, up to the cap. A settled count is tried
// again when its speed falls well below what it was measured at: nginx sends each request's
// first second at once, so a throttled stream first looks like one that fills the line.
struct Ramp {
  int target = 1;         // connections wanted now
  bool settled = false;   // the count is decided
  int measuredCount = 0;  // connections of the last window that gained (0: none measured yet)
  double measuredSpeed = 0;
};

inline constexpr double kRampGain = 1.3;
// Few steps, as each costs a window: 1, 4, 16.
inline constexpr int kRampStep = 4;

// The next count after a window in which `count` connections together ran at `speed`
// bytes per second. `cap` is the most a server is given.
void NextRampStep(Ramp& ramp, int count, double speed, int cap);

// How much a connection added on trial asks for: a few windows' worth at the speed one
// connection has shown, so that a trial that does not pay ends by itself instead of being
// cut off with megabytes of the server's answer still on their way (waste on a fast link).
// 0 outside a trial: ask for the whole remainder.
std::int64_t TrialBytes(const Ramp& ramp, std::chrono::steady_clock::duration window);
inline constexpr std::int64_t kTrialMin = 256 << 10, kTrialMax = 64 << 20;

// A connection as the planner sees it.
struct ConnectionView {
  std::int64_t pos = 0, end = -1;                   // what it has still to fetch: [pos, end)
  double speed = 0;                                 // bytes per second since its first byte; 0: not known yet
  std::chrono::steady_clock::duration sinceData{};  // since its last byte arrived
  std::chrono::steady_clock::duration meanWait{};   // between its pieces of data so far
};

// Where a new connection should start: the largest part of `free` (gaps no connection
// owns), or else the upper half of what the connection with the longest time still to go
// has left (one that has only just started counts at the others' mean speed). A half is
// handed over when it holds at least a quarter of a second of that connection's data (16 KiB
// to 64 MiB), or `minSplit` while its speed is not known: at the tail of a throttled download
// no connection idles while another still has seconds to go, and a fast one is not cut into
// requests that cost more than they win.
struct Assignment {
  ByteRange range;
  std::optional<size_t> splitFrom;  // index into inFlight whose end becomes range.begin
};
std::optional<Assignment> PlanConnection(const std::vector<ByteRange>& free,
                                         const std::vector<ConnectionView>& inFlight, std::int64_t minSplit);

// At the tail, the connection that has had no data for much longer than it usually waits
// (four times its mean wait between pieces of data, at least `patience`) while its remainder
// is small (at most two `minSplit`): it hands that remainder back, so that a fresh request
// fetches it instead of others standing idle. A server that serves connections in time
// slots stalls one connection while the rest are done, and nginx's limit_rate sends each
// request's first second at once, then holds it for most of a second.
std::optional<size_t> StalledTail(const std::vector<ConnectionView>& connections, std::int64_t minSplit,
                                  std::chrono::steady_clock::duration patience);

}  // namespace dlcore
