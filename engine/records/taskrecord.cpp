#include "taskrecord.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <utility>

#include "gbk.h"
#include "recordcodec.h"
#include "recordlayout.h"

namespace records {

namespace {

std::uint32_t NameCrc(std::string_view name) {
  return std::uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(name.data()), uInt(name.size())));
}

template <typename T>
std::string Bytes(T value) {
  std::string out(sizeof(T), '\0');
  std::memcpy(out.data(), &value, sizeof(T));  // little-endian machines only, as the records are
  return out;
}

template <typename T>
T Number(const TaskRecord& r, std::string_view name) {
  std::string bytes = r.ReadField(name);
  T value{};
  if (!bytes.empty()) std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof(T)));
  return value;
}

// A 32-bit boolean is one byte 0 or 1 over the zero-filled field.
bool Flag(const TaskRecord& r, std::string_view name) { return Number<std::uint8_t>(r, name) != 0; }
bool SetFlag(TaskRecord& r, std::string_view name, bool v) { return r.WriteField(name, std::string(1, v ? 1 : 0)); }

std::string Text(const TaskRecord& r, std::string_view name) {
  std::string bytes = r.ReadField(name);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    if (bytes[i] == 0 && bytes[i + 1] == 0) return text::Utf16ToGbk(bytes.substr(0, i));
  return text::Utf16ToGbk(bytes);
}

bool SetText(TaskRecord& r, std::string_view name, std::string_view value) {
  int at = r.FindField(name);
  if (!at) return false;
  size_t size = r.ReadField(name).size();
  auto utf16 = FieldText(value, size);
  if (!utf16) return false;
  utf16->resize(size, '\0');
  return r.WriteField(name, *utf16);
}

// Adds the table's fields in order, each with its initial bytes when it has some.
void LayFields(TaskRecord& r, std::span<const RecordField> fields,
               std::span<const std::pair<std::string_view, std::string>> initial) {
  for (const RecordField& f : fields) {
    auto given = std::find_if(initial.begin(), initial.end(), [&](const auto& i) { return i.first == f.name; });
    r.AddField(f.name, int(f.bytes), given == initial.end() ? std::string_view() : std::string_view(given->second));
  }
}

}  // namespace

std::uint8_t* TaskRecord::Create(int alignment, std::uint8_t fillByte, int capacity) {
  Release();
  alignment_ = alignment < 1 ? 1 : alignment;
  fill_ = fillByte;
  if (capacity < 0) return nullptr;
  block_.reset(new (std::nothrow) std::uint8_t[size_t(capacity)]());
  capacity_ = block_ ? capacity : 0;
  return block_.get();
}

void TaskRecord::Release() {
  used_ = 0;
  fields_.clear();
  block_.reset();
  capacity_ = 0;
}

const TaskRecord::FieldSlot* TaskRecord::Slot(std::string_view name) const {
  std::uint32_t crc = NameCrc(name);
  for (const FieldSlot& f : fields_)
    if (f.nameCrc == crc) return &f;
  return nullptr;
}

bool TaskRecord::AddField(std::string_view name, int size, std::string_view initialBytes) {
  if (!block_ || size < 0 || Slot(name)) return false;
  int pad = size % alignment_;
  if (pad) pad = alignment_ - pad;
  if (long(used_) + size + pad > long(capacity_)) return false;  // never past the block
  std::uint8_t* address = block_.get() + used_;
  fields_.push_back({std::string(name), address, size, NameCrc(name)});
  if (!initialBytes.empty()) std::memcpy(address, initialBytes.data(), std::min(initialBytes.size(), size_t(size)));
  std::memset(address + size, fill_, size_t(pad));
  used_ += size + pad;
  return true;
}

int TaskRecord::FindField(std::string_view name) const {
  const FieldSlot* slot = Slot(name);
  return slot ? int(slot - fields_.data()) + 1 : 0;
}

std::string TaskRecord::ReadField(std::string_view name) const {
  const FieldSlot* slot = Slot(name);
  return slot ? std::string(reinterpret_cast<const char*>(slot->address), size_t(slot->size)) : std::string();
}

bool TaskRecord::WriteField(std::string_view name, std::string_view bytes) {
  const FieldSlot* slot = Slot(name);
  if (!slot) return false;
  if (!bytes.empty()) std::memcpy(slot->address, bytes.data(), std::min(bytes.size(), size_t(slot->size)));
  return true;
}

std::optional<std::string> FieldText(std::string_view gbk, size_t fieldBytes) {
  std::string utf16 = gbk.empty() ? std::string() : text::GbkToUtf16(gbk);
  if (utf16.size() > fieldBytes) return std::nullopt;
  return utf16;
}

bool TaskCreateParams::Build(std::string_view taskUrl, std::string_view refUrl, std::string_view cookies,
                             std::string_view filename, std::string_view savePath, bool isOnlyOriginal,
                             bool disableAutoRename, bool isResume) {
  using namespace createparams;
  return Lay(FieldText(taskUrl, kUrlBytes), FieldText(refUrl, kUrlBytes), FieldText(cookies, kCookieBytes),
             FieldText(filename, kPathBytes), FieldText(savePath, kPathBytes), isOnlyOriginal, disableAutoRename,
             isResume);
}

bool TaskCreateParams::BuildUtf16(std::u16string_view taskUrl, std::u16string_view filename,
                                  std::u16string_view savePath, bool isOnlyOriginal, bool disableAutoRename,
                                  bool isResume) {
  using namespace createparams;
  return Lay(FieldText(taskUrl, kUrlBytes), std::string(), std::string(), FieldText(filename, kPathBytes),
             FieldText(savePath, kPathBytes), isOnlyOriginal, disableAutoRename, isResume);
}

