#pragma once
// What a completed package leaves beside its file (".NAME.quorvel-done"): the address it came
// from, the server's size and validators, and the file's size and last change when it got its
// name. A later run keeps the file only when all of it still holds and the server still names
// the same size and validators; a file merely of the right name proves nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace records {

struct DoneRecord {
  std::string url;  // as it went on the wire (percent-encoded)
  std::int64_t total = -1;
  std::string etag;          // strong ETag, or empty
  std::string lastModified;  // or empty
  std::int64_t modifiedNs = 0;
  bool operator==(const DoneRecord&) const = default;
};

std::string DoneRecordPath(const std::string& folder, const std::string& name);

std::string EncodeDoneRecord(const DoneRecord& record);
// Nothing for a record that is damaged, of another kind, or proves nothing (no size, no
// validator).
std::optional<DoneRecord> DecodeDoneRecord(std::string_view bytes);

// Whether a server's header block (redirects before it allowed) answers 200 with the record's
// size and validators, read as the engine reads them.
bool ServerStillNames(const DoneRecord& record, std::string_view headers);

// The record of the file `name` in `folder`, read without following a link; nothing when
// there is none or it cannot be used.
std::optional<DoneRecord> ReadDoneRecord(const std::string& folder, const std::string& name);

}  // namespace records
