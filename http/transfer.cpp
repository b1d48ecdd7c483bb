#include "transfer.h"

#include <algorithm>
#include <cstdlib>

#include "fetchterms.h"
#include "headerline.h"
#include "platform/sockets.h"

namespace http {

namespace {

// A server may end its header lines with a bare LF; they are kept as CR LF lines, the form
// every reader of the block expects.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t received = size * count;
  const std::string_view line = common::WithoutLineEnd(std::string_view(data, received));
  t->lastActivity = Clock::now();
  if (const std::optional<long> status = common::StatusOfLine(line)) {  // a new response: keep only its headers
    t->headers.clear();
    t->headersDone = false;
    t->contentLength.reset();
    t->status = static_cast<int>(*status);  // three digits at most
  }
  if (const std::optional<common::HeaderField> field = common::ReadHeaderField(line);
      field && field->name == "content-length") {
    const std::string value(field->value);
    if (t->contentLength && *t->contentLength != value) {
      t->conflictingLength = true;  // which of the two is the body's length cannot be known
      return 0;
    }
    t->contentLength = value;
  }
  t->headers.append(line);
  t->headers.append("\r\n");
  if (line.empty() && t->status >= 200) t->headersDone = true;
  return received;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  t->lastActivity = Clock::now();
  if (t->body.size() + size * count > kHttpFetchMaxBody) {
    t->tooBig = true;
    return 0;
  }
  t->body.append(data, size * count);
  return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* t = static_cast<Transfer*>(user);
  if (uploaded != t->uploaded) {
    t->uploaded = uploaded;
    t->lastActivity = Clock::now();
  }
  return 0;
}

// The transfer's sockets are opened and closed here so that their received bytes can be
// counted: a header line that trickles in is activity long before libcurl has the whole line.
curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  const platform::SocketHandle fd =
      platform::OpenStreamSocket(address->family, address->socktype, address->protocol, false);
  if (fd == platform::kNoSocket) return CURL_SOCKET_BAD;
  static_cast<Transfer*>(user)->sockets.push_back(fd);
  return static_cast<curl_socket_t>(fd);
}

int OnCloseSocket(void* user, curl_socket_t fd) {
  const auto socket = static_cast<platform::SocketHandle>(fd);
  std::erase(static_cast<Transfer*>(user)->sockets, socket);
  platform::CloseSocket(socket);
  return 0;
}

// What the kernel received on the transfer's sockets so far (TCP's own count).
std::uint64_t BytesReceived(const Transfer& t) {
  std::uint64_t total = 0;
  for (platform::SocketHandle fd : t.sockets) total += platform::BytesReceived(fd).value_or(0);
  return total;
}

}  // namespace

bool SetTransferCallbacks(CURL* easy, Transfer& t) {
  return curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &t) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &t) == CURLE_OK;
}

int FailureOf(CURL* easy, const Transfer& t, CURLcode rc, bool secure, bool redirected) {
  if (rc == CURLE_URL_MALFORMAT && !redirected) return kFetchBadAddress;
  if (t.conflictingLength) return kFetchNoAnswer;
  if (t.headersDone) return kFetchReadFailed;
  if (t.status || rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_WEIRD_SERVER_REPLY || redirected)
    return kFetchNoAnswer;
  curl_off_t connected = 0;
  curl_easy_getinfo(easy, secure ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T, &connected);
  if (connected == 0 || rc == CURLE_SEND_ERROR) return kFetchSendFailed;
  return kFetchNoAnswer;
}

std::optional<CURLcode> Perform(CURL* easy, Transfer& t, Clock::duration timeout, Clock::time_point deadline,
                                const common::EventPump& pump) {
  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  curl_multi_add_handle(multi, easy);
  t.lastActivity = Clock::now();
  auto lastPump = Clock::now();
  std::optional<CURLcode> result;
  for (;;) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    if (CURLMsg* msg = curl_multi_info_read(multi, &left); msg && msg->msg == CURLMSG_DONE) {
      result = msg->data.result;
      break;
    }
    const auto now = Clock::now();
    if (const std::uint64_t received = BytesReceived(t); received != t.received) {
      t.received = received;  // any byte received is activity, a part of a header line too
      t.lastActivity = now;
    }
    if (now - t.lastActivity > timeout || now >= deadline) break;
    curl_multi_poll(multi, nullptr, 0, 50, nullptr);
    if (pump && Clock::now() - lastPump >= std::chrono::milliseconds(20)) {
      if (!pump()) break;  // the caller gives the wait up
      lastPump = Clock::now();
    }
  }
  curl_multi_remove_handle(multi, easy);
  curl_multi_cleanup(multi);
  return result;
}

}  // namespace http
