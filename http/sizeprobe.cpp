#include "sizeprobe.h"

#include <curl/curl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "bytetext.h"
#include "decimal.h"
#include "eventpump.h"
#include "platform/sockets.h"

namespace http {

using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kSlice = std::chrono::milliseconds(50);

// Name lookup blocks; it runs on a thread of its own while the caller pumps events, and is
// abandoned (left to finish on its own) when the limit passes.
std::vector<platform::StreamAddress> Resolve(const std::string& host, int port, Clock::time_point deadline,
                                             const common::EventPump& pump) {
  struct Lookup {
    std::mutex mutex;
    bool done = false;
    std::vector<platform::StreamAddress> result;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, port] {
    std::vector<platform::StreamAddress> found = platform::LookUpStream(host, port);
    std::lock_guard lock(lookup->mutex);
    lookup->result = std::move(found);
    lookup->done = true;
  }).detach();
  for (;;) {
    {
      std::lock_guard lock(lookup->mutex);
      if (lookup->done) return std::move(lookup->result);
    }
    if (Clock::now() >= deadline) return {};
    if (pump && !pump()) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Waits for the socket to be ready until the deadline, pumping events between short waits.
bool WaitFor(platform::SocketHandle fd, platform::Readiness what, Clock::time_point deadline,
             const common::EventPump& pump) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const int n = platform::WaitUntilReady(fd, what, int(std::min(left, std::chrono::milliseconds(kSlice)).count()));
    if (n > 0) return true;
    if (n < 0) return false;
    if (pump && !pump()) return false;
  }
}

platform::SocketHandle Connect(const ProbeTarget& target, Clock::time_point deadline, const common::EventPump& pump) {
  for (const platform::StreamAddress& a : Resolve(target.host, target.port, deadline, pump)) {
    const platform::SocketHandle fd = platform::OpenStreamSocket(a.family, a.type, a.protocol, /*nonBlocking=*/true);
    if (fd == platform::kNoSocket) continue;
    const platform::Connecting c = platform::StartConnect(fd, a);
    if (c == platform::Connecting::kConnected ||
        (c == platform::Connecting::kUnderWay && WaitFor(fd, platform::Readiness::kWritable, deadline, pump))) {
      if (platform::PendingError(fd) == 0) return fd;
    }
    platform::CloseSocket(fd);
  }
  return platform::kNoSocket;
}

