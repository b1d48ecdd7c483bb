#include "url.h"

#include "ascii.h"
#include "decimal.h"

namespace common {

namespace {

bool SchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The host and port of an authority without its user part; false when they are not usable.
bool SplitHostAndPort(std::string_view authority, Url& url) {
  std::optional<std::string_view> portText;
  if (authority.starts_with('[')) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    url.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return false;
    if (!after.empty()) portText = after.substr(1);
  } else {
    const size_t colon = authority.find(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
  }
  if (url.host.empty()) return false;
  if (!portText) return true;
  const std::optional<std::int64_t> port = DecimalNumber(*portText, 5);
  if (!port || *port < 1 || *port > 65535) return false;
  url.port = static_cast<int>(*port);
  return true;
}

}  // namespace

std::string Url::HostAndPort() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(PortOrDefault());
}

std::optional<Url> ParseUrl(std::string_view address) {
  const size_t schemeEnd = address.find("://");
  if (schemeEnd == 0 || schemeEnd == std::string_view::npos) return std::nullopt;
  Url url;
  for (const char c : address.substr(0, schemeEnd))
    if (!SchemeCharacter(c)) return std::nullopt;
  url.scheme = AsciiLower(address.substr(0, schemeEnd));
  std::string_view rest = address.substr(schemeEnd + 3);
  if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  if (const size_t question = rest.find('?'); question != std::string_view::npos) {
    url.query = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
  }
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) url.path = std::string(rest.substr(slash));
  // A password may hold "@": the host follows the last one.
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    url.userInfo = std::string(authority.substr(0, at));
    authority = authority.substr(at + 1);
  }
  if (!SplitHostAndPort(authority, url)) return std::nullopt;
  return url;
}

std::string PercentEncoded(std::string_view bytes, std::string_view alsoEscape) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b > 0x20 && b < 0x7F && alsoEscape.find(c) == std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace common
