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
// bytes per second. `cap` is the most a server is given; without `mayGrow` (a trial would
// cost more than it can win, see TrialWorthIt) the count may only fall, also when a
// settled count's speed falls.
void NextRampStep(Ramp& ramp, int count, double speed, int cap, bool mayGrow = true);

// How much a connection added on trial asks for: a few windows' worth at the speed one
// connection has shown, so that a trial that does not pay ends by itself instead of being
// cut off with megabytes of the server's answer still on their way (waste on a fast link).
// 0 outside a trial: ask for the whole remainder.
std::int64_t TrialBytes(const Ramp& ramp, std::chrono::steady_clock::duration window);
inline constexpr std::int64_t kTrialMin = 256 << 10, kTrialMax = 64 << 20;

// A window of the ramp: long enough to see a connection's speed, which on a long link takes
// round trips (a new connection's first byte comes two round trips after it is opened, and
// it needs a few more to grow to its speed).
std::chrono::steady_clock::duration RampWindow(std::chrono::steady_clock::duration least,
                                               std::chrono::steady_clock::duration roundTrip);

// What cutting a connection that runs at `speed` throws away: the part of its answer already
// on its way. A round trip's worth is on the wire and the server's socket buffer, which the
// kernel sizes to the path, holds about twice that; on loopback the buffers hold a few
// milliseconds' worth (measured 1 to 3.6 MB at 700 MB/s).
double CutWaste(double speed, std::chrono::steady_clock::duration roundTrip);
inline constexpr auto kBufferedTime = std::chrono::milliseconds(5);
// A cut is made only for at least this many times the bytes it throws away.
inline constexpr double kCutWorth = 32;
// Whether more connections are worth a trial on a download with `left` bytes to go, whose
// one stream runs at `speed`: a trial ends with one cut of that stream, which may cost at
// most a hundredth of what is left. On a long fast link one stream keeps the line.
bool TrialWorthIt(std::int64_t left, double speed, std::chrono::steady_clock::duration roundTrip);
inline constexpr double kTrialWorth = 100;

// A connection as the planner sees it.
struct ConnectionView {
  std::int64_t pos = 0, end = -1;                   // what it has still to fetch: [pos, end)
  double speed = 0;                                 // bytes per second since its first byte; 0: not known yet
  bool hasData = false;                             // its first byte of data came
  std::chrono::steady_clock::duration sinceData{};  // since its last byte arrived
  std::chrono::steady_clock::duration meanWait{};   // between its bursts of data so far
  // The speed limit held it a moment ago: its socket buffers are full of its next bytes, which
  // a cut would throw away (megabytes), and more connections cannot beat the limit anyway.
  bool limited = false;
};

// Where a new connection should start: the largest part of `free` (gaps no connection
// owns), or else a part of what the connection with the longest time still to go has left:
// its upper half, or with `trial` (the bytes of a connection on trial) that many bytes from
// its end, so that the trial cuts nothing while it runs. Only a connection whose speed is
// known gives up a part, and only a half worth `kCutWorth` times what its cut throws away
// and at least a quarter of a second of its data (16 KiB to 64 MiB): at the tail of a
// throttled download no connection idles while another still has seconds to go, and a fast
// one, or one on a long link, is not cut into requests that cost more than they win. A
// connection the speed limit holds gives up nothing.
struct Assignment {
  ByteRange range;
  std::optional<size_t> splitFrom;  // index into inFlight whose end becomes range.begin
};
std::optional<Assignment> PlanConnection(const std::vector<ByteRange>& free,
                                         const std::vector<ConnectionView>& inFlight,
                                         std::chrono::steady_clock::duration roundTrip, std::int64_t trial = 0);

// At the tail, the connection that has had no data for much longer than it usually waits
// (four times its mean wait between bursts of data, eight round trips, at least `patience`)
// while its remainder is small (at most two `minSplit`): it hands that remainder back, so
// that a fresh request fetches it instead of others standing idle. A server that serves
// connections in time slots stalls one connection while the rest are done, and nginx's
// limit_rate sends each request's first second at once, then holds it for most of a second.
// A connection still waiting for its first byte is not judged here: its connect timeout is.
std::optional<size_t> StalledTail(const std::vector<ConnectionView>& connections, std::int64_t minSplit,
                                  std::chrono::steady_clock::duration patience,
                                  std::chrono::steady_clock::duration roundTrip);

}  // namespace dlcore
