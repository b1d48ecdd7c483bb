#include "planner.h"

#include <algorithm>

namespace dlcore {

void NextRampStep(Ramp& ramp, int count, double speed, int cap, bool mayGrow) {
  if (!mayGrow) cap = std::min(cap, count);
  if (ramp.settled) {
    if (speed * kRampGain >= ramp.measuredSpeed || count >= cap) return;
    ramp.settled = false;  // much slower than measured: more connections may pay now
    ramp.measuredCount = 0;
  }
  const bool first = ramp.measuredCount == 0;
  if (!first && speed < ramp.measuredSpeed * kRampGain) {
    ramp.target = ramp.measuredCount;  // the last addition did not pay: back to what did
    ramp.settled = true;
    return;
  }
  ramp.measuredCount = count;
  ramp.measuredSpeed = speed;
  ramp.target = std::min(kRampStep * count, cap);
  if (ramp.target <= count) {
    ramp.target = std::max(1, std::min(count, cap));
    ramp.settled = true;
  }
}

std::int64_t TrialBytes(const Ramp& ramp, std::chrono::steady_clock::duration window) {
  if (ramp.settled || ramp.measuredCount == 0) return 0;
  const double perConnection = ramp.measuredSpeed / ramp.measuredCount;
  const double seconds = 4 * std::chrono::duration<double>(window).count();
  return std::clamp<std::int64_t>(std::int64_t(perConnection * seconds), kTrialMin, kTrialMax);
}

std::chrono::steady_clock::duration RampWindow(std::chrono::steady_clock::duration least,
                                               std::chrono::steady_clock::duration roundTrip) {
  return std::max(least, 8 * roundTrip);
}

double CutWaste(double speed, std::chrono::steady_clock::duration roundTrip) {
  return speed * std::chrono::duration<double>(3 * roundTrip + kBufferedTime).count();
}

bool TrialWorthIt(std::int64_t left, double speed, std::chrono::steady_clock::duration roundTrip) {
  return double(left) >= kTrialWorth * CutWaste(speed, roundTrip);
}

std::optional<size_t> StalledTail(const std::vector<ConnectionView>& connections, std::int64_t minSplit,
                                  std::chrono::steady_clock::duration patience,
                                  std::chrono::steady_clock::duration roundTrip) {
  for (size_t i = 0; i < connections.size(); ++i) {
    const ConnectionView& c = connections[i];
    const std::int64_t left = c.end - c.pos;
    if (!c.hasData || left <= 0 || left > 2 * minSplit) continue;
    if (c.sinceData > std::max({patience, 8 * roundTrip, 4 * c.meanWait})) return i;
  }
  return std::nullopt;
}

namespace {

// What a split costs is a request and, on a fast link, the part of the cut connection's
// answer already on its way (megabytes in socket buffers): a half shorter than a quarter
// second of the connection's data is not worth it.
constexpr std::int64_t kSmallestPiece = 16 << 10, kLargestHalf = 64 << 20;

std::int64_t SmallestPart(const ConnectionView& c, std::chrono::steady_clock::duration roundTrip) {
  const auto quarterSecond = std::clamp<std::int64_t>(std::int64_t(c.speed / 4), kSmallestPiece, kLargestHalf);
  return std::max(quarterSecond, std::int64_t(kCutWorth * CutWaste(c.speed, roundTrip)));
}

}  // namespace

std::optional<Assignment> PlanConnection(const std::vector<ByteRange>& free,
                                         const std::vector<ConnectionView>& inFlight,
                                         std::chrono::steady_clock::duration roundTrip, std::int64_t trial) {
  auto f = std::max_element(free.begin(), free.end(), [](auto& a, auto& b) { return a.size() < b.size(); });
  if (f != free.end() && f->size() > 0) return Assignment{*f, std::nullopt};
  // Seconds still to go. A connection that has only just started is taken to run at the
  // others' mean speed; when none is known yet, bytes stand for seconds.
  double known = 0;
  int counted = 0;
  for (const ConnectionView& c : inFlight)
    if (c.speed > 0) known += c.speed, ++counted;
  const double typical = counted ? known / counted : 1.0;
  auto timeLeft = [&](const ConnectionView& c) { return double(c.end - c.pos) / (c.speed > 0 ? c.speed : typical); };
  auto partOf = [trial](const ConnectionView& c) {
    const std::int64_t half = (c.end - c.pos) / 2;
    return trial > 0 ? std::min(trial, half) : half;
  };
  std::optional<size_t> chosen;
  for (size_t i = 0; i < inFlight.size(); ++i) {
    const ConnectionView& c = inFlight[i];
    const std::int64_t part = partOf(c);
    // A trial's part lies at the end: the cut it makes comes last and throws away no more
    // than the trial's own bytes.
    const std::int64_t least = trial > 0 ? std::min(trial, kSmallestPiece) : SmallestPart(c, roundTrip);
    if (c.speed <= 0 || c.limited || part <= 0 || part < least) continue;
    if (!chosen || timeLeft(c) > timeLeft(inFlight[*chosen])) chosen = i;
  }
  if (!chosen) return std::nullopt;
  const ConnectionView& busy = inFlight[*chosen];
  return Assignment{{busy.end - partOf(busy), busy.end}, chosen};
}

}  // namespace dlcore
