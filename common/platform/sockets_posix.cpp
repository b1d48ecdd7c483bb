#include <linux/tcp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/sockets.h"

namespace platform {

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

std::vector<StreamAddress> LookUpStream(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<StreamAddress> addresses;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return addresses;
  for (const addrinfo* a = found; a; a = a->ai_next)
    addresses.push_back({a->ai_family, a->ai_socktype, a->ai_protocol,
                         std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)});
  freeaddrinfo(found);
  return addresses;
}

SocketHandle OpenStreamSocket(int family, int type, int protocol, bool nonBlocking) {
  return ::socket(family, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), protocol);
}

void CloseSocket(SocketHandle socket) { close(Fd(socket)); }

Connecting StartConnect(SocketHandle socket, const StreamAddress& to) {
  sockaddr_storage address{};
  if (to.bytes.size() > sizeof address) return Connecting::kFailed;
  to.bytes.copy(reinterpret_cast<char*>(&address), to.bytes.size());
  if (connect(Fd(socket), reinterpret_cast<const sockaddr*>(&address), socklen_t(to.bytes.size())) == 0)
    return Connecting::kConnected;
  return errno == EINPROGRESS ? Connecting::kUnderWay : Connecting::kFailed;
}

int PendingError(SocketHandle socket) {
  int error = 0;
  socklen_t size = sizeof error;
  return getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : -1;
}

int WaitUntilReady(SocketHandle socket, Readiness what, int milliseconds) {
  pollfd p{Fd(socket), short(what == Readiness::kReadable ? POLLIN : POLLOUT), 0};
  const int n = poll(&p, 1, milliseconds);
  if (n > 0) return 1;
  return n == 0 || errno == EINTR ? 0 : -1;
}

std::int64_t SendSome(SocketHandle socket, const char* data, std::size_t size) {
  return send(Fd(socket), data, size, MSG_NOSIGNAL);
}

std::int64_t ReceiveSome(SocketHandle socket, char* into, std::size_t size) { return recv(Fd(socket), into, size, 0); }

void SetReceiveBuffer(SocketHandle socket, int bytes) {
  setsockopt(Fd(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

std::optional<std::uint64_t> BytesReceived(SocketHandle socket) {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (getsockopt(Fd(socket), IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
      size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
    return std::nullopt;
  return info.tcpi_bytes_received;
}

}  // namespace platform
