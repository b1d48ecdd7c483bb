#include "printable.h"

#include <cstdio>

namespace common {

namespace {

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0.
size_t SequenceLength(std::string_view s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 0 || at + length > s.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  // No overlong three- or four-byte forms, no surrogates, nothing past U+10FFFF.
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

void AppendEscaped(std::string& out, const char* format, unsigned value) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, format, value);
  out += escaped;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const size_t length = SequenceLength(text, at);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      AppendEscaped(out, "\\x%02x", c);
      ++at;
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      AppendEscaped(out, "\\u%04x", static_cast<unsigned char>(text[at + 1]));  // U+0080..U+009F
      at += 2;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace common
