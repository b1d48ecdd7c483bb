#include "connection.h"

#include <algorithm>

#include "platform/sockets.h"
#include "url.h"

namespace dlcore {

namespace {

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
  ParseHeaderLine(static_cast<Connection*>(user)->head, std::string_view(data, size * count));
  return size * count;
}

size_t BodyCallback(char* data, size_t size, size_t count, void* user) {
  return static_cast<Connection*>(user)->Deliver(data, size * count);
}

// Under a speed limit the connection's receive window stays small: the kernel would otherwise
// grow it to megabytes that the server fills and a pause or stop throws away.
int SmallReceiveWindow(void* user, curl_socket_t fd, curlsocktype purpose) {
  const int bytes = *static_cast<int*>(user);
  if (purpose == CURLSOCKTYPE_IPCXN) platform::SetReceiveBuffer(fd, bytes);
  return CURL_SOCKOPT_OK;
}

}  // namespace

Connection::~Connection() {
  if (easy_) curl_easy_cleanup(easy_);
  if (headers_) curl_slist_free_all(headers_);
}

bool Connection::Prepare(const std::string& url, const EngineOptions& options, const std::string& etag,
                         const std::string& lastModified, long readSize, int receiveWindow) {
  receiveWindow_ = receiveWindow;
  easy_ = curl_easy_init();
  if (!easy_) return false;
  CURL* e = easy_;
  const std::optional<common::Url> parts = common::ParseUrl(url);
  const bool secure = !parts || parts->secure();  // redirects from an unknown scheme: https only
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1024L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, options.lowSpeedTime);
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, readSize);  // fewer, larger writes
  if (receiveWindow_ > 0) {
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, SmallReceiveWindow);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &receiveWindow_);
  }
  curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, BodyCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_PRIVATE, this);
  if (!plain) {
    // A strong ETag, sent back with If-Match, vouches for every request's bytes: no overlap.
    overlapLength = etag.empty() ? std::min<std::int64_t>(kOverlapBytes, begin) : 0;
    std::string bytes = std::to_string(begin - overlapLength) + "-" + (end >= 0 ? std::to_string(end - 1) : "");
    curl_easy_setopt(e, CURLOPT_RANGE, bytes.c_str());
  }
  const std::string& validator = etag.empty() ? lastModified : etag;
  if (!plain && !validator.empty()) {
    std::string line = sole           ? "If-Range: " + validator
                       : etag.empty() ? "If-Unmodified-Since: " + validator
                                      : "If-Match: " + validator;
    headers_ = curl_slist_append(nullptr, line.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_);
  }
  return true;
}

void Connection::ShrinkReceiveWindow(int bytes) {
  curl_socket_t fd = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(easy_, CURLINFO_ACTIVESOCKET, &fd) == CURLE_OK && fd != CURL_SOCKET_BAD)
    platform::SetReceiveBuffer(fd, bytes);
  receiveWindow_ = bytes;
}

Clock::duration Connection::RoundTrip() const {
  curl_off_t lookup = 0, connect = 0, pretransfer = 0, firstByte = 0;
  curl_easy_getinfo(easy_, CURLINFO_NAMELOOKUP_TIME_T, &lookup);
  curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connect);
  curl_easy_getinfo(easy_, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  curl_easy_getinfo(easy_, CURLINFO_STARTTRANSFER_TIME_T, &firstByte);
  // A reused connection made no handshake: its request's wait for the answer is the round
  // trip (and the server's time, which only makes the engine more patient).
  const curl_off_t micros = connect > lookup ? connect - lookup : firstByte > pretransfer ? firstByte - pretransfer : 0;
  return std::chrono::microseconds(micros);
}

}  // namespace dlcore
