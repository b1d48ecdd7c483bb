#pragma once
// Stream sockets on handles. A failed call returns kNoSocket, -1 or false; LastFault() says why.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fault.h"

namespace platform {

// A descriptor here, a SOCKET (64 bits) on Windows.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// An address a stream socket can connect to, as name lookup gives it.
struct StreamAddress {
  int family = 0, type = 0, protocol = 0;
  std::string bytes;  // the system's socket address
};

// Blocks until the resolver answers: a caller that must stay responsive runs it on a thread
// of its own. Nothing when the name is unknown.
std::vector<StreamAddress> LookUpStream(const std::string& host, int port);

// A socket closed when the program starts another; kNoSocket on failure.
SocketHandle OpenStreamSocket(int family, int type, int protocol, bool nonBlocking);
void CloseSocket(SocketHandle socket);

enum class Connecting { kConnected, kUnderWay, kFailed };
// A non-blocking socket's connection started; one under way is done once the socket is
// writable, and made when `PendingError` then says 0.
Connecting StartConnect(SocketHandle socket, const StreamAddress& to);
int PendingError(SocketHandle socket);  // the socket's error, 0 for none; -1 when it cannot be read

enum class Readiness { kReadable, kWritable };
// 1 ready, 0 the time is up (an interrupted wait counts so), -1 failed.
int WaitUntilReady(SocketHandle socket, Readiness what, int milliseconds);

// What was sent or received, -1 on failure (Fault::kWouldWait when a non-blocking socket would
// wait). Sending on a closed connection never raises a signal.
std::int64_t SendSome(SocketHandle socket, const char* data, std::size_t size);
std::int64_t ReceiveSome(SocketHandle socket, char* into, std::size_t size);

// The kernel's receive buffer of a socket not yet connected: the window the peer is offered.
void SetReceiveBuffer(SocketHandle socket, int bytes);
// What the connection received so far by TCP's own count, headers and all; nothing when the
// system does not say.
std::optional<std::uint64_t> BytesReceived(SocketHandle socket);

}  // namespace platform
