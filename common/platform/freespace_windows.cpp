#include <windows.h>

#include <vector>

#include "platform/freespace.h"
#include "platform/wide_windows.h"

namespace platform {

namespace {

std::optional<std::int64_t> FreeOn(const std::wstring& folder) {
  ULARGE_INTEGER available{};  // what this user may take, quotas counted
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart > std::uint64_t(INT64_MAX) ? INT64_MAX : std::int64_t(available.QuadPart);
}

}  // namespace

std::optional<std::int64_t> FreeSpaceOf(FileHandle file) {
  std::vector<wchar_t> path(32768);
  const DWORD n = GetFinalPathNameByHandleW(AsHandle(file), path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
  if (n == 0 || n >= path.size()) return std::nullopt;
  std::vector<wchar_t> volume(32768);
  if (!GetVolumePathNameW(path.data(), volume.data(), DWORD(volume.size()))) return std::nullopt;
  return FreeOn(volume.data());
}

std::optional<std::int64_t> FreeSpaceOfFolder(const std::string& folder) { return FreeOn(Wide(folder)); }

}  // namespace platform
