#include <sys/statvfs.h>

#include "platform/freespace.h"

namespace platform {

namespace {

std::int64_t Available(const struct statvfs& vfs) {
  const double bytes = double(vfs.f_bavail) * double(vfs.f_frsize);
  return bytes >= 9.2e18 ? INT64_MAX : std::int64_t(bytes);
}

}  // namespace

std::optional<std::int64_t> FreeSpaceOf(FileHandle file) {
  struct statvfs vfs {};
  if (fstatvfs(static_cast<int>(file), &vfs) != 0) return std::nullopt;
  return Available(vfs);
}

std::optional<std::int64_t> FreeSpaceOfFolder(const std::string& folder) {
  struct statvfs vfs {};
  if (statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
  return Available(vfs);
}

}  // namespace platform
