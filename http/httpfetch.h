#pragma once
// HttpFetch: the request engine with the argument list of the Windows original, a thin
// adapter over FetchResponse (request.h). One complete HTTP exchange, synchronous for the
// caller, with browser-like default headers, cookies, redirects, basic authentication, a
// proxy, numbered failure texts and the body decoded from the charset the page declares.
// Built on libcurl; nothing is kept between calls.
//
// Pointer arguments are optional: nullptr means omitted. An omitted `cookies` argument and
// an empty one differ: only a given one switches the cookie store on (cookies set during
// redirects are then sent on the following requests of this call) and is merged with the
// returned cookies. Outputs keep their values on entry until the call writes them.
//
// Failures set `statusText` to one of
//   700 当前系统不支持WinHttp服务!   701 解析URL地址失败!     702 创建WinHttp会话失败!
//   703 创建WinHttp连接失败!         704 创建WinHttp请求失败!  705 设置超时时间失败!
//   707 设置代理凭证失败!            708 禁止自动设置Cookies失败!  709 重定向设置失败!
//   710 设置协议头失败!              711 发送请求失败! (name resolution, connection, sending)
//   712 服务器未响应! (no answer)    713 读取数据失败! (the body broke off; the part read is returned)
// HTTP error statuses are no failure: the status text shows them ("404 Not Found"). The
// failure texts are code page 936 byte text, like every other text of the call.
//
// The timeout is the longest silence allowed (connecting, sending, waiting, between two
// packets of the body). The whole call, redirects included, also ends after
// kHttpFetchCallLimit times the timeout (5 minutes at the default 30 s): far more than a
// slow portal needs, but a server that trickles a byte now and then cannot hold it for ever.
// Redirects lead only to http and https addresses; server credentials go only to the
// address's own scheme, host and port; an answer that is not HTTP counts as no answer (712).
#include <string>

#include "eventpump.h"
#include "fetchterms.h"
#include "texthelpers.h"

namespace http {

std::string HttpFetch(const std::string& address,
                      int method = 0,  // 0 GET 1 POST 2 HEAD 3 PUT 4 OPTIONS 5 DELETE 6 TRACE 7 CONNECT
                      const std::string& requestBody = {},
                      std::string* cookies = nullptr,          // in-out
                      std::string* returnedCookies = nullptr,  // out: "a=1; b=2"
                      const std::string& extraHeaders = {},    // lines joined by CR LF
                      std::string* responseHeaders = nullptr,  // out: status line first, "Set-Cookie" normalised
                      bool disableRedirects = false, const std::string& serverUser = {},
                      const std::string& serverPassword = {}, const std::string& proxyAddress = {},  // host:port
                      const std::string& proxyUser = {}, const std::string& proxyPassword = {},
                      int timeoutSeconds = 0,                   // 0 or less: 30 s
                      std::string* redirectLocation = nullptr,  // out
                      std::string* statusText = nullptr,        // out
                      std::string* responseBytes = nullptr,     // out: the raw body
                      bool mergeCookies = true, const common::EventPump& pump = nullptr);

}  // namespace http
