#include "request.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "ascii.h"
#include "bytetext.h"
#include "charset.h"
#include "crackurl.h"
#include "fetchterms.h"
#include "gbk.h"
#include "regexmatcher.h"
#include "requestheaders.h"
#include "texthelpers.h"
#include "transfer.h"
#include "url.h"
#include "utf8.h"

namespace http {

namespace {

const char* FailureTextUtf8(int number) {
  switch (number) {
    case kFetchNoService: return "700 当前系统不支持WinHttp服务!";
    case kFetchBadAddress: return "701 解析URL地址失败!";
    case kFetchNoSession: return "702 创建WinHttp会话失败!";
    case kFetchNoConnection: return "703 创建WinHttp连接失败!";
    case kFetchNoRequest: return "704 创建WinHttp请求失败!";
    case kFetchNoTimeouts: return "705 设置超时时间失败!";
    case kFetchNoProxyCredentials: return "707 设置代理凭证失败!";
    case kFetchNoCookieSwitch: return "708 禁止自动设置Cookies失败!";
    case kFetchNoRedirectSetting: return "709 重定向设置失败!";
    case kFetchNoHeaders: return "710 设置协议头失败!";
    case kFetchSendFailed: return "711 发送请求失败!";
    case kFetchNoAnswer: return "712 服务器未响应!";
    default: return "713 读取数据失败!";
  }
}

// The numbered texts, in code page 936 like every other text the call hands back.
std::string NumberedFailureText(int number) {
  return text::gbk::Encode(common::Utf8ToUtf16(FailureTextUtf8(number)), false);
}

// How often the caller's events run as the call ends: once for each stage the call reached
// (the address cracked, the session, the connection, the request, the timeouts, the headers,
// the request sent, the answer, the body). The early failures of the session options let
// none run.
int ExitPumps(int failure) {
  switch (failure) {
    case 0:
    case kFetchReadFailed: return 9;
    case kFetchNoService:
    case kFetchNoProxyCredentials:
    case kFetchNoCookieSwitch:
    case kFetchNoRedirectSetting: return 0;
    case kFetchBadAddress: return 1;
    case kFetchNoSession: return 2;
    case kFetchNoRequest: return 4;
    case kFetchNoTimeouts: return 5;
    case kFetchNoHeaders: return 6;
    case kFetchSendFailed: return 7;
    default: return 8;  // kFetchNoAnswer
  }
}

// The object path on the wire: bytes outside printable ASCII are sent as UTF-8, escaped.
std::string Utf8(const std::string& gbkText) { return common::Utf16ToUtf8(text::gbk::Decode(gbkText)); }

std::string EscapedPath(const std::string& gbkPath) { return common::PercentEncoded(Utf8(gbkPath), "#"); }

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
  for (auto [part, out] :
       {std::pair{CURLUPART_SCHEME, &origin.scheme}, {CURLUPART_HOST, &origin.host}, {CURLUPART_PORT, &origin.port}}) {
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

// One call's handle and what libcurl holds on to while it runs.
struct Call {
  explicit Call(const HttpRequest& r) : request(r) {}
  const HttpRequest& request;
  std::unique_ptr<CURL, CurlDeleter> handle;
  CURL* easy = nullptr;
  UrlParts url;
  std::string target;     // the address as libcurl gets it
  std::string proxyName;  // "host:port", or "http=host:port" for an http address
  Clock::duration timeout{};
  Clock::time_point deadline;
  std::string user, password;  // the server's basic credentials, UTF-8
  bool credentials = false;
  RequestHeaders headers;
  std::unique_ptr<curl_slist, CurlDeleter> headerList;
  std::string hopCookies;
  Transfer transfer;
  bool secure = false;  // the address the last request went to is https
  int hops = 0;
};

// The address, the method and the body.
int SetUpRequest(Call& c) {
  const HttpRequest& r = c.request;
  const std::string host = c.url.host.find(':') != std::string::npos ? "[" + c.url.host + "]" : Utf8(c.url.host);
  const std::string objectPath = c.url.path.empty() ? "/" : c.url.path + c.url.extra;
  c.target = std::string(c.url.secure ? "https://" : "http://") + host + ":" + std::to_string(c.url.port) +
             EscapedPath(objectPath);
  CURL* easy = c.easy;
  bool ok = curl_easy_setopt(easy, CURLOPT_URL, c.target.c_str()) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK && SetTransferCallbacks(easy, c.transfer) &&
            curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK &&
            // Only the web, also where a redirect points: never file:, dict:, gopher: and the like.
            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  if (r.method == Method::kHead) {
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
  } else if (r.method == Method::kPost || !r.body.empty()) {
    ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body.size())) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, r.body.data()) == CURLE_OK;
  }
  const bool plainVerb = r.method == Method::kGet || r.method == Method::kPost || r.method == Method::kHead;
  if (!plainVerb) ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, Verb(r.method)) == CURLE_OK;
  if (r.method == Method::kGet && !r.body.empty())
    ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET") == CURLE_OK;
  return ok ? 0 : kFetchNoRequest;
}

