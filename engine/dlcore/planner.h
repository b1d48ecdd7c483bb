#pragma once
// How a download is split: how many connections run, and which closed range each asks for
// next. Pure decisions on plain figures: the task measures, the planner decides. ENGINE.md
// beside this file tells why each figure has its value.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "ranges.h"

namespace dlcore {

// How many connections a download runs. Once the first answer tells the size, `kFirstWidth`
// open at once; after a window measured with them all (the first window is their warm-up)
// the count is multiplied by `kRampStep` while each step raises the total speed by at least
// `kRampGain`; the first step that does not is taken back, and the count stays. A settled
// count is tried again when its speed falls well below what it was measured at: nginx sends
// each request's first second at once, so a throttled stream first looks like one that fills
// the line. Nothing is cut to change the count: a connection simply asks for no next range.
struct Ramp {
  int target = 1;         // connections wanted now
  bool settled = false;   // the count is decided
  int measuredCount = 0;  // connections of the last window that gained (0: none measured yet)
  double measuredSpeed = 0;
};

// A loss on a CUBIC server halves one stream's window: several streams keep the line full
// while one of them recovers, from the first second on.
inline constexpr int kFirstWidth = 8;
inline constexpr int kRampStep = 2;
inline constexpr double kRampGain = 1.3;

// The ramp of a download whose size just became known, for a server given at most `cap`. On a
// long link (`kLongLink`) it starts with the cap: a window there lasts seconds, a step would
// cost more than most downloads last, and a stream's speed under loss falls with the round
// trip, so the count pays there as a rule.
Ramp FirstRamp(int cap, std::chrono::steady_clock::duration roundTrip = {});
inline constexpr auto kLongLink = std::chrono::milliseconds(20);

// The next count after a window in which `count` connections together ran at `speed`
// bytes per second. `cap` is the most a server is given; without `mayGrow` (the speed limit
// held a connection in the window) the count may only fall.
void NextRampStep(Ramp& ramp, int count, double speed, int cap, bool mayGrow = true);

// A window of the ramp: long enough to see a connection's speed, which on a long link takes
// round trips (a new connection's first byte comes two round trips after it is opened, and
// it needs a few more to grow to its speed).
std::chrono::steady_clock::duration RampWindow(std::chrono::steady_clock::duration least,
                                               std::chrono::steady_clock::duration roundTrip);

// How long one request runs: a request costs a round trip before its first byte (on a
// connection kept alive), so it lasts many of them, and at least a fraction of a second.
inline constexpr int kRangeRoundTrips = 32;
inline constexpr auto kRangeTime = std::chrono::milliseconds(500);
// The task's first request asks for little: on a paced server it must not hold a large part of a
// small file, and its answer (the size) is what the others wait for. Later requests made before
// a speed is known ask for at most `kUnknownRange`, a share of the file at most.
inline constexpr std::int64_t kFirstRange = 64 << 10;
inline constexpr std::int64_t kUnknownRange = 1 << 20;
inline constexpr std::int64_t kRangeMin = 64 << 10, kRangeMax = 64 << 20;

// What the next request asks for, in bytes: `speed` (one connection's, 0: not known yet)
// times the request's time, and at most an even share of the `left` bytes among `count`
// connections, so that at the tail they all end together.
std::int64_t RangeBytes(double speed, std::chrono::steady_clock::duration roundTrip, std::int64_t left, int count);

// A connection as the planner sees it.
struct ConnectionView {
  std::int64_t pos = 0, end = -1;                     // what it has still to fetch: [pos, end)
  double speed = 0;                                   // bytes per second since its first byte; 0: not known yet
  bool hasData = false;                               // its first byte of data came
  std::chrono::steady_clock::duration sinceData{};    // since its last byte arrived
  std::chrono::steady_clock::duration meanWait{};     // between its bursts of data so far
  double burst = 0;                                   // bytes a burst of its data brings, on the mean
  std::chrono::steady_clock::duration sinceOpened{};  // since its request was made
  // The speed limit held it a moment ago: its socket buffers are full of its next bytes, which
  // a cut would throw away (megabytes), and more connections cannot beat the limit anyway.
  bool limited = false;
};

// Where a new request goes: `bytes` from the start of the first part nobody owns (`free`, in
// order), so the file fills from its start. With nothing free a connection would idle: it
// shares the tail, taking the upper half of the connection with the longest time still to go
// (which then ends at the half's start), when that half is at least `kShareMin` and the
// sharing ends the download clearly sooner: the half at the others' mean speed, plus a round
// trip, in at most `kShareGain` of the time the slow one still needs. The slow one is cut where
// the half starts, throwing away what is on its way then: a round trip of its data, or one of
// its bursts (a paced server sends in bursts, a lossy line in windows), which the half must be
// worth `kShareWorth` times. A connection whose speed is not known, or the speed limit holds
// (its socket buffers are full of its next bytes), is not shared.
struct Assignment {
  ByteRange range;
  std::optional<size_t> splitFrom;  // index into inFlight whose end becomes range.begin
};
inline constexpr std::int64_t kShareMin = 32 << 10;
inline constexpr double kShareGain = 0.6;
inline constexpr double kShareWorth = 8;
std::optional<Assignment> NextRange(const std::vector<ByteRange>& free, const std::vector<ConnectionView>& inFlight,
                                    std::chrono::steady_clock::duration roundTrip, std::int64_t bytes);

// A connection that has had no data for much longer than it usually waits (four times its
// mean wait between bursts of data, eight round trips, at least `patience`): it hands its
// remainder back, so that a fresh request fetches it and a stalled stream slows only its own
// range. Nothing is on its way, so nothing is thrown away. A server that serves connections in
// time slots stalls one connection while the rest run, and nginx's limit_rate sends each
// request's first second at once, then holds it for most of a second: both are its usual wait.
// A request still waiting for its first byte is judged once the round trip is known: a kept-alive
// connection whose request the server never answers (or a NAT dropped) has no connect timeout;
// `kFirstBytePatience` leaves room for a lost handshake packet (resent after 1 s, then 3 s).
inline constexpr auto kFirstBytePatience = std::chrono::seconds(5);
std::optional<size_t> Stalled(const std::vector<ConnectionView>& connections,
                              std::chrono::steady_clock::duration patience,
                              std::chrono::steady_clock::duration roundTrip);

}  // namespace dlcore
