#pragma once
// The room left on a file system, for an unprivileged user; nothing when it cannot be known.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

std::optional<std::int64_t> FreeSpaceOf(int fd);
std::optional<std::int64_t> FreeSpaceOfFolder(const std::string& folder);

}  // namespace platform
