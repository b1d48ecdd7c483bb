#include "proxy.h"

#include <cstdlib>

#include "ascii.h"
#include "crackurl.h"
#include "percent.h"
#include "request.h"

namespace http {

namespace {

const char* Variable(const Environment& environment, const char* name) {
  const char* value = environment ? environment(name) : std::getenv(name);
  return value && *value ? value : nullptr;
}

const char* FirstSet(const Environment& environment, const char* lower, const char* upper) {
  const char* value = Variable(environment, lower);
  return value ? value : upper ? Variable(environment, upper) : nullptr;
}

// Whether `host` is one of the comma-separated names of `list`, or below one of them.
bool Listed(std::string_view list, const std::string& host) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    std::string_view entry = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    if (entry == "*") return true;
    if (entry.starts_with('[')) {
      entry = entry.substr(1, entry.find(']') == std::string_view::npos ? entry.size() - 1 : entry.find(']') - 1);
    } else if (entry.find(':') == entry.rfind(':') && entry.find(':') != std::string_view::npos) {
      entry = entry.substr(0, entry.find(':'));  // a port after a name or an IPv4 address
    }
    if (entry.starts_with('.')) entry.remove_prefix(1);
    if (entry.empty()) continue;
    const std::string name = common::AsciiLower(entry);
    if (host == name || (host.size() > name.size() && host.ends_with("." + name))) return true;
  }
  return false;
}

std::optional<Proxy> ParseProxy(std::string_view value) {
  const size_t scheme = value.find("://");
  if (scheme != std::string_view::npos) {
    if (common::AsciiLower(value.substr(0, scheme)) != "http") return std::nullopt;
    value.remove_prefix(scheme + 3);
  }
  while (value.ends_with('/')) value.remove_suffix(1);
  Proxy proxy;
  if (const size_t at = value.rfind('@'); at != std::string_view::npos) {
    const std::string_view userInfo = value.substr(0, at);
    const size_t colon = userInfo.find(':');
    proxy.user = common::PercentDecoded(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) proxy.password = common::PercentDecoded(userInfo.substr(colon + 1));
    value.remove_prefix(at + 1);
  }
  // The host and port as an address would carry them; curl's proxy port is 1080.
  const bool bracketed = value.starts_with('[');
  const size_t portColon = bracketed ? value.find("]:") : value.rfind(':');
  const bool hasPort = portColon != std::string_view::npos && (bracketed || value.find(':') == portColon);
  const std::string hostAndPort = std::string(value) + (hasPort ? "" : ":1080");
  const std::optional<UrlParts> parts = CrackUrl("http://" + hostAndPort + "/");
  if (!parts || parts->path != "/" || !parts->extra.empty() || parts->host.empty()) return std::nullopt;
  for (unsigned char c : hostAndPort)
    if (c <= ' ' || c == 0x7F || c == '/' || c == '@') return std::nullopt;
  proxy.hostAndPort = hostAndPort;
  return proxy;
}

}  // namespace

std::optional<Proxy> EnvironmentProxy(std::string_view address, const Environment& environment) {
  const std::optional<UrlParts> url = CrackUrl(address);
  if (!url) return std::nullopt;
  const std::string host = common::AsciiLower(url->host);
  if (const char* list = FirstSet(environment, "no_proxy", "NO_PROXY"); list && Listed(list, host)) return std::nullopt;
  const char* value =
      url->secure ? FirstSet(environment, "https_proxy", "HTTPS_PROXY") : FirstSet(environment, "http_proxy", nullptr);
  if (!value) value = FirstSet(environment, "all_proxy", "ALL_PROXY");
  if (!value) return std::nullopt;
  return ParseProxy(value);
}

void UseEnvironmentProxy(HttpRequest& request, const Environment& environment) {
  if (std::optional<Proxy> proxy = EnvironmentProxy(request.address, environment)) {
    request.proxyAddress = proxy->hostAndPort;
    request.proxyUser = proxy->user;
    request.proxyPassword = proxy->password;
  }
}

std::string ProxyAuthorizationLine(const Proxy& proxy) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string plain = proxy.user + ":" + proxy.password;
  std::string encoded;
  for (size_t i = 0; i < plain.size(); i += 3) {
    const unsigned n = unsigned(static_cast<unsigned char>(plain[i])) << 16 |
                       (i + 1 < plain.size() ? unsigned(static_cast<unsigned char>(plain[i + 1])) << 8 : 0) |
                       (i + 2 < plain.size() ? unsigned(static_cast<unsigned char>(plain[i + 2])) : 0);
    encoded += digits[n >> 18 & 63];
    encoded += digits[n >> 12 & 63];
    encoded += i + 1 < plain.size() ? digits[n >> 6 & 63] : '=';
    encoded += i + 2 < plain.size() ? digits[n & 63] : '=';
  }
  return "Proxy-Authorization: Basic " + encoded;
}

}  // namespace http
