#pragma once
// Which bytes of one download are where: written by connections that ended, being received
// by those that run, and the overlaps still to compare. The task's one record of its ranges;
// pure bookkeeping, the reads go through the function it is given.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ranges.h"

namespace dlcore {

class Segments {
 public:
  // Reads `into.size()` bytes at an offset of the data file; false when it cannot.
  using Reader = std::function<bool(std::string& into, std::int64_t offset)>;

  void Reset(RangeSet written = {});
  // Bytes a connection wrote before it ended.
  void Keep(ByteRange range) { written_.Add(range); }
  // Bytes an answer brought at `offset` that another connection fetches too.
  void Expect(std::int64_t offset, std::string bytes) { overlaps_.push_back({offset, std::move(bytes)}); }

  const RangeSet& written() const { return written_; }
  // Written, plus what running connections have received (`receiving`).
  RangeSet OnDisk(const std::vector<ByteRange>& receiving) const;
  // Written, plus what running connections are asked for (`owned`): the rest is free.
  RangeSet Claimed(const std::vector<ByteRange>& owned) const;
  std::int64_t Downloaded(const std::vector<ByteRange>& receiving, std::int64_t total) const;
  bool Complete(std::int64_t total) const { return total >= 0 && written_.Contains({0, total}); }
  // Compares every kept overlap whose bytes are on disk by now with those bytes, and forgets
  // the ones that matched. False when one differs: the file changed on the server between
  // two requests.
  bool OverlapsMatch(const std::vector<ByteRange>& receiving, const Reader& read);

 private:
  RangeSet written_;
  std::vector<std::pair<std::int64_t, std::string>> overlaps_;  // offset, bytes still to compare
};

// The speed of a download, smoothed over about a second.
class SpeedMeter {
 public:
  double Update(std::chrono::steady_clock::time_point now, std::int64_t bytes);
  void Reset() { speed_ = 0; }
  double speed() const { return speed_; }

 private:
  std::chrono::steady_clock::time_point last_{};
  std::int64_t lastBytes_ = 0;
  double speed_ = 0;
};

}  // namespace dlcore
