#include "safename.h"

namespace common {

namespace {

// The longest UTF-8 prefix of `text` within `bytes`, never cutting a character.
std::string_view Utf8Prefix(std::string_view text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\')
      out += '_';
    else if (c >= 0x20 && c != 0x7F)
      out += char(c);
  }
  // Never hidden, never "." or "..": ".zip" (a version of control characters) or "..zip".
  if (out.empty() || out.front() == '.') out = "_" + out;
  if (out.size() > kMaxSafeNameBytes) {
    // Too long for the file system: shorten the stem, keep a short extension.
    const size_t dot = out.rfind('.');
    const bool keepExtension = dot != std::string::npos && dot > 0 && out.size() - dot <= 16;
    const std::string extension = keepExtension ? out.substr(dot) : std::string();
    const std::string_view stem = std::string_view(out).substr(0, keepExtension ? dot : out.size());
    out = std::string(Utf8Prefix(stem, kMaxSafeNameBytes - extension.size())) + extension;
  }
  return out;
}

}  // namespace common