bool TaskCreateParams::Lay(std::optional<std::string> url, std::optional<std::string> ref,
                           std::optional<std::string> cookie, std::optional<std::string> name,
                           std::optional<std::string> path, bool isOnlyOriginal, bool disableAutoRename,
                           bool isResume) {
  using namespace createparams;
  if (!url || !ref || !cookie || !name || !path) {  // refused, never cut
    record_.Release();
    return false;
  }
  if (!record_.Create(1, 0xCC, int(kCapacity))) return false;
  const std::string one(1, '\1'), zero(1, '\0');
  const std::pair<std::string_view, std::string> initial[] = {
      {"szTaskUrl", *url},
      {"szRefUrl", *ref},
      {"szCookies", *cookie},
      {"szFilename", *name},
      {"szSavePath", *path},
      {"bReserved", zero},
      {"IsOnlyOriginal", isOnlyOriginal ? one : zero},
      {"nReserved1", std::string(1, '\5')},
      {"DisableAutoRename", disableAutoRename ? one : zero},
      {"IsResume", isResume ? one : zero},
  };
  LayFields(record_, kCreateParamsFields, initial);
  return true;
}

std::string TaskCreateParams::szTaskUrl() const { return Text(record_, "szTaskUrl"); }
bool TaskCreateParams::szTaskUrl(std::string_view v) { return SetText(record_, "szTaskUrl", v); }
std::string TaskCreateParams::szRefUrl() const { return Text(record_, "szRefUrl"); }
bool TaskCreateParams::szRefUrl(std::string_view v) { return SetText(record_, "szRefUrl", v); }
std::string TaskCreateParams::szCookies() const { return Text(record_, "szCookies"); }
bool TaskCreateParams::szCookies(std::string_view v) { return SetText(record_, "szCookies", v); }
std::string TaskCreateParams::szFilename() const { return Text(record_, "szFilename"); }
bool TaskCreateParams::szFilename(std::string_view v) { return SetText(record_, "szFilename", v); }
std::string TaskCreateParams::szSavePath() const { return Text(record_, "szSavePath"); }
bool TaskCreateParams::szSavePath(std::string_view v) { return SetText(record_, "szSavePath", v); }
bool TaskCreateParams::IsOnlyOriginal() const { return Flag(record_, "IsOnlyOriginal"); }
bool TaskCreateParams::IsOnlyOriginal(bool v) { return SetFlag(record_, "IsOnlyOriginal", v); }
bool TaskCreateParams::DisableAutoRename() const { return Flag(record_, "DisableAutoRename"); }
bool TaskCreateParams::DisableAutoRename(bool v) { return SetFlag(record_, "DisableAutoRename", v); }
bool TaskCreateParams::IsResume() const { return Flag(record_, "IsResume"); }
bool TaskCreateParams::IsResume(bool v) { return SetFlag(record_, "IsResume", v); }

bool TaskProgressInfo::Build() {
  if (!record_.Create(1, 0xCC, int(progressinfo::kCapacity))) return false;
  const std::pair<std::string_view, std::string> initial[] = {
      {"stat", Bytes<std::int32_t>(DL_STATE_STOPPED)},
      {"fail_code", Bytes<std::int32_t>(0)},
  };
  LayFields(record_, kProgressInfoFields, initial);
  return true;
}

#define QV_NUMBER_ACCESSOR(Type, Name)                                         \
  Type TaskProgressInfo::Name() const { return Number<Type>(record_, #Name); } \
  bool TaskProgressInfo::Name(Type v) { return record_.WriteField(#Name, Bytes<Type>(v)); }
QV_NUMBER_ACCESSOR(std::int32_t, stat)
QV_NUMBER_ACCESSOR(std::int32_t, fail_code)
QV_NUMBER_ACCESSOR(std::int32_t, nSrcTotal)
QV_NUMBER_ACCESSOR(std::int32_t, nSrcUsing)
QV_NUMBER_ACCESSOR(std::int32_t, nSpeed)
QV_NUMBER_ACCESSOR(std::int32_t, nSpeedP2S)
QV_NUMBER_ACCESSOR(std::int32_t, nSpeedP2P)
QV_NUMBER_ACCESSOR(std::int32_t, IsCreatingFile)
QV_NUMBER_ACCESSOR(std::int64_t, nTotalSize)
QV_NUMBER_ACCESSOR(std::int64_t, nTotalDownload)
QV_NUMBER_ACCESSOR(std::int64_t, nDonationP2P)
QV_NUMBER_ACCESSOR(std::int64_t, nDonationOrgin)
QV_NUMBER_ACCESSOR(std::int64_t, nDonationP2S)
QV_NUMBER_ACCESSOR(float, fPercent)
#undef QV_NUMBER_ACCESSOR

bool TaskProgressInfo::bIsOriginUsable() const { return Flag(record_, "bIsOriginUsable"); }
bool TaskProgressInfo::bIsOriginUsable(bool v) { return SetFlag(record_, "bIsOriginUsable", v); }
std::string TaskProgressInfo::szFilename() const { return Text(record_, "szFilename"); }
bool TaskProgressInfo::szFilename(std::string_view v) { return SetText(record_, "szFilename", v); }

std::string TempFileBlock(std::u16string_view folder, std::u16string_view name) {
  using namespace createparams;
  auto nameBytes = FieldText(name, kPathBytes), folderBytes = FieldText(folder, kPathBytes);
  if (!nameBytes || !folderBytes) return {};  // never shift or cut the following fields
  std::string block(kSize, '\0');
  block[nReserved1] = 5;
  block[reserved] = 1;
  block.replace(szFilename, nameBytes->size(), *nameBytes);
  block.replace(szSavePath, folderBytes->size(), *folderBytes);
  return block;
}

}  // namespace records
