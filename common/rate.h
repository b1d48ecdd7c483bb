#pragma once
// A download speed limit as the user types it, in curl's spelling.
#include <cstdint>
#include <optional>
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

}  // namespace common
