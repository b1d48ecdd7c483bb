#pragma once
// An address as a value, "scheme://[user[:password]@]host[:port][/path][?query][#fragment]",
// and the percent codec for what goes on the wire. The cores that need an address's parts
// (the engine, dlget, the download list) take them from here. The request engine's CrackUrl
// keeps the Windows service's own rules (code page 936 hosts) on top of the same split.
#include <optional>
#include <string>
#include <string_view>

#include "percent.h"

namespace common {

struct Url {
  std::string scheme;    // lower case: "http", "https", ...
  std::string userInfo;  // before the last "@" of the authority, without it
  std::string host;      // an IPv6 address without its brackets
  int port = 0;          // as written; 0 when the address names none
  std::string path;      // from its "/" on; empty when there is none
  std::string query;     // after "?", without it
  std::string fragment;  // after "#", without it

  bool secure() const { return scheme == "https"; }
  // The port, or the scheme's own (443 for https, 80 otherwise) when none is written.
  int PortOrDefault() const { return port ? port : secure() ? 443 : 80; }
  // "host:port" ("[::1]:8080" for IPv6), with the scheme's port when none is written.
  std::string HostAndPort() const;
};

// Nothing unless the address has a scheme of letters, digits, "+", "-" or "." before "://", a
// host, a port (when written) of 1 to 65535 in decimal digits, and IPv6 brackets that close.
std::optional<Url> ParseUrl(std::string_view address);

// Every byte outside printable ASCII (0x21 to 0x7E) and every byte of `alsoEscape` as "%XX"
// with upper-case hex digits.
std::string PercentEncoded(std::string_view bytes, std::string_view alsoEscape = {});

}  // namespace common
