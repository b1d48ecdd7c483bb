#include "planner.h"

#include <algorithm>

namespace dlcore {

namespace {
double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }
}  // namespace

Ramp FirstRamp(int cap, std::chrono::steady_clock::duration roundTrip) {
  const int width = roundTrip >= kLongLink ? cap : kFirstWidth;
  return Ramp{std::max(1, std::min(width, cap)), false, 0, 0};
}

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

std::chrono::steady_clock::duration RampWindow(std::chrono::steady_clock::duration least,
                                               std::chrono::steady_clock::duration roundTrip) {
  return std::max(least, 8 * roundTrip);
}

std::int64_t RangeBytes(double speed, std::chrono::steady_clock::duration roundTrip, std::int64_t left, int count) {
  const double seconds = std::max(Seconds(kRangeRoundTrips * roundTrip), Seconds(kRangeTime));
  const std::int64_t bySpeed =
      speed > 0 ? std::int64_t(std::min(speed * seconds, double(kRangeMax))) : std::int64_t(kUnknownRange);
  const int among = std::max(count, 1);
  const std::int64_t share = (std::max<std::int64_t>(left, 0) + among - 1) / among;
  return std::clamp(std::min(bySpeed, share), kRangeMin, kRangeMax);
}

std::optional<Assignment> NextRange(const std::vector<ByteRange>& free, const std::vector<ConnectionView>& inFlight,
                                    std::chrono::steady_clock::duration roundTrip, std::int64_t bytes) {
  auto first = std::min_element(free.begin(), free.end(), [](auto& a, auto& b) { return a.begin < b.begin; });
  if (first != free.end() && first->size() > 0)
    return Assignment{{first->begin, std::min(first->end, first->begin + std::max<std::int64_t>(bytes, 1))}, {}};
  double known = 0;
  int counted = 0;
  for (const ConnectionView& c : inFlight)
    if (c.speed > 0) known += c.speed, ++counted;
  if (counted == 0) return std::nullopt;
  const double typical = known / counted;
  std::optional<size_t> chosen;
  auto timeLeft = [](const ConnectionView& c) { return double(c.end - c.pos) / c.speed; };
  for (size_t i = 0; i < inFlight.size(); ++i) {
    const ConnectionView& c = inFlight[i];
    const std::int64_t half = (c.end - c.pos) / 2;
    const double cutWaste = std::max(c.speed * Seconds(roundTrip), c.burst);
    if (c.speed <= 0 || c.limited || c.end < 0 || half < kShareMin || double(half) < kShareWorth * cutWaste) continue;
    if (!chosen || timeLeft(c) > timeLeft(inFlight[*chosen])) chosen = i;
  }
  if (!chosen) return std::nullopt;
  const ConnectionView& slow = inFlight[*chosen];
  const std::int64_t half = (slow.end - slow.pos) / 2;
  if (Seconds(roundTrip) + double(half) / typical > kShareGain * timeLeft(slow)) return std::nullopt;
  return Assignment{{slow.end - half, slow.end}, chosen};
}

std::optional<size_t> Stalled(const std::vector<ConnectionView>& connections,
                              std::chrono::steady_clock::duration patience,
                              std::chrono::steady_clock::duration roundTrip) {
  for (size_t i = 0; i < connections.size(); ++i) {
    const ConnectionView& c = connections[i];
    if (c.end - c.pos <= 0) continue;
    if (!c.hasData) {
      if (roundTrip > roundTrip.zero() &&
          c.sinceOpened > std::max<std::chrono::steady_clock::duration>(kFirstBytePatience, 16 * roundTrip))
        return i;
      continue;
    }
    if (c.sinceData > std::max({patience, 8 * roundTrip, 4 * c.meanWait})) return i;
  }
  return std::nullopt;
}

}  // namespace dlcore
