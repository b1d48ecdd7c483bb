#include "httpfetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "bytetext.h"
#include "charset.h"
#include "crackurl.h"
#include "gbk.h"
#include "regexmatcher.h"
#include "utf8.h"
#include "ascii.h"
#include "eventpump.h"

namespace http {

using text::Find;
using Clock = std::chrono::steady_clock;

namespace {

const char* FailureTextUtf8(int number) {
  switch (number) {
    case 700: return "700 当前系统不支持WinHttp服务!";
    case 701: return "701 解析URL地址失败!";
    case 702: return "702 创建WinHttp会话失败!";
    case 703: return "703 创建WinHttp连接失败!";
    case 704: return "704 创建WinHttp请求失败!";
    case 705: return "705 设置超时时间失败!";
    case 707: return "707 设置代理凭证失败!";
    case 708: return "708 禁止自动设置Cookies失败!";
    case 709: return "709 重定向设置失败!";
    case 710: return "710 设置协议头失败!";
    case 711: return "711 发送请求失败!";
    case 712: return "712 服务器未响应!";
    default: return "713 读取数据失败!";
  }
}

// The numbered texts, in code page 936 like every other text the call hands back.
std::string FailureText(int number) { return text::gbk::Encode(common::Utf8ToUtf16(FailureTextUtf8(number)), false); }

const char* Verb(int method) {
  static const char* const kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return method >= 0 && method < 8 ? kVerbs[method] : "GET";
}

// The caller's lines, then each default line whose search text the block does not hold yet.
std::string HeaderBlock(const std::string& extra, int method, const std::string* cookies) {
  std::string block = extra.empty() ? std::string() : extra + "\r\n";
  auto add = [&block](const char* search, bool ignoreCase, const std::string& line) {
    if (Find(block, search, 1, ignoreCase) == -1) block += line;
  };
  add("User-Agent: ", true, "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n");
  add("Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n");
  add("Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n");
  add("Accept-Language: ", true, "Accept-Language: zh-cn\r\n");
  if (method == 1) add("Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n");
  add("Cache-Control: ", true, "Cache-Control: no-cache\r\n");
  if (cookies && !cookies->empty()) add("Cookie: ", true, "Cookie: " + *cookies + "\r\n");
  return block;
}

std::string HeaderName(std::string_view line) {
  return text::AsciiLower(text::Trim(line.substr(0, line.find(':'))));
}

// The header lines as libcurl takes them. Like the Windows service adding headers with
// "add or replace", a later line replaces an earlier one of the same name in its place.
// Nothing when a line is not a header. The Cookie line goes to `cookie` instead: libcurl
// puts it on one line with the cookies its store holds for the request.
std::optional<std::vector<std::string>> HeaderLines(const std::string& block, std::string& cookie) {
  std::vector<std::string> lines;
  bool hasContentType = false;
  for (std::string& line : text::Split(block, "\r\n")) {
    if (line.empty()) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    // libcurl drops "Name:" with nothing after it; "Name;" sends it empty.
    if (text::Trim(std::string_view(line).substr(colon + 1)).empty()) line = line.substr(0, colon) + ";";
    std::string name = HeaderName(line.substr(0, colon));
    if (name == "cookie") {
      cookie = line.back() == ';' ? std::string() : text::Trim(std::string_view(line).substr(colon + 1));
      continue;
    }
    hasContentType |= name == "content-type";
    auto same = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return HeaderName(l.substr(0, l.find_first_of(":;"))) == name;
    });
    if (same != lines.end()) *same = line; else lines.push_back(line);
  }
  lines.push_back("Expect:");  // no "100 Continue" round trip that the Windows service never made
  if (!hasContentType) lines.push_back("Content-Type:");  // no form type libcurl would add by itself
  return lines;
}

// The object path on the wire: bytes outside printable ASCII are sent as UTF-8, escaped.
std::string Utf8(const std::string& gbkText) { return common::Utf16ToUtf8(text::gbk::Decode(gbkText)); }

