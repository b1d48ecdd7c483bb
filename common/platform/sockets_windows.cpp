// winsock2.h first: windows.h would bring the old winsock.h, and mstcpip.h needs both.
#include <winsock2.h>
//
#include <windows.h>
#include <ws2tcpip.h>
//
#include <mstcpip.h>

#include <mutex>

#include "platform/sockets.h"

namespace platform {

namespace {

SOCKET Raw(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// Winsock is started once for the process and stays started.
void StartWinsock() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

}  // namespace

std::vector<StreamAddress> LookUpStream(const std::string& host, int port) {
  StartWinsock();
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
  StartWinsock();
  const SOCKET s = WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long on = nonBlocking ? 1 : 0;
  if (nonBlocking && ioctlsocket(s, FIONBIO, &on) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
}

void CloseSocket(SocketHandle socket) { closesocket(Raw(socket)); }

Connecting StartConnect(SocketHandle socket, const StreamAddress& to) {
  sockaddr_storage address{};
  if (to.bytes.size() > sizeof address) return Connecting::kFailed;
  to.bytes.copy(reinterpret_cast<char*>(&address), to.bytes.size());
  if (connect(Raw(socket), reinterpret_cast<const sockaddr*>(&address), int(to.bytes.size())) == 0)
    return Connecting::kConnected;
  return WSAGetLastError() == WSAEWOULDBLOCK ? Connecting::kUnderWay : Connecting::kFailed;
}

int PendingError(SocketHandle socket) {
  int error = 0;
  int size = sizeof error;
  return getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 ? error : -1;
}

int WaitUntilReady(SocketHandle socket, Readiness what, int milliseconds) {
  // A refused connection shows as an error, not as writable: it is ready, and PendingError says so.
  WSAPOLLFD p{Raw(socket), short(what == Readiness::kReadable ? POLLRDNORM : POLLWRNORM), 0};
  const int n = WSAPoll(&p, 1, milliseconds);
  if (n > 0) return 1;
  return n == 0 ? 0 : -1;
}

std::int64_t SendSome(SocketHandle socket, const char* data, std::size_t size) {
  return send(Raw(socket), data, int(std::min<std::size_t>(size, 1 << 30)), 0);
}

std::int64_t ReceiveSome(SocketHandle socket, char* into, std::size_t size) {
  return recv(Raw(socket), into, int(std::min<std::size_t>(size, 1 << 30)), 0);
}

void SetReceiveBuffer(SocketHandle socket, int bytes) {
  setsockopt(Raw(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

std::optional<std::uint64_t> BytesReceived(SocketHandle socket) {
  // Windows 10 1703 and later; wine does not say.
  DWORD version = 0, returned = 0;
  TCP_INFO_v0 info{};
  if (WSAIoctl(Raw(socket), SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &returned, nullptr, nullptr) !=
          0 ||
      returned < sizeof info)
    return std::nullopt;
  return info.BytesIn;
}

}  // namespace platform
