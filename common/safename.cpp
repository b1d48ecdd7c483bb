#include "safename.h"

#include <algorithm>
#include <array>

#include "ascii.h"

namespace common {

namespace {

bool ForbiddenOnWindows(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::string_view("\\/:*?\"<>|").find(char(c)) != std::string_view::npos;
}

// Windows takes "NUL", "nul.txt" and "Com1 .ndz" alike as the device: the part before the first
// dot, trailing blanks dropped, compared without case.
bool DeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kDevices)
    if (EqualIgnoringAsciiCase(base, device)) return true;
  return base.size() == 4 &&
         (EqualIgnoringAsciiCase(base.substr(0, 3), "COM") || EqualIgnoringAsciiCase(base.substr(0, 3), "LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

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

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') return false;
  if (std::any_of(name.begin(), name.end(), [](char c) { return ForbiddenOnWindows(static_cast<unsigned char>(c)); }))
    return false;
  return !DeviceName(name);
}

std::string SafeFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c >= 0x20 && c != 0x7F) out += ForbiddenOnWindows(c) ? '_' : char(c);
  }
  out = Shortened(out);
  // Never hidden, never "." or "..": ".zip" (a version of control characters) or "..zip". After
  // the shortening, which may leave only the extension.
  if (out.empty() || out.front() == '.') out = Shortened("_" + out);
  // Windows would drop a trailing dot or blank and so name another file.
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
  if (DeviceName(out)) out = Shortened("_" + out);
  return out;
}

}  // namespace common
