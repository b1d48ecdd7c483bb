#pragma once
// The engine's side of the two records: what a task-creation record asks for, and the
// progress record written from what the engine reports. The program's side builds and reads
// them by field name (taskrecord.h); both sides lay them out from one field table
// (recordlayout.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dlcore.h"

namespace records {

// The little-endian UTF-16 units of a record's text field up to its first zero unit; all of
// them when it holds none.
std::u16string FieldUnits(std::string_view field);
// The field's bytes of a UTF-16 text: little-endian units and a terminating zero unit; nothing
// when they do not fit `fieldBytes` (a text is refused rather than cut). An empty text gives
// no bytes at all.
std::optional<std::string> FieldText(std::u16string_view text, size_t fieldBytes);

// A task-creation record as the engine reads it. A text is nothing when its field holds no
// terminating zero unit.
struct CreateRequest {
  std::optional<std::u16string> taskUrl, filename, savePath;
  bool isOnlyOriginal = false;
  bool disableAutoRename = false;
  bool isResume = false;
};
CreateRequest ReadCreateParams(const std::uint8_t* record);

// What the engine reports of a task.
struct Progress {
  int stat = DL_STATE_STOPPED;
  int failCode = 0;
  std::string name;  // UTF-8
  std::int64_t total = 0, downloaded = 0;
  float percent = 0;
  int sources = 0, sourcesInUse = 0;
  int speed = 0;
};
// Writes the fields the engine reports; a name longer than its field is cut to it.
void WriteProgressInfo(const Progress& p, std::uint8_t* record);

}  // namespace records
