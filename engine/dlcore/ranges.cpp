#include "ranges.h"

#include <algorithm>

namespace dlcore {

void RangeSet::Add(ByteRange r) {
  if (r.size() <= 0) return;
  std::vector<ByteRange> merged;
  merged.reserve(ranges_.size() + 1);
  bool placed = false;
  for (const ByteRange& x : ranges_) {
    if (x.end < r.begin) {
      merged.push_back(x);
    } else if (r.end < x.begin) {
      if (!placed) merged.push_back(r), placed = true;
      merged.push_back(x);
    } else {
      r = {std::min(r.begin, x.begin), std::max(r.end, x.end)};
    }
  }
  if (!placed) merged.push_back(r);
  std::sort(merged.begin(), merged.end(), [](auto& a, auto& b) { return a.begin < b.begin; });
  ranges_ = std::move(merged);
}

bool RangeSet::Contains(ByteRange r) const {
  if (r.size() <= 0) return true;
  for (const ByteRange& x : ranges_)
    if (x.begin <= r.begin && r.end <= x.end) return true;
  return false;
}

std::int64_t RangeSet::Covered() const {
  std::int64_t n = 0;
  for (const ByteRange& x : ranges_) n += x.size();
  return n;
}

std::vector<ByteRange> RangeSet::Gaps(std::int64_t total) const {
  std::vector<ByteRange> gaps;
  std::int64_t at = 0;
  for (const ByteRange& x : ranges_) {
    if (x.begin >= total) break;
    if (x.begin > at) gaps.push_back({at, x.begin});
    at = std::max(at, x.end);
  }
  if (at < total) gaps.push_back({at, total});
  return gaps;
}

}  // namespace dlcore
