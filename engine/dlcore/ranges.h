#pragma once
// Byte ranges of one download: which are on disk, and how the rest is shared among the
// connections. Pure bookkeeping, no I/O.
#include <cstdint>
#include <vector>

namespace dlcore {

struct ByteRange {
  std::int64_t begin = 0, end = 0;  // [begin, end)
  std::int64_t size() const { return end - begin; }
  bool operator==(const ByteRange&) const = default;
};

// A set of disjoint, sorted, merged ranges.
class RangeSet {
 public:
  void Add(ByteRange r);
  bool Contains(ByteRange r) const;
  std::int64_t Covered() const;
  // The parts of [0, total) that the set does not hold.
  std::vector<ByteRange> Gaps(std::int64_t total) const;
  const std::vector<ByteRange>& ranges() const { return ranges_; }
  void Clear() { ranges_.clear(); }

 private:
  std::vector<ByteRange> ranges_;
};

}  // namespace dlcore
