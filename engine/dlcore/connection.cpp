#include "connection.h"

#include <algorithm>

#include "task.h"

namespace dlcore {

namespace {

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
  ParseHeaderLine(static_cast<Connection*>(user)->head, std::string_view(data, size * count));
  return size * count;
}

size_t BodyCallback(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Connection*>(user);
  return c->task->OnBody(*c, data, size * count);
}

}  // namespace

bool PrepareRequest(Connection& c, const std::string& url, const EngineOptions& options, const std::string& etag,
                    const std::string& lastModified) {
  c.easy = curl_easy_init();
  if (!c.easy) return false;
  CURL* e = c.easy;
  const bool secure = url.size() > 5 && (url[4] == 's' || url[4] == 'S');
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
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 1024L * 1024);  // fewer, larger writes
  curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &c);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, BodyCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &c);
  curl_easy_setopt(e, CURLOPT_PRIVATE, &c);
  if (!c.plain) {
    c.overlapLength = std::min<std::int64_t>(kOverlapBytes, c.begin);
    std::string bytes = std::to_string(c.begin - c.overlapLength) + "-" + (c.end >= 0 ? std::to_string(c.end - 1) : "");
    curl_easy_setopt(e, CURLOPT_RANGE, bytes.c_str());
  }
  const std::string& validator = etag.empty() ? lastModified : etag;
  if (!c.plain && !validator.empty()) {
    std::string line = c.sole         ? "If-Range: " + validator
                       : etag.empty() ? "If-Unmodified-Since: " + validator
                                      : "If-Match: " + validator;
    c.headers = curl_slist_append(nullptr, line.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, c.headers);
  }
  return true;
}

}  // namespace dlcore
