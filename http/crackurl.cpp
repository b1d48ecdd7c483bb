#include "crackurl.h"

#include "ascii.h"
#include "bytetext.h"
#include "decimal.h"
#include "gbk.h"

namespace http {

namespace {

// The first of `chars` at or after `from` / the last of them, stepping over two-byte
// characters, so that a trail byte that happens to be "@", ":" or "/" splits nothing.
size_t FirstOf(std::string_view text, std::string_view chars, size_t from = 0) {
  for (size_t i = from; i < text.size(); i += text::CharLength(text, i))
    if (chars.find(text[i]) != std::string_view::npos) return i;
  return std::string_view::npos;
}

size_t LastOf(std::string_view text, char c) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < text.size(); i += text::CharLength(text, i))
    if (text[i] == c) last = i;
  return last;
}

// The host ("[IPv6]" without its brackets) and the port; no port, or port 0, is the scheme's.
bool SplitHostAndPort(std::string_view authority, UrlParts& parts) {
  std::string_view host = authority, port;
  if (authority.starts_with('[')) {
    size_t close = FirstOf(authority, "]");
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return false;
    if (!after.empty()) port = after.substr(1);
  } else if (size_t colon = FirstOf(authority, ":"); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return false;
  std::int64_t number = 0;
  if (!port.empty()) {
    auto digits = common::DecimalNumber(port, 5);
    if (!digits || *digits > 65535) return false;
    number = *digits;
  }
  parts.host = std::string(host);
  parts.port = number != 0 ? int(number) : (parts.secure ? 443 : 80);
  return true;
}

}  // namespace

std::optional<UrlParts> CrackUrl(std::string_view address) {
  long found = text::Find(address, "://");
  if (found == -1) return std::nullopt;
  const size_t schemeEnd = size_t(found - 1);
  UrlParts parts;
  const std::string scheme = common::AsciiLower(address.substr(0, schemeEnd));
  if (scheme == "https") {
    parts.secure = true;
  } else if (scheme != "http") {
    return std::nullopt;
  }
  std::string_view rest = address.substr(schemeEnd + 3);
  size_t authorityEnd = FirstOf(rest, "/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  // A byte of the host's part that is no whole character (a lead byte before ":", "/" or "@")
  // decodes to "?" and takes the next byte with it: the host the code page sees and the one
  // split here would differ, and the request could go elsewhere than the address says.
  if (!text::gbk::OnlyWholeCharacters(authority)) return std::nullopt;
  if (size_t at = LastOf(authority, '@'); at != std::string_view::npos) authority.remove_prefix(at + 1);

  if (!SplitHostAndPort(authority, parts)) return std::nullopt;

  size_t extraStart = FirstOf(tail, "?#");
  parts.path = std::string(tail.substr(0, extraStart));
  if (extraStart != std::string_view::npos) parts.extra = std::string(tail.substr(extraStart));
  return parts;
}

}  // namespace http
