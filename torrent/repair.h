#pragma once
// An archive's bad pieces fetched again by byte ranges from the server it came from. Each piece
// is checked against the torrent's hash in memory before it is written over the bad one, in
// place: a piece is only ever replaced by its proven bytes, so the archive is never worse than
// before, and a repair cut short keeps every piece it wrote. Then the whole archive is checked
// again.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "verify.h"

namespace torrent {

struct RepairProgress {
  enum class Stage { kChecking, kFetching, kCheckingAgain };
  Stage stage = Stage::kChecking;
  std::int64_t done = 0, total = 0;  // bytes hashed of the archive, or bytes fetched of the bad pieces
};

struct RepairResult {
  Verification before;       // the first check: its bad pieces are the ones fetched
  Verification after;        // the check once pieces were written; unchecked when none was
  int repaired = 0;          // pieces written
  std::int64_t fetched = 0;  // bytes received from the server
  std::string failure;       // why a piece could not be repaired, or why it stopped (UTF-8)
  bool Passed() const { return after.checked ? after.Passed() : before.Passed(); }
};

// `address` is where the archive itself is served; `progress` (may be empty) hears each stage
// now and then, and false from it stops the repair (with every piece written so far kept).
RepairResult RepairArchive(const std::string& archivePath, std::string_view torrentBytes, const std::string& address,
                           const std::function<bool(const RepairProgress&)>& progress = nullptr);

// The archive's address on a server that the torrent names as a web seed (its url-list; a
// folder address gets the file's name); nothing when it names none.
std::optional<std::string> WebSeedOf(std::string_view torrentBytes);

}  // namespace torrent
