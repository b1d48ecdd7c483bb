#include "planner.h"

#include <algorithm>

namespace dlcore {

void NextRampStep(Ramp& ramp, int count, double speed, int cap) {
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

std::optional<size_t> StalledTail(const std::vector<ConnectionView>& connections, std::int64_t minSplit,
                                  std::chrono::steady_clock::duration patience) {
  for (size_t i = 0; i < connections.size(); ++i) {
    const std::int64_t left = connections[i].end - connections[i].pos;
    if (left > 0 && left <= 2 * minSplit && connections[i].sinceData > std::max(patience, 4 * connections[i].meanWait))
      return i;
  }
  return std::nullopt;
}

namespace {

// What a split costs is a request and, on a fast link, the part of the cut connection's
// answer already on its way (megabytes in socket buffers): a half shorter than a quarter
// second of the connection's data is not worth it.
constexpr std::int64_t kSmallestPiece = 16 << 10, kLargestHalf = 64 << 20;

std::int64_t SmallestHalf(const ConnectionView& c, std::int64_t minSplit) {
  if (c.speed <= 0) return minSplit;
  return std::clamp<std::int64_t>(std::int64_t(c.speed / 4), std::min(kSmallestPiece, minSplit), kLargestHalf);
}

}  // namespace

std::optional<Assignment> PlanConnection(const std::vector<ByteRange>& free,
                                         const std::vector<ConnectionView>& inFlight, std::int64_t minSplit) {
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
  std::optional<size_t> chosen;
  for (size_t i = 0; i < inFlight.size(); ++i) {
    const std::int64_t half = (inFlight[i].end - inFlight[i].pos) / 2;
    if (half <= 0 || half < SmallestHalf(inFlight[i], minSplit)) continue;
    if (!chosen || timeLeft(inFlight[i]) > timeLeft(inFlight[*chosen])) chosen = i;
  }
  if (!chosen) return std::nullopt;
  const ConnectionView& busy = inFlight[*chosen];
  const std::int64_t mid = busy.end - (busy.end - busy.pos) / 2;
  return Assignment{{mid, busy.end}, chosen};
}

}  // namespace dlcore
