#include "httpfetch.h"

#include "request.h"

namespace http {

std::string HttpFetch(const std::string& address, int method, const std::string& requestBody, std::string* cookies,
                      std::string* returnedCookies, const std::string& extraHeaders, std::string* responseHeaders,
                      bool disableRedirects, const std::string& serverUser, const std::string& serverPassword,
                      const std::string& proxyAddress, const std::string& proxyUser, const std::string& proxyPassword,
                      int timeoutSeconds, std::string* redirectLocation, std::string* statusText,
                      std::string* responseBytes, bool mergeCookies, const common::EventPump& pump) {
  HttpRequest request;
  request.address = address;
  request.method = MethodOf(method);
  request.body = requestBody;
  if (cookies) request.cookies = *cookies;
  request.extraHeaders = extraHeaders;
  request.followRedirects = !disableRedirects;
  request.serverUser = serverUser;
  request.serverPassword = serverPassword;
  request.proxyAddress = proxyAddress;
  request.proxyUser = proxyUser;
  request.proxyPassword = proxyPassword;
  request.timeoutSeconds = timeoutSeconds;
  request.mergeCookies = mergeCookies;
  request.bodies = responseBytes ? Bodies::kBoth : Bodies::kText;
  HttpResponse response = FetchResponse(request, pump);
  // Outputs keep their values unless the call has something for them.
  if (statusText) *statusText = response.statusText;
  if (!response.answered) return {};
  if (responseHeaders) *responseHeaders = response.headers;
  if (cookies && response.cookies) *cookies = *response.cookies;
  if (returnedCookies) *returnedCookies = response.returnedCookies;
  if (redirectLocation && response.redirectLocation) *redirectLocation = *response.redirectLocation;
  if (responseBytes) *responseBytes = std::move(response.rawBody);
  return std::move(response.body);
}

}  // namespace http
