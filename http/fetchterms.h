#pragma once
// What the parts of the request engine share: the methods, the failures by the numbers of
// their texts (those of the Windows original, which callers and users know them by), and the
// limits of one call.
#include <cstddef>

namespace http {

enum class Method { kGet, kPost, kHead, kPut, kOptions, kDelete, kTrace, kConnect };

// The verb of a method ("GET" for a value outside the list).
inline const char* Verb(Method method) {
  static const char* const kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  const auto i = static_cast<int>(method);
  return i >= 0 && i < 8 ? kVerbs[i] : "GET";
}

// The method of a code 0 to 7; GET for any other code.
inline Method MethodOf(int code) { return code >= 0 && code < 8 ? static_cast<Method>(code) : Method::kGet; }

// The failures of a call; their texts are in request.cpp ("711 发送请求失败!").
enum FetchFailure : int {
  kFetchNoService = 700,           // 当前系统不支持WinHttp服务!
  kFetchBadAddress = 701,          // 解析URL地址失败!
  kFetchNoSession = 702,           // 创建WinHttp会话失败!
  kFetchNoConnection = 703,        // 创建WinHttp连接失败!
  kFetchNoRequest = 704,           // 创建WinHttp请求失败!
  kFetchNoTimeouts = 705,          // 设置超时时间失败!
  kFetchNoProxyCredentials = 707,  // 设置代理凭证失败!
  kFetchNoCookieSwitch = 708,      // 禁止自动设置Cookies失败!
  kFetchNoRedirectSetting = 709,   // 重定向设置失败!
  kFetchNoHeaders = 710,           // 设置协议头失败!
  kFetchSendFailed = 711,          // 发送请求失败! (name resolution, connection, sending)
  kFetchNoAnswer = 712,            // 服务器未响应!
  kFetchReadFailed = 713,          // 读取数据失败! (the body broke off; the part read is returned)
};

// A whole call, redirects included, ends after this many times the timeout.
constexpr int kHttpFetchCallLimit = 10;

// The largest body read; a longer one breaks off with kFetchReadFailed.
constexpr size_t kHttpFetchMaxBody = size_t(256) << 20;

}  // namespace http
