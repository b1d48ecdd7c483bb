#pragma once
// Which proxy a request goes through. One rule for the portal request, the size probe, the
// torrent fetches and the engine (which leaves it to libcurl, whose rule this is): the
// variables curl documents. `http_proxy` for http addresses (lower case only: a web server
// sets HTTP_PROXY from a request's "Proxy:" header for the programs it runs), `https_proxy`
// or `HTTPS_PROXY` for https, else `all_proxy` or `ALL_PROXY`; `no_proxy` or `NO_PROXY` lists
// the hosts that go direct ("*" for all; a name stands for itself and the names below it,
// with or without a leading dot; a ":port" after a name is ignored).
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace http {

struct Proxy {
  std::string hostAndPort;     // "host:port", "[::1]:port" for IPv6
  std::string user, password;  // basic credentials from "user:password@", percent-decoded
};

// A variable's value, or null when it is not set.
using Environment = std::function<const char*(const char*)>;

// The proxy for a request to `address`, or nothing for a direct connection. Only HTTP
// proxies are taken ("host[:port]" or "http://[user:password@]host[:port][/]", port 1080
// when none is given, as curl does); another kind (socks, https) or a value that is not an
// address leaves the request direct, and so does an address that is not http or https.
std::optional<Proxy> EnvironmentProxy(std::string_view address, const Environment& environment = nullptr);

struct HttpRequest;
// Sets the request's proxy (address and credentials) from the environment for its address;
// leaves it as it is when the environment names none.
void UseEnvironmentProxy(HttpRequest& request, const Environment& environment = nullptr);

// "Proxy-Authorization: Basic ..." for the credentials, without the line's end.
std::string ProxyAuthorizationLine(const Proxy& proxy);

}  // namespace http