std::string EscapedPath(const std::string& gbkPath) {
  std::string out;
  for (unsigned char c : Utf8(gbkPath)) {
    if (c > 0x20 && c < 0x7F && c != '#') {
      out += char(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}


struct CurlDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What one call knows about its transfer; libcurl's callbacks write it.
struct Transfer {
  std::string headers;  // header block of the latest response, every line ended by CR LF
  std::string body;
  int status = 0;
  bool headersDone = false;  // the blank line after a final (non-1xx) header block
  bool tooBig = false;
  bool conflictingLength = false;  // two Content-Length lines that disagree
  std::optional<std::string> contentLength;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t uploaded = 0;
};

std::string_view WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// A server may end its header lines with a bare LF; they are kept as CR LF lines, the form
// every reader of the block expects.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t received = size * count;
  std::string_view line = WithoutLineEnd(std::string_view(data, received));
  t->lastActivity = Clock::now();
  if (line.starts_with("HTTP/")) {  // a new response: keep only the last one's headers
    t->headers.clear();
    t->headersDone = false;
    t->contentLength.reset();
    size_t blank = line.find(' ');
    t->status = blank == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(blank + 1, 3)).c_str());
  }
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos && HeaderName(line.substr(0, colon)) == "content-length") {
    std::string value = text::Trim(line.substr(colon + 1));
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

// Which stage a transfer broke off in: before the request was out (711), waiting for an
// answer (712), or reading the body (713). An answer that is not HTTP at all (HTTP/0.9, a
// garbage status line) or a redirect to a refused scheme is no answer: 712.
int FailureOf(CURL* easy, const Transfer& t, CURLcode rc, bool secure, bool redirected) {
  if (rc == CURLE_URL_MALFORMAT && !redirected) return 701;
  if (t.conflictingLength) return 712;
  if (t.headersDone) return 713;
  if (t.status || rc == CURLE_UNSUPPORTED_PROTOCOL || rc == CURLE_WEIRD_SERVER_REPLY || redirected) return 712;
  curl_off_t connected = 0;
  curl_easy_getinfo(easy, secure ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T, &connected);
  if (connected == 0 || rc == CURLE_SEND_ERROR) return 711;
  return 712;
}

// Runs one request to its end, pumping events at least every 50 ms. The timeout is the
// longest silence allowed, connecting included; the deadline bounds the whole call, so a
// server that trickles a byte now and then cannot hold it for ever. Nothing when either
// ran out.
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

// The proxy for one request: "http=host:port" serves http addresses only.
std::string ProxyFor(const std::string& proxyName, bool secure) {
  if (proxyName.empty()) return {};
  if (proxyName.starts_with("http=")) return secure ? std::string() : "http://" + proxyName.substr(5);
  return "http://" + proxyName;
}

bool HttpAvailable() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  for (const char* const* p = info ? info->protocols : nullptr; p && *p; ++p)
    if (std::strcmp(*p, "http") == 0) return true;
  return false;
}

// Where credentials may go: scheme, host and port, as libcurl reads the address.
struct Origin {
  std::string scheme, host, port;
  bool operator==(const Origin&) const = default;
};

std::optional<Origin> OriginOf(const char* address) {
  std::unique_ptr<CURLU, void (*)(CURLU*)> u(curl_url(), curl_url_cleanup);
  if (!u || curl_url_set(u.get(), CURLUPART_URL, address, 0) != CURLUE_OK) return std::nullopt;
  Origin origin;
  for (auto [part, out] : {std::pair{CURLUPART_SCHEME, &origin.scheme}, {CURLUPART_HOST, &origin.host},
                           {CURLUPART_PORT, &origin.port}}) {
    char* value = nullptr;
    if (curl_url_get(u.get(), part, &value, CURLU_DEFAULT_PORT) != CURLUE_OK) return std::nullopt;
    *out = common::AsciiLower(value);
    curl_free(value);
  }
  return origin;
}

// The caller's cookies less those whose names the cookie store now holds (set by a redirect
// of this call), so that the one Cookie line libcurl makes of both names each cookie once.
std::string WithoutStoredNames(CURL* easy, const std::string& callerCookies) {
  std::vector<std::string> stored;
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) == CURLE_OK) {
    for (curl_slist* l = list; l; l = l->next) {
      std::vector<std::string> fields = text::Split(l->data, "\t");
      if (fields.size() >= 6) stored.push_back(fields[5]);
    }
    curl_slist_free_all(list);
  }
  std::string kept;
  for (const std::string& item : text::Split(callerCookies, ";")) {
    if (text::HasCookieName(stored, text::CookieName(item))) continue;
    kept += (kept.empty() ? "" : "; ") + text::Trim(item);
  }
  return kept;
}

}  // namespace