bool SendCredentials(Call& c, bool send) {
  return curl_easy_setopt(c.easy, CURLOPT_USERNAME, send ? c.user.c_str() : nullptr) == CURLE_OK &&
         curl_easy_setopt(c.easy, CURLOPT_PASSWORD, send ? c.password.c_str() : nullptr) == CURLE_OK;
}

// The timeouts, the credentials, the cookie store and the redirect policy.
int SetUpSession(Call& c) {
  const HttpRequest& r = c.request;
  CURL* easy = c.easy;
  c.timeout = std::chrono::milliseconds(r.timeoutSeconds > 0 ? r.timeoutSeconds * 1000L : 30000L);
  c.deadline = Clock::now() + kHttpFetchCallLimit * c.timeout;
  if (curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                       long(std::chrono::duration_cast<std::chrono::milliseconds>(c.timeout).count())) != CURLE_OK)
    return kFetchNoTimeouts;
  // Basic credentials go to the address's own scheme, host and port only, redirects included.
  c.user = Utf8(r.serverUser), c.password = Utf8(r.serverPassword);
  c.credentials = !r.serverUser.empty() && !r.serverPassword.empty();
  if (c.credentials && curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC)) != CURLE_OK)
    return kFetchNoProxyCredentials;
  if (c.credentials && !SendCredentials(c, true)) return kFetchNoProxyCredentials;
  if (!r.proxyUser.empty() && !r.proxyPassword.empty()) {
    const std::string user = Utf8(r.proxyUser), password = Utf8(r.proxyPassword);
    if (curl_easy_setopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC)) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, user.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, password.c_str()) != CURLE_OK)
      return kFetchNoProxyCredentials;
  }
  // Only given cookies switch the in-memory cookie store on, so that cookies set by a
  // redirect reach the next request of this call.
  if (r.cookies && curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") != CURLE_OK) return kFetchNoCookieSwitch;
  // Redirects are followed by FollowRedirects, never by libcurl itself.
  if (curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) != CURLE_OK) return kFetchNoRedirectSetting;
  return 0;
}

int SetUpHeaders(Call& c) {
  const HttpRequest& r = c.request;
  auto headers = RequestHeaderLines(HeaderBlock(r.extraHeaders, r.method, r.cookies ? &*r.cookies : nullptr));
  if (!headers) return kFetchNoHeaders;
  c.headers = std::move(*headers);
  if (!c.headers.cookie.empty() && curl_easy_setopt(c.easy, CURLOPT_COOKIE, c.headers.cookie.c_str()) != CURLE_OK)
    return kFetchNoHeaders;
  for (const std::string& line : c.headers.lines) {
    curl_slist* grown = curl_slist_append(c.headerList.get(), line.c_str());
    if (!grown) return kFetchNoHeaders;
    static_cast<void>(c.headerList.release());  // `grown` is the same list, now longer
    c.headerList.reset(grown);
  }
  return curl_easy_setopt(c.easy, CURLOPT_HTTPHEADER, c.headerList.get()) == CURLE_OK ? 0 : kFetchNoHeaders;
}

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 307; }

// Sends the request and follows redirects: 301, 302 and 307, at most 10, never from https to
// http; a POST becomes a GET except after 307. Failing to follow one means no answer (712).
int FollowRedirects(Call& c, const common::EventPump& pump) {
  const HttpRequest& r = c.request;
  const std::optional<Origin> start = OriginOf(c.target.c_str());
  c.secure = c.url.secure;
  std::optional<CURLcode> rc;
  for (;; ++c.hops) {
    const std::string proxy = ProxyFor(c.proxyName, c.secure);
    curl_easy_setopt(c.easy, CURLOPT_PROXY, proxy.c_str());
    c.transfer = Transfer();
    rc = Perform(c.easy, c.transfer, c.timeout, c.deadline, pump);
    if (rc != CURLE_OK || !r.followRedirects || !IsRedirect(c.transfer.status)) break;
    char* next = nullptr;
    curl_easy_getinfo(c.easy, CURLINFO_REDIRECT_URL, &next);
    if (!next) break;
    const std::optional<Origin> origin = OriginOf(next);
    if (c.hops == 10 || !origin || (c.secure && origin->scheme != "https")) return kFetchNoAnswer;
    c.secure = origin->scheme == "https";
    const std::string nextUrl = next;
    curl_easy_setopt(c.easy, CURLOPT_URL, nextUrl.c_str());
    if (r.method == Method::kPost && c.transfer.status != 307) curl_easy_setopt(c.easy, CURLOPT_HTTPGET, 1L);
    if (c.credentials) SendCredentials(c, origin == start);
    if (r.cookies && !c.headers.cookie.empty()) {
      c.hopCookies = WithoutStoredNames(c.easy, c.headers.cookie);
      curl_easy_setopt(c.easy, CURLOPT_COOKIE, c.hopCookies.empty() ? nullptr : c.hopCookies.c_str());
    }
  }
  if (rc == CURLE_OK) return 0;
  const Transfer& t = c.transfer;
  return t.tooBig ? kFetchReadFailed
                  : FailureOf(c.easy, t, rc.value_or(CURLE_OPERATION_TIMEDOUT), c.secure, c.hops > 0);
}

