#include "donerecord.h"

#include <charconv>
#include <vector>

#include "decimal.h"
#include "files.h"
#include "headerline.h"

namespace records {

namespace {

constexpr std::string_view kFirstLine = "quorvel-done 1";
constexpr std::string_view kKeys[] = {"url", "total", "etag", "last-modified", "modified"};
// An address fills at most a few kilobytes; anything larger is not ours.
constexpr std::uintmax_t kMaxRecordBytes = 16 << 10;

bool PlainText(std::string_view value) {
  for (const char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

std::optional<std::int64_t> Number(std::string_view text) {
  std::int64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size() || n < 0) return std::nullopt;
  return n;
}

// The values of "key value" lines, in the order of kKeys, each exactly once.
std::optional<std::vector<std::string_view>> Values(std::string_view bytes) {
  if (!bytes.starts_with(kFirstLine) || bytes.size() <= kFirstLine.size() || bytes[kFirstLine.size()] != '\n')
    return std::nullopt;
  bytes.remove_prefix(kFirstLine.size() + 1);
  std::vector<std::string_view> values;
  for (const std::string_view key : kKeys) {
    const size_t end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    if (!line.starts_with(key) || line.size() < key.size() + 1 || line[key.size()] != ' ') return std::nullopt;
    values.push_back(line.substr(key.size() + 1));
    if (!PlainText(values.back())) return std::nullopt;
    bytes.remove_prefix(end + 1);
  }
  if (!bytes.empty()) return std::nullopt;
  return values;
}

// What the server's last answer names: its size and validators. Two lengths that disagree
// name none.
struct Named {
  long status = 0;
  std::int64_t length = -1;
  bool sawLength = false;
  std::string etag, lastModified;
};

void ReadHeaderLine(Named& named, std::string_view line) {
  if (const std::optional<long> status = common::StatusOfLine(line)) {
    named = Named{*status, -1, false, {}, {}};  // a redirect's headers are not the file's
    return;
  }
  const std::optional<common::HeaderField> field = common::ReadHeaderField(line);
  if (!field) return;
  if (field->name == "content-length") {
    const std::int64_t length = common::DecimalNumber(field->value).value_or(-1);
    named.length = named.sawLength && length != named.length ? -1 : length;
    named.sawLength = true;
  } else if (field->name == "etag") {
    named.etag = field->value.starts_with("W/") ? std::string() : std::string(field->value);  // weak: no validator
  } else if (field->name == "last-modified") {
    named.lastModified = field->value;
  }
}

}  // namespace

bool ServerStillNames(const DoneRecord& record, std::string_view headers) {
  Named named;
  while (!headers.empty()) {
    const size_t end = headers.find('\n');
    ReadHeaderLine(named, common::WithoutLineEnd(headers.substr(0, end)));
    headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
  }
  return named.status == 200 && named.length == record.total && named.etag == record.etag &&
         (record.lastModified.empty() || named.lastModified == record.lastModified);
}

std::string DoneRecordPath(const std::string& folder, const std::string& name) {
  return folder + "/." + name + ".quorvel-done";
}

std::string EncodeDoneRecord(const DoneRecord& r) {
  return std::string(kFirstLine) + "\nurl " + r.url + "\ntotal " + std::to_string(r.total) + "\netag " + r.etag +
         "\nlast-modified " + r.lastModified + "\nmodified " + std::to_string(r.modifiedNs) + "\n";
}

std::optional<DoneRecord> DecodeDoneRecord(std::string_view bytes) {
  const auto values = Values(bytes);
  if (!values) return std::nullopt;
  DoneRecord r;
  r.url = (*values)[0];
  const std::optional<std::int64_t> total = Number((*values)[1]), modified = Number((*values)[4]);
  if (!total || !modified || r.url.empty()) return std::nullopt;
  r.total = *total;
  r.etag = (*values)[2];
  r.lastModified = (*values)[3];
  r.modifiedNs = *modified;
  if (r.etag.empty() && r.lastModified.empty()) return std::nullopt;
  return r;
}

std::optional<DoneRecord> ReadDoneRecord(const std::string& folder, const std::string& name) {
  const std::optional<std::string> bytes = common::ReadFileUpTo(DoneRecordPath(folder, name), kMaxRecordBytes);
  return bytes ? DecodeDoneRecord(*bytes) : std::nullopt;
}

}  // namespace records
