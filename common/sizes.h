#pragma once
// Sizes and speeds as people read and type them. One unit everywhere: 1024 bytes, written
// "KB", "MB", "GB" as Windows and the main window's speed ("KB/S") write it.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "decimal.h"

namespace common {

// Bytes per second: a whole number, or one with K, M or G (any case) for 1024, 1024² or
// 1024³ of them ("500K", "2M", "1g"). Nothing for anything else, for 0 and for more than
// 1 TiB/s.
inline std::optional<std::int64_t> ParseRate(std::string_view text) {
  int shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k':
      case 'K': shift = 10; break;
      case 'm':
      case 'M': shift = 20; break;
      case 'g':
      case 'G': shift = 30; break;
      default: break;
    }
  }
  if (shift) text.remove_suffix(1);
  const std::optional<std::int64_t> value = DecimalNumber(text, 13);
  if (!value || *value == 0 || *value > (std::int64_t(1) << (40 - shift))) return std::nullopt;
  return *value << shift;
}

// "812 B", "974.0 KB", "1.50 MB", "2.00 GB".
inline std::string SizeText(std::int64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < (1 << 20)) {
    std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
  } else if (bytes < (std::int64_t(1) << 30)) {
    std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1073741824.0);
  }
  return text;
}

// "974.0 KB/s".
inline std::string RateText(std::int64_t bytesPerSecond) { return SizeText(bytesPerSecond) + "/s"; }

}  // namespace common
