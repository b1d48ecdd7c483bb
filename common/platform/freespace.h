#pragma once
// The room left on a file system, for an unprivileged user; nothing when it cannot be known.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/fileio.h"

namespace platform {

std::optional<std::int64_t> FreeSpaceOf(FileHandle file);
std::optional<std::int64_t> FreeSpaceOfFolder(const std::string& folder);

}  // namespace platform
