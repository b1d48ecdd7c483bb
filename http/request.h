#pragma once
// One HTTP exchange as values: what to ask (HttpRequest) and what came back (HttpResponse).
// FetchResponse runs it; HttpFetch (httpfetch.h) is the same call with the argument list of
// the Windows original. Texts are code page 936 byte text.
#include <optional>
#include <string>

#include "eventpump.h"
#include "fetchterms.h"

namespace http {

// The response's bodies a caller reads: the page text (`body`), the bytes (`rawBody`) or both.
enum class Bodies { kBoth, kText, kBytes };

struct HttpRequest {
  std::string address;
  Method method = Method::kGet;
  std::string body;
  // Given (even empty): the cookie store is on for the call and the returned cookies are
  // merged into it (see mergeCookies).
  std::optional<std::string> cookies;
  std::string extraHeaders;  // lines joined by CR LF; a line replaces the default of its name
  bool followRedirects = true;
  std::string serverUser, serverPassword;
  std::string proxyAddress;  // host:port
  std::string proxyUser, proxyPassword;
  int timeoutSeconds = 0;  // 0 or less: 30 s
  bool mergeCookies = true;
  Bodies bodies = Bodies::kBoth;  // which of the response's bodies the caller reads
};

struct HttpResponse {
  int failure = 0;         // 0, or the number of the failure text (700 to 713)
  std::string statusText;  // "200 OK", or the failure text
  // The answer arrived (completely, or with a body that broke off: 713); the fields below
  // are filled in only then.
  bool answered = false;
  std::string headers;                          // the final response's header block, "Set-Cookie" normalised
  std::string rawBody;                          // empty unless the request asked for the bytes
  std::string body;                             // up to the first zero byte, decoded from the page's charset;
                                                // empty unless the request asked for the text
  std::string returnedCookies;                  // "a=1; b=2"
  std::optional<std::string> cookies;           // the request's cookies merged with the returned ones
  std::optional<std::string> redirectLocation;  // the Location line's value, when there is one
};

HttpResponse FetchResponse(const HttpRequest& request, const common::EventPump& pump = nullptr);

}  // namespace http