std::string HttpFetch(const std::string& address, int method, const std::string& requestBody,
                      std::string* cookies, std::string* returnedCookies, const std::string& extraHeaders,
                      std::string* responseHeaders, bool disableRedirects, const std::string& serverUser,
                      const std::string& serverPassword, const std::string& proxyAddress,
                      const std::string& proxyUser, const std::string& proxyPassword, int timeoutSeconds,
                      std::string* redirectLocation, std::string* statusText, std::string* responseBytes,
                      bool mergeCookies, const common::EventPump& pump) {
  // Each stage reached (cracking to the header query) lets pending events run once on the
  // way out, failed or not; the early failures 700, 707, 708 and 709 let none run.
  int stagesReached = 0;
  bool pumpOnExit = true;
  auto fail = [&](int number) {
    if (statusText) *statusText = FailureText(number);
    pumpOnExit = number != 700 && number != 707 && number != 708 && number != 709;
    return std::string();
  };
  struct ExitPump {
    const common::EventPump& pump;
    const int& stages;
    const bool& enabled;
    ~ExitPump() {
      for (int i = 0; pump && enabled && i < stages && pump(); ++i) {
      }
    }
  } exitPump{pump, stagesReached, pumpOnExit};

  if (!HttpAvailable()) return fail(700);
  ++stagesReached;
  std::optional<UrlParts> url = CrackUrl(address);
  if (!url) return fail(701);
  const std::string objectPath = url->path.empty() ? "/" : url->path + url->extra;
  const std::string proxyName = proxyAddress.empty() ? "" : url->secure ? proxyAddress : "http=" + proxyAddress;

  ++stagesReached;
  std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
  if (!handle) return fail(702);
  CURL* easy = handle.get();
  ++stagesReached;  // the connection is made when sending, as the Windows service does
  std::string host = url->host.find(':') != std::string::npos ? "[" + url->host + "]" : Utf8(url->host);
  std::string target = std::string(url->secure ? "https://" : "http://") + host + ":" + std::to_string(url->port) +
                       EscapedPath(objectPath);
  ++stagesReached;
  Transfer t;
  bool ok = curl_easy_setopt(easy, CURLOPT_URL, target.c_str()) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK &&
            // Only the web, also where a redirect points: never file:, dict:, gopher: and the like.
            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  const char* verb = Verb(method);
  if (method == 2) {
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
  } else if (method == 1 || !requestBody.empty()) {
    ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(requestBody.size())) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, requestBody.data()) == CURLE_OK;
  }
  if (method != 0 && method != 1 && method != 2) ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb) == CURLE_OK;
  if (method == 0 && !requestBody.empty()) ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET") == CURLE_OK;
  if (!ok) return fail(704);

  ++stagesReached;
  const auto timeout = std::chrono::milliseconds(timeoutSeconds > 0 ? timeoutSeconds * 1000L : 30000L);
  const auto deadline = Clock::now() + kHttpFetchCallLimit * timeout;
  if (curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(timeout.count())) != CURLE_OK) return fail(705);
  // Basic credentials go to the address's own scheme, host and port only, redirects included.
  const std::string user = Utf8(serverUser), password = Utf8(serverPassword);
  const bool credentials = !serverUser.empty() && !serverPassword.empty();
  if (credentials && curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC)) != CURLE_OK) return fail(707);
  auto sendCredentials = [&](bool send) {
    return curl_easy_setopt(easy, CURLOPT_USERNAME, send ? user.c_str() : nullptr) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PASSWORD, send ? password.c_str() : nullptr) == CURLE_OK;
  };
  if (credentials && !sendCredentials(true)) return fail(707);
  if (!proxyUser.empty() && !proxyPassword.empty()) {
    std::string user = Utf8(proxyUser), password = Utf8(proxyPassword);
    if (curl_easy_setopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC)) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, user.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, password.c_str()) != CURLE_OK)
      return fail(707);
  }
  // Only a given cookies argument switches the in-memory cookie store on, so that cookies
  // set by a redirect reach the next request of this call.
  if (cookies && curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") != CURLE_OK) return fail(708);
  // Redirects are followed by the loop below, never by libcurl itself.
  if (curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) != CURLE_OK) return fail(709);

  ++stagesReached;
  std::string cookieLine;
  auto lines = HeaderLines(HeaderBlock(extraHeaders, method, cookies), cookieLine);
  if (!lines) return fail(710);
  if (!cookieLine.empty() && curl_easy_setopt(easy, CURLOPT_COOKIE, cookieLine.c_str()) != CURLE_OK) return fail(710);
  std::unique_ptr<curl_slist, CurlDeleter> headerList;
  for (const std::string& line : *lines) {
    curl_slist* grown = curl_slist_append(headerList.get(), line.c_str());
    if (!grown) return fail(710);
    headerList.release();
    headerList.reset(grown);
  }
  if (curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList.get()) != CURLE_OK) return fail(710);

  // Redirects: 301, 302 and 307, at most 10, never from https to http; a POST becomes a GET
  // except after 307. Failing to follow one means no answer (712).
  ++stagesReached;
  const std::optional<Origin> start = OriginOf(target.c_str());
  bool secure = url->secure;
  std::optional<CURLcode> rc;
  std::string hopCookies;
  int hop = 0;
  for (;; ++hop) {
    std::string proxy = ProxyFor(proxyName, secure);
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    t = Transfer();
    rc = Perform(easy, t, timeout, deadline, pump);
    if (rc != CURLE_OK || disableRedirects || (t.status != 301 && t.status != 302 && t.status != 307)) break;
    char* next = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &next);
    if (!next) break;
    const std::optional<Origin> origin = OriginOf(next);
    if (hop == 10 || !origin || (secure && origin->scheme != "https")) {
      stagesReached = 8;
      return fail(712);
    }
    secure = origin->scheme == "https";
    std::string nextUrl = next;
    curl_easy_setopt(easy, CURLOPT_URL, nextUrl.c_str());
    if (method == 1 && t.status != 307) curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (credentials) sendCredentials(origin == start);
    if (cookies && !cookieLine.empty()) {
      hopCookies = WithoutStoredNames(easy, cookieLine);
      curl_easy_setopt(easy, CURLOPT_COOKIE, hopCookies.empty() ? nullptr : hopCookies.c_str());
    }
  }
  int failure = 0;
  if (!rc || *rc != CURLE_OK)
    failure = t.tooBig ? 713 : FailureOf(easy, t, rc.value_or(CURLE_OPERATION_TIMEDOUT), secure, hop > 0);
  stagesReached = failure == 711 ? 7 : failure == 712 ? 8 : 9;
  if (failure && failure != 713) return fail(failure);
  // A body that broke off keeps its 713 text (the Windows service reported the status line
  // instead, a failure shown as success); every other output is filled in as usual.
  if (failure) fail(713);
  const bool broken = failure != 0;

  std::string headers = text::Replace(t.headers, "Set-Cookie", "Set-Cookie", true);
  if (!broken && statusText) {
    long end = Find(headers, "\r\n", 10);
    *statusText = end == -1 ? headers.substr(std::min<size_t>(9, headers.size())) : headers.substr(9, size_t(end - 10));
  }
  if (responseHeaders) *responseHeaders = headers;
  std::string returned;
  for (const std::string& line : text::Split(headers, "\r\n")) {
    if (Find(line, "Set-Cookie") != -1) {
      std::string item = Find(line, ";") != -1 ? text::TextBetween(line, "Set-Cookie:", ";")
                                              : text::Replace(line, "Set-Cookie:", "", true);
      returned += text::Trim(item) + "; ";
    }
    if (redirectLocation && text::AsciiLower(text::Left(line, 10)) == "location: ") *redirectLocation = line.substr(10);
    if (pump) pump();
  }
  returned = text::Left(returned, long(returned.size()) - 2);
  if (mergeCookies && cookies) returned = text::MergeCookies(*cookies, returned);
  if (returnedCookies) *returnedCookies = returned;

  if (responseBytes) *responseBytes = t.body;
  std::string result = t.body.substr(0, t.body.find('\0'));
  text::RegexMatcher matcher;
  if (matcher.Match("<meta.+?charset=[^\\w]?([-\\w]+)", text::Left(result, 1024)) && matcher.MatchCount() > 0) {
    std::string charset = matcher.SubMatchText(1, 1);
    if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
      if (auto decoded = text::DecodeToGbk(charset, t.body)) result = std::move(*decoded);
    }
    if (pump) pump();
  }
  return result;
}

}  // namespace http
