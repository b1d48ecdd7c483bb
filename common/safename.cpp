#include "safename.h"

namespace common {

namespace {

// The longest prefix of `text` within `bytes` that cuts no UTF-8 character. Bytes that are no
// character's (invalid UTF-8) may be cut anywhere: walking back over more than the three
// continuation bytes a character has would shorten a name of them to nothing.
std::string_view Utf8Prefix(std::string_view text, size_t bytes) {
  if (text.size() <= bytes) return text;
  const auto isContinuation = [&](size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  size_t start = bytes;
  while (start > 0 && bytes - start < 3 && isContinuation(start)) --start;
  const auto lead = static_cast<unsigned char>(text[start]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const bool cutsACharacter = lead >= 0xC0 && start + length > bytes;
  return text.substr(0, cutsACharacter ? start : bytes);
}

// Too long for the file system: the stem shortened, a short extension kept.
std::string Shortened(const std::string& name) {
  if (name.size() <= kMaxSafeNameBytes) return name;
  const size_t dot = name.rfind('.');
  const bool keepExtension = dot != std::string::npos && dot > 0 && name.size() - dot <= 16;
  const std::string extension = keepExtension ? name.substr(dot) : std::string();
  const std::string_view stem = std::string_view(name).substr(0, keepExtension ? dot : name.size());
  return std::string(Utf8Prefix(stem, kMaxSafeNameBytes - extension.size())) + extension;
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
  out = Shortened(out);
  // Never hidden, never "." or "..": ".zip" (a version of control characters) or "..zip". After
  // the shortening, which may leave only the extension.
  if (out.empty() || out.front() == '.') out = Shortened("_" + out);
  return out;
}

}  // namespace common
