#include "bytetext.h"

#include "ascii.h"

namespace text {
namespace {

// Does `sought` stand at `at`? Folding applies to single-byte characters of `sought` only;
// both bytes of a two-byte character must be equal.
bool MatchesAt(std::string_view text, size_t at, std::string_view sought, bool ignoreCase) {
  if (text.size() - at < sought.size()) return false;
  for (size_t k = 0; k < sought.size();) {
    size_t len = CharLength(sought, k);
    if (len == 2) {
      if (text[at + k] != sought[k] || text[at + k + 1] != sought[k + 1]) return false;
    } else if (ignoreCase ? common::AsciiLower(text[at + k]) != common::AsciiLower(sought[k])
                          : text[at + k] != sought[k]) {
      return false;
    }
    k += len;
  }
  return true;
}

bool IsBlankAt(std::string_view text, size_t i) {
  return text[i] == ' ' || (static_cast<unsigned char>(text[i]) == 0xA1 && i + 1 < text.size() &&
                            static_cast<unsigned char>(text[i + 1]) == 0xA1);
}

}  // namespace

long Find(std::string_view text, std::string_view sought, long start, bool ignoreCase) {
  if (sought.empty()) return -1;
  size_t from = start < 1 ? 0 : size_t(start - 1);
  for (size_t i = from; i < text.size() && text.size() - i >= sought.size(); i += CharLength(text, i))
    if (MatchesAt(text, i, sought, ignoreCase)) return long(i + 1);
  return -1;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  long start = 1;
  for (long at; !separator.empty() && (at = Find(text, separator, start)) != -1; start = at + long(separator.size()))
    items.emplace_back(text.substr(size_t(start - 1), size_t(at - start)));
  if (size_t(start - 1) < text.size()) items.emplace_back(text.substr(size_t(start - 1)));
  return items;
}

std::string Trim(std::string_view text) {
  size_t first = text.size(), end = 0;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (IsBlankAt(text, i)) continue;
    if (first == text.size()) first = i;
    end = i + CharLength(text, i);
  }
  return first == text.size() ? std::string() : std::string(text.substr(first, end - first));
}

std::string RemoveBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i += CharLength(text, i))
    if (!IsBlankAt(text, i)) out.append(text.substr(i, CharLength(text, i)));
  return out;
}

std::string Left(std::string_view text, long n) {
  return n <= 0 ? std::string() : std::string(text.substr(0, size_t(n)));
}

std::string Right(std::string_view text, long n) {
  if (n <= 0) return {};
  return size_t(n) >= text.size() ? std::string(text) : std::string(text.substr(text.size() - size_t(n)));
}

std::string Replace(std::string_view text, std::string_view sought, std::string_view replacement, bool ignoreCase) {
  std::string out;
  long start = 1;
  for (long at; (at = Find(text, sought, start, ignoreCase)) != -1; start = at + long(sought.size())) {
    out.append(text.substr(size_t(start - 1), size_t(at - start)));
    out.append(replacement);
  }
  out.append(text.substr(size_t(start - 1)));
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); i += CharLength(out, i)) out[i] = common::AsciiLower(out[i]);
  return out;
}

}  // namespace text
