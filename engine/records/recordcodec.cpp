#include "recordcodec.h"

#include <algorithm>
#include <cstring>

#include "recordlayout.h"
#include "utf8.h"

namespace records {

namespace {

// A field without its zero unit is refused: the engine never reads past a field.
std::optional<std::u16string> TerminatedUnits(const std::uint8_t* record, size_t offset, size_t bytes) {
  std::u16string units = FieldUnits(std::string_view(reinterpret_cast<const char*>(record + offset), bytes));
  if (units.size() >= bytes / 2) return std::nullopt;
  return units;
}

template <typename T>
void Put(std::uint8_t* record, size_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof(T));
}

}  // namespace

std::u16string FieldUnits(std::string_view field) {
  std::u16string units;
  for (size_t i = 0; i + 1 < field.size(); i += 2) {
    const auto unit = char16_t(static_cast<std::uint8_t>(field[i]) | static_cast<std::uint8_t>(field[i + 1]) << 8);
    if (unit == 0) break;
    units += unit;
  }
  return units;
}

std::optional<std::string> FieldText(std::u16string_view text, size_t fieldBytes) {
  if (text.empty()) return std::string();
  std::string bytes;
  for (char16_t u : text) bytes += {char(u & 0xFF), char(u >> 8)};
  bytes += std::string(2, '\0');
  if (bytes.size() > fieldBytes) return std::nullopt;
  return bytes;
}

CreateRequest ReadCreateParams(const std::uint8_t* record) {
  namespace f = createparams;
  CreateRequest r;
  r.taskUrl = TerminatedUnits(record, f::szTaskUrl, f::kUrlBytes);
  r.filename = TerminatedUnits(record, f::szFilename, f::kPathBytes);
  r.savePath = TerminatedUnits(record, f::szSavePath, f::kPathBytes);
  r.isOnlyOriginal = record[f::IsOnlyOriginal] != 0;
  r.disableAutoRename = record[f::DisableAutoRename] != 0;
  r.isResume = record[f::IsResume] != 0;
  return r;
}

void WriteProgressInfo(const Progress& p, std::uint8_t* record) {
  namespace f = progressinfo;
  Put<std::int32_t>(record, f::stat, p.stat);
  Put<std::int32_t>(record, f::fail_code, p.failCode);
  // Little-endian units, the rest of the field zero: a name is cut to leave its zero unit.
  const std::u16string name = common::Utf8ToUtf16(p.name).substr(0, f::kNameBytes / 2 - 1);
  const std::string units = FieldText(name, f::kNameBytes).value_or(std::string());
  std::memset(record + f::szFilename, 0, f::kNameBytes);
  std::copy(units.begin(), units.end(), record + f::szFilename);  // with its zero unit
  Put<std::int64_t>(record, f::nTotalSize, p.total);
  Put<std::int64_t>(record, f::nTotalDownload, p.downloaded);
  Put<float>(record, f::fPercent, p.percent);
  Put<std::int32_t>(record, f::nSrcTotal, p.sources);
  Put<std::int32_t>(record, f::nSrcUsing, p.sourcesInUse);
  Put<std::int32_t>(record, f::nSpeed, p.speed);
  record[f::bIsOriginUsable] = 1;
  Put<std::int32_t>(record, f::IsCreatingFile, 0);
}

}  // namespace records