// The answer's outputs: headers, status, cookies, redirect location, the body decoded from
// the charset the page declares. Events run after each header line and after decoding.
// The page text (up to its first zero byte, in GBK when the page names another charset) and
// the bytes, each only when the caller reads it: the body is moved, never copied, when one
// is enough (a page of 256 MiB).
void ReadBodies(Bodies bodies, std::string& bytes, const common::EventPump& pump, HttpResponse& out) {
  const size_t textEnd = std::min(bytes.find('\0'), bytes.size());
  std::optional<std::string> decoded;
  text::RegexMatcher matcher;
  if (bodies != Bodies::kBytes &&
      matcher.Match("<meta.+?charset=[^\\w]?([-\\w]+)", text::Left(std::string_view(bytes).substr(0, textEnd), 1024)) &&
      matcher.MatchCount() > 0) {
    std::string charset = matcher.SubMatchText(1, 1);
    if (!charset.empty() && charset != "gbk" && charset != "gb2312") decoded = text::DecodeToGbk(charset, bytes);
    if (pump) pump();
  }
  if (bodies == Bodies::kText && !decoded) {  // the page as it came: moved, not copied
    bytes.resize(textEnd);
    out.body = std::move(bytes);
    return;
  }
  if (bodies != Bodies::kBytes) out.body = decoded ? std::move(*decoded) : bytes.substr(0, textEnd);
  if (bodies != Bodies::kText) out.rawBody = std::move(bytes);
}

void ReadAnswer(Call& c, bool broken, const common::EventPump& pump, HttpResponse& out) {
  const HttpRequest& r = c.request;
  Transfer& t = c.transfer;
  out.answered = true;
  out.headers = text::Replace(t.headers, "Set-Cookie", "Set-Cookie", true);
  const std::string& headers = out.headers;
  if (!broken) {
    long end = text::Find(headers, "\r\n", 10);
    out.statusText =
        end == -1 ? headers.substr(std::min<size_t>(9, headers.size())) : headers.substr(9, size_t(end - 10));
  }
  std::string returned;
  for (const std::string& line : text::Split(headers, "\r\n")) {
    if (text::Find(line, "Set-Cookie") != -1) {
      std::string item = text::Find(line, ";") != -1 ? text::TextBetween(line, "Set-Cookie:", ";")
                                                     : text::Replace(line, "Set-Cookie:", "", true);
      returned += text::Trim(item) + "; ";
    }
    if (text::AsciiLower(text::Left(line, 10)) == "location: ") out.redirectLocation = line.substr(10);
    if (pump) pump();
  }
  returned = text::Left(returned, long(returned.size()) - 2);
  if (r.mergeCookies && r.cookies) {
    out.cookies = *r.cookies;
    returned = text::MergeCookies(*out.cookies, returned);
  }
  out.returnedCookies = returned;
  ReadBodies(r.bodies, t.body, pump, out);
}

// Every stage in order; the failure number, 0 for an answer.
int Run(Call& c, const common::EventPump& pump, HttpResponse& out) {
  if (!HttpAvailable()) return kFetchNoService;
  std::optional<UrlParts> url = CrackUrl(c.request.address);
  if (!url) return kFetchBadAddress;
  c.url = std::move(*url);
  const std::string& proxy = c.request.proxyAddress;
  c.proxyName = proxy.empty() ? "" : c.url.secure ? proxy : "http=" + proxy;
  c.handle.reset(curl_easy_init());
  if (!c.handle) return kFetchNoSession;
  c.easy = c.handle.get();
  // The connection is made when sending, as the Windows service does: 703 never happens.
  for (int (*stage)(Call&) : {SetUpRequest, SetUpSession, SetUpHeaders})
    if (int failure = stage(c)) return failure;
  const int failure = FollowRedirects(c, pump);
  if (failure && failure != kFetchReadFailed) return failure;
  // A body that broke off keeps its 713 text (the Windows service reported the status line
  // instead, a failure shown as success); every other output is filled in as usual.
  ReadAnswer(c, failure != 0, pump, out);
  return failure;
}

}  // namespace

HttpResponse FetchResponse(const HttpRequest& request, const common::EventPump& pump) {
  HttpResponse out;
  {
    Call call(request);  // closed before the events run
    out.failure = Run(call, pump, out);
  }
  if (out.failure) out.statusText = NumberedFailureText(out.failure);
  for (int i = 0; pump && i < ExitPumps(out.failure) && pump(); ++i) {}
  return out;
}

}  // namespace http
