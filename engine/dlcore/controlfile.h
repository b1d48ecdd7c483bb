#pragma once
// The small state file kept beside a download's data ("<name>.part.ctl"): what the server
// said the file is, and which bytes of "<name>.part" are safely on disk. It is written to a
// temporary file, flushed and renamed, and carries a CRC-32, so a torn or damaged copy is
// recognised and never trusted.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ranges.h"

namespace dlcore {

struct ControlState {
  std::string url;           // the address the task was created with
  std::int64_t total = -1;   // -1 when the server named no size
  bool rangeable = false;    // the server answers Range requests
  std::string etag;          // strong ETag, or empty
  std::string lastModified;  // or empty
  RangeSet done;             // bytes flushed to the data file
  bool operator==(const ControlState& o) const {
    return url == o.url && total == o.total && rangeable == o.rangeable && etag == o.etag &&
           lastModified == o.lastModified && done.ranges() == o.done.ranges();
  }
};

std::string EncodeControl(const ControlState& state);
// Nothing for a file that is short, damaged, of another version or inconsistent.
std::optional<ControlState> DecodeControl(std::string_view bytes);

// Atomic replace: temporary file, fsync, rename, fsync of the folder.
bool WriteControlFile(const std::string& path, const ControlState& state);
std::optional<ControlState> ReadControlFile(const std::string& path);

}  // namespace dlcore
