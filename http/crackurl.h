#pragma once
// Takes an address apart by the rules of the Windows HTTP service, before libcurl (which is
// more lenient) ever sees it.
#include <optional>
#include <string>
#include <string_view>

namespace http {

struct UrlParts {
  bool secure = false;  // https
  std::string host;     // without brackets for IPv6
  int port = 0;         // 80 or 443 when the address names none (or names 0)
  std::string path;     // empty when the address has none
  std::string extra;    // "?query" and/or "#fragment"
};

// Nothing unless the address is http:// or https:// (any letter case) with a host and, when
// given, a numeric port up to 65535.
std::optional<UrlParts> CrackUrl(std::string_view address);

}  // namespace http
