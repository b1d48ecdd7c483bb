#pragma once
// ASCII case for names and protocol words (header names, schemes, charset names, process
// names). Every byte A to Z is lowered: right for ASCII and UTF-8 text, in which no byte of a
// non-ASCII character is below 0x80. GBK text needs the text library's own AsciiLower, whose
// trail bytes may look like letters.
#include <string>
#include <string_view>

namespace common {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace common
