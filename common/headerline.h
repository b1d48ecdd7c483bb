#pragma once
// One line of an HTTP response's head, read the same way by the request engine and the
// download engine: a status line starts a new response (a redirect, "100 Continue"), any other
// line is "Name: value". Each reader keeps its own policy for what the values mean.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ascii.h"
#include "decimal.h"

namespace common {

// The line without its CR LF or bare LF.
inline std::string_view WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// The status of a status line ("HTTP/1.1 206 Partial Content" gives 206; 0 when it names
// none), or nothing for any other line.
inline std::optional<long> StatusOfLine(std::string_view line) {
  if (!line.starts_with("HTTP/")) return std::nullopt;
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return 0;
  return std::strtol(std::string(line.substr(blank + 1, 3)).c_str(), nullptr, 10);
}

struct HeaderField {
  std::string name;        // lower case, without blanks around it
  std::string_view value;  // without blanks around it nor the line end
};

// The name and value of a "Name: value" line; nothing for a line without a colon.
inline std::optional<HeaderField> ReadHeaderField(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const auto trimmed = [&](std::string_view v) {
    while (!v.empty() && blank(v.front())) v.remove_prefix(1);
    while (!v.empty() && blank(v.back())) v.remove_suffix(1);
    return v;
  };
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return HeaderField{AsciiLower(trimmed(line.substr(0, colon))), trimmed(line.substr(colon + 1))};
}

struct ContentRange {
  std::int64_t first = 0, last = 0, total = -1;  // total -1 for "*"
};

// "bytes 0-99/1000" or "bytes 0-99/*"; nothing for a range that cannot be.
inline std::optional<ContentRange> ParseContentRange(std::string_view v) {
  if (!v.starts_with("bytes ")) return std::nullopt;
  v.remove_prefix(6);
  const size_t dash = v.find('-'), slash = v.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return std::nullopt;
  const auto first = DecimalNumber(v.substr(0, dash)), last = DecimalNumber(v.substr(dash + 1, slash - dash - 1));
  const std::string_view total = v.substr(slash + 1);
  const auto size = total == "*" ? std::optional<std::int64_t>(-1) : DecimalNumber(total);
  if (!first || !last || !size || *last < *first || (*size >= 0 && *last >= *size)) return std::nullopt;
  return ContentRange{*first, *last, *size};
}

}  // namespace common
