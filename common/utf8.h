#pragma once
// UTF-8 <-> UTF-16, header-only: the engine library uses it without the text library.
// Surrogate pairs are joined; a lone surrogate becomes U+FFFD.
#include <cstdint>
#include <string>
#include <string_view>

namespace common {

inline std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    std::uint32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (cp >= 0xD800 && cp < 0xE000)
      cp = 0xFFFD;
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += {char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      out += {char(0xE0 | (cp >> 12)), char(0x80 | ((cp >> 6) & 0x3F)), char(0x80 | (cp & 0x3F))};
    } else {
      out += {char(0xF0 | (cp >> 18)), char(0x80 | ((cp >> 12) & 0x3F)), char(0x80 | ((cp >> 6) & 0x3F)),
              char(0x80 | (cp & 0x3F))};
    }
  }
  return out;
}

// Well-formed UTF-8 by its lead and continuation bytes (overlong forms are not looked for).
inline bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || (extra > 0 && i + size_t(extra) >= s.size())) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + size_t(k)]) & 0xC0) != 0x80) return false;
    i += size_t(extra) + 1;
  }
  return true;
}

// Lenient: a malformed sequence gives what its bits say rather than an error.
inline std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = utf8[i];
    int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
    i += size_t(extra) + 1;
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

}  // namespace common
