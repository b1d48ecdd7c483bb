#pragma once
// How large a file on the download server is, without downloading it: one hand-written GET
// over a plain TCP connection (to the proxy of proxy.h when the environment names one), the
// Content-Length of the first answer, then the connection is dropped. Each probe keeps its own state, so a probe
// started while another one waits (from an event the first one's pump runs) leaves the first one alone.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "eventpump.h"
#include "proxy.h"
#include "texthelpers.h"

namespace http {

struct ProbeLimits {
  std::chrono::milliseconds connect{5000};  // name lookup and connection
  std::chrono::milliseconds answer{5000};   // from the request to the first bytes
};

struct ProbeTarget {
  std::string hostAndPort;  // as the Host line carries it
  std::string host;
  int port = 80;
  std::string path;  // from the first "/" after the host, query included
};

// Takes "http://host[:port]/path" apart; an address without a path asks for "/", and the
// fragment is not sent. Nothing when the port is not 1 to 65535 in decimal digits, or the
// host or path holds a control byte (or the host a blank) that could end the request line.
// "[::1]:8080" names an IPv6 host.
std::optional<ProbeTarget> ParseProbeAddress(std::string_view address);

// "GET <path> HTTP/1.1", Accept and Host, nothing else; through a proxy the request line
// names the whole address, and the proxy's credentials follow.
std::string ProbeRequestText(const ProbeTarget& target, const Proxy* proxy = nullptr);

// The Content-Length of the first bytes of an answer ("Content-Length: " in exactly this
// letter case), 0 when there is none or it is not decimal digits.
long long ProbeDataArrived(std::string_view firstBytes);

// The Content-Length for a GET of the address, 0 when the probe fails in any way.
long long RequestContentLength(const std::string& address, const common::EventPump& pump = nullptr,
                               ProbeLimits limits = {});

// A byte count as the release list shows it: "1.5 KB", "4.77 MB", "2 GB"; "-1 " below 1 KB.
std::string FormatProbedSize(long long bytes);

// RequestContentLength, formatted.
std::string ProbeRemoteSize(const std::string& address, const common::EventPump& pump = nullptr,
                            ProbeLimits limits = {});

// Starts the network library with the program and ends it with the program.
class SocketLibrary {
 public:
  SocketLibrary() = default;
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
  bool Start();  // true when the library started
  void Release();
  ~SocketLibrary() { Release(); }

 private:
  int startCode_ = -1;
};

}  // namespace http
