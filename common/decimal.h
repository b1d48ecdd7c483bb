#pragma once
// Numbers from the network (ports, lengths, ranges) read strictly: decimal digits only.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

// The value of 1 to `maxDigits` decimal digits (at most 18, so that it fits); nothing for an
// empty text, any other character ("0x400", "1e3", "-5", " 7") or too many digits.
inline std::optional<std::int64_t> DecimalNumber(std::string_view text, size_t maxDigits = 18) {
  if (text.empty() || text.size() > maxDigits || maxDigits > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace common