bool SendAll(platform::SocketHandle fd, std::string_view data, Clock::time_point deadline,
             const common::EventPump& pump) {
  while (!data.empty()) {
    const std::int64_t n = platform::SendSome(fd, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(size_t(n));
    } else if (n < 0 && (platform::LastFault() == platform::Fault::kWouldWait ||
                         platform::LastFault() == platform::Fault::kInterrupted)) {
      if (!WaitFor(fd, platform::Readiness::kWritable, deadline, pump)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

namespace {

bool HasControlBytes(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// 1 to 65535, decimal digits only.
std::optional<int> PortNumber(std::string_view text) {
  auto port = common::DecimalNumber(text, 5);
  if (!port || *port < 1 || *port > 65535) return std::nullopt;
  return int(*port);
}

}  // namespace

std::optional<ProbeTarget> ParseProbeAddress(std::string_view address) {
  ProbeTarget target;
  long p = text::Find(address, "://");
  long q = text::Find(address, "/", p + 4);
  // An address without a path is the root; the request would otherwise have no path at all.
  std::string_view hostPart = q == -1 ? address : address.substr(0, size_t(q - 1));
  std::string_view path = q == -1 ? std::string_view("/") : address.substr(size_t(q - 1));
  target.path = std::string(path.substr(0, path.find('#')));  // the fragment stays with the client
  target.hostAndPort = text::Replace(hostPart, "http://", "", true);
  std::string_view hostAndPort = target.hostAndPort;
  std::string_view portText;
  bool hasPort = false;
  if (hostAndPort.starts_with('[')) {  // [IPv6] or [IPv6]:port
    size_t close = hostAndPort.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    target.host = std::string(hostAndPort.substr(1, close - 1));
    std::string_view after = hostAndPort.substr(close + 1);
    if (!after.empty() && after.front() != ':') return std::nullopt;
    hasPort = !after.empty();
    if (hasPort) portText = after.substr(1);
  } else {
    std::vector<std::string> items = text::Split(hostAndPort, ":");
    if (items.size() > 2) return std::nullopt;
    target.host = items.empty() ? std::string() : items[0];
    hasPort = hostAndPort.find(':') != std::string_view::npos;
    if (hasPort) portText = hostAndPort.substr(hostAndPort.find(':') + 1);
  }
  if (hasPort) {
    std::optional<int> port = PortNumber(portText);
    if (!port) return std::nullopt;
    target.port = *port;
  }
  // Nothing from the page may end the request line or add a header of its own.
  if (target.host.empty() || HasControlBytes(target.hostAndPort) ||
      target.hostAndPort.find_first_of(" /") != std::string::npos || HasControlBytes(target.path))
    return std::nullopt;
  return target;
}

std::string ProbeRequestText(const ProbeTarget& target, const Proxy* proxy) {
  // Through a proxy the request line names the whole address.
  const std::string requestTarget = proxy ? "http://" + target.hostAndPort + target.path : target.path;
  const std::string credentials =
      proxy && !proxy->user.empty() ? ProxyAuthorizationLine(*proxy) + "\r\n" : std::string();
  return "GET " + requestTarget + " HTTP/1.1\r\nAccept: */*\r\nHost: " + target.hostAndPort + "\r\n" + credentials +
         "\r\n";
}

long long ProbeDataArrived(std::string_view firstBytes) {
  std::string text(firstBytes.substr(0, firstBytes.find('\0')));
  long p = text::Find(text, "Content-Length: ");
  if (p == -1) return 0;
  long e = text::Find(text, "\r\n", p);
  if (e == -1) return 0;
  std::string_view value = std::string_view(text).substr(size_t(p - 1 + 16), size_t(std::max(0L, e - p - 16)));
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  // Decimal digits only: "0x400", "1e3" or "-5" are no length.
  return common::DecimalNumber(value).value_or(0);
}

long long RequestContentLength(const std::string& address, const common::EventPump& pump, ProbeLimits limits) {
  std::optional<ProbeTarget> parsed = ParseProbeAddress(address);
  if (!parsed) return 0;
  const ProbeTarget& target = *parsed;
  // The proxy the other requests take: the probe connects to it instead.
  const std::optional<Proxy> proxy = EnvironmentProxy(address);
  const std::optional<ProbeTarget> via = proxy ? ParseProbeAddress("http://" + proxy->hostAndPort + "/") : target;
  if (!via) return 0;
  const platform::SocketHandle fd = Connect(*via, Clock::now() + limits.connect, pump);
  if (fd == platform::kNoSocket) return 0;
  long long length = 0;
  const auto deadline = Clock::now() + limits.answer;
  if (SendAll(fd, ProbeRequestText(target, proxy ? &*proxy : nullptr), deadline, pump) &&
      WaitFor(fd, platform::Readiness::kReadable, deadline, pump)) {
    // Only the first arrival is examined; a closed connection gives no bytes at all.
    char buffer[65536];
    const std::int64_t n = platform::ReceiveSome(fd, buffer, sizeof buffer);
    if (n > 0) length = ProbeDataArrived(std::string_view(buffer, size_t(n)));
  }
  platform::CloseSocket(fd);
  return length;
}

std::string FormatProbedSize(long long bytes) {
  // Scaled in single precision, as the sizes have always been shown. The boundaries
  // themselves (exactly 1 KB, 1 MB, 1 GB) take the larger unit.
  float s = float(bytes);
  const char* unit = "";
  if (s < 1024.0f) {
    s = -1;
  } else if (s < 1048576.0f) {
    s /= 1024.0f, unit = "KB";
  } else if (s < 1073741824.0f) {
    s /= 1048576.0f, unit = "MB";
  } else {
    s /= 1073741824.0f, unit = "GB";
  }
  char number[64];
  std::snprintf(number, sizeof number, "%.13g", std::round(double(s) * 100.0) / 100.0);
  return std::string(number) + " " + unit;
}

std::string ProbeRemoteSize(const std::string& address, const common::EventPump& pump, ProbeLimits limits) {
  return FormatProbedSize(RequestContentLength(address, pump, limits));
}

bool SocketLibrary::Start() {
  startCode_ = int(curl_global_init(CURL_GLOBAL_DEFAULT));
  return startCode_ == 0;
}

void SocketLibrary::Release() {
  if (startCode_ == 0) curl_global_cleanup();
  startCode_ = -1;
}

}  // namespace http
