#include "segments.h"

#include <algorithm>

namespace dlcore {

void Segments::Reset(RangeSet written) {
  written_ = std::move(written);
  overlaps_.clear();
}

RangeSet Segments::OnDisk(const std::vector<ByteRange>& receiving) const {
  RangeSet onDisk = written_;
  for (const ByteRange& r : receiving) onDisk.Add(r);
  return onDisk;
}

RangeSet Segments::Claimed(const std::vector<ByteRange>& owned) const { return OnDisk(owned); }

std::int64_t Segments::Downloaded(const std::vector<ByteRange>& receiving, std::int64_t total) const {
  std::int64_t n = written_.Covered();
  for (const ByteRange& r : receiving) n += r.size();
  return total >= 0 ? std::min(n, total) : n;
}

bool Segments::OverlapsMatch(const std::vector<ByteRange>& receiving, const Reader& read) {
  if (overlaps_.empty()) return true;
  const RangeSet onDisk = OnDisk(receiving);
  for (auto it = overlaps_.begin(); it != overlaps_.end();) {
    const ByteRange range{it->first, it->first + std::int64_t(it->second.size())};
    if (!onDisk.Contains(range)) {
      ++it;
      continue;
    }
    std::string there(it->second.size(), '\0');
    if (!read(there, range.begin) || there != it->second) return false;
    it = overlaps_.erase(it);
  }
  return true;
}

double SpeedMeter::Update(std::chrono::steady_clock::time_point now, std::int64_t bytes) {
  if (last_ != std::chrono::steady_clock::time_point{}) {
    const double dt = std::chrono::duration<double>(now - last_).count();
    if (dt > 0) speed_ += std::min(1.0, dt) * (double(bytes - lastBytes_) / dt - speed_);
  }
  last_ = now;
  lastBytes_ = bytes;
  return speed_;
}

}  // namespace dlcore
