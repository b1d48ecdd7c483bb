#pragma once
// Stream sockets on descriptors. A failed call returns -1 or false and leaves the reason in
// errno.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// An address a stream socket can connect to, as name lookup gives it.
struct StreamAddress {
  int family = 0, type = 0, protocol = 0;
  std::string bytes;  // the system's socket address
};

// Blocks until the resolver answers: a caller that must stay responsive runs it on a thread
// of its own. Nothing when the name is unknown.
std::vector<StreamAddress> LookUpStream(const std::string& host, int port);

// A socket closed when the program starts another; -1 on failure.
int OpenStreamSocket(int family, int type, int protocol, bool nonBlocking);
int CloseSocket(int fd);

enum class Connecting { kConnected, kUnderWay, kFailed };
// A non-blocking socket's connection started; one under way is done once the socket is
// writable, and made when `PendingError` then says 0.
Connecting StartConnect(int fd, const StreamAddress& to);
int PendingError(int fd);  // the socket's error, 0 for none; -1 when it cannot be read

enum class Readiness { kReadable, kWritable };
// 1 ready, 0 the time is up (an interrupted wait counts so), -1 failed.
int WaitUntilReady(int fd, Readiness what, int milliseconds);

// What was sent or received, -1 on failure (errno EAGAIN when a non-blocking socket would
// wait). Sending on a closed connection never raises a signal.
std::int64_t SendSome(int fd, const char* data, std::size_t size);
std::int64_t ReceiveSome(int fd, char* into, std::size_t size);

// The kernel's receive buffer of a socket not yet connected: the window the peer is offered.
void SetReceiveBuffer(int fd, int bytes);
// What the connection received so far by TCP's own count, headers and all; nothing when the
// system does not say.
std::optional<std::uint64_t> BytesReceived(int fd);

}  // namespace platform
