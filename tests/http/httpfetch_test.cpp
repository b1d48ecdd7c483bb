#include "httpfetch.h"

#include <strings.h>

#include <gtest/gtest.h>

#include "../fixtures/localhttpserver.h"
#include "../fixtures/rawserver.h"
#include "../text/gbktext.h"

using namespace http;
using namespace text;

namespace {

// Answers every request with `answer`.
RawServer Answering(const std::string& answer) {
  return RawServer([answer](int fd, const std::string&) { RawServer::Send(fd, answer); });
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

std::vector<std::string> HeaderLines(const std::string& request) {
  std::vector<std::string> lines;
  size_t end = request.find("\r\n\r\n");
  for (size_t at = request.find("\r\n") + 2; at < end;) {
    size_t next = request.find("\r\n", at);
    lines.push_back(request.substr(at, next - at));
    at = next + 2;
  }
  return lines;
}

int CountLines(const std::string& request, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : HeaderLines(request))
    if (strncasecmp(line.c_str(), prefix.c_str(), prefix.size()) == 0) ++n;
  return n;
}

TEST(HttpFetch, VerbTableAndObjectPath) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 200 OK", "", "ok"));
  const char* verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT", "GET", "GET"};
  const int codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1};
  for (int i = 0; i < 10; ++i) HttpFetch(server.url("/v?x=1"), codes[i]);
  HttpFetch("http://127.0.0.1:" + std::to_string(server.port()));
  HttpFetch(server.url("/a/../b%20c"));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 12u);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(RequestLine(requests[i]), std::string(verbs[i]) + " /v?x=1 HTTP/1.1") << codes[i];
  EXPECT_EQ(RequestLine(requests[10]), "GET / HTTP/1.1") << "no path asks for /";
  EXPECT_EQ(RequestLine(requests[11]), "GET /a/../b%20c HTTP/1.1") << "the path goes out as written";
}

TEST(HttpFetch, DefaultHeadersInOrderAndTheirSuppression) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 200 OK", "", ""));
  HttpFetch(server.url("/"), 0);
  HttpFetch(server.url("/"), 1, "a=1&b=2");
  HttpFetch(server.url("/"), 1, "x", nullptr, nullptr, "content-type: text/plain\r\nuser-agent: X");
  HttpFetch(server.url("/"), 3, "body");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  const std::vector<std::string> defaults = {
      "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
      "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: gbk, GB2312", "Accept-Language: zh-cn",
      "Cache-Control: no-cache"};
  std::vector<std::string> ours;
  for (const std::string& line : HeaderLines(requests[0]))
    if (std::find(defaults.begin(), defaults.end(), line) != defaults.end()) ours.push_back(line);
  EXPECT_EQ(ours, defaults) << "all five, in this order";
  EXPECT_EQ(CountLines(requests[0], "Content-Type:"), 0);
  EXPECT_EQ(CountLines(requests[0], "Cookie:"), 0);
  EXPECT_EQ(CountLines(requests[0], "Expect:"), 0);

  EXPECT_NE(requests[1].find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_TRUE(requests[1].ends_with("\r\n\r\na=1&b=2")) << "the body as it stands";

  // A lower-case content-type does not suppress the form type (the search is exact), and the
  // form type, added later, takes its place; a lower-case user-agent does suppress the default.
  EXPECT_EQ(CountLines(requests[2], "content-type:"), 1);
  EXPECT_NE(requests[2].find("Content-Type: application/x-www-form-urlencoded"), std::string::npos);
  EXPECT_EQ(CountLines(requests[2], "user-agent:"), 1);
  EXPECT_NE(requests[2].find("\r\nuser-agent: X\r\n"), std::string::npos);
  EXPECT_EQ(CountLines(requests[3], "Content-Type:"), 0) << "no form type for a PUT";
}

TEST(HttpFetch, CookiesOmittedEmptyOrGiven) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 200 OK", "Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n", ""));
  std::string returned = "old", headers, status;
  HttpFetch(server.url("/"), 0, {}, nullptr, &returned, {}, &headers, false, {}, {}, {}, {}, {}, 0, nullptr, &status);
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_EQ(status, "200 OK");
  EXPECT_NE(headers.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos) << "any case becomes Set-Cookie";
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_TRUE(headers.ends_with("\r\n\r\n"));

  std::string empty;
  HttpFetch(server.url("/"), 0, {}, &empty, &returned);
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_EQ(empty, "a=1; b=2") << "merged into the cookies argument";

  std::string cookies = "x=9; a=0";
  HttpFetch(server.url("/"), 0, {}, &cookies, &returned);
  EXPECT_EQ(returned, "a=1; b=2; x=9");
  EXPECT_EQ(cookies, "a=1; b=2; x=9");
  std::string unmerged = "x=9";
  HttpFetch(server.url("/"), 0, {}, &unmerged, &returned, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr, nullptr,
            nullptr, false);
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_EQ(unmerged, "x=9");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(CountLines(requests[0], "Cookie:"), 0);
  EXPECT_EQ(CountLines(requests[1], "Cookie:"), 0) << "an empty cookie string sends no line";
  EXPECT_NE(requests[2].find("\r\nCookie: x=9; a=0\r\n"), std::string::npos);
}

TEST(HttpFetch, RedirectsFollowedKeepCookiesOfTheCall) {
  LocalHttpServer http;
  http.server.Get("/start", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "sid=abc; path=/");
    res.set_redirect("/final", 302);
  });
  http.server.Get("/final", [](const httplib::Request& req, httplib::Response& res) {
    res.set_header("X-Hop", "final");
    res.set_content("cookie=" + req.get_header_value("Cookie"), "text/plain");
  });
  http.server.Post("/form", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 302); });
  http.server.Post("/keep", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 307); });
  auto echo = [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(req.method + " " + req.body, "text/plain");
  };
  http.server.Get("/echo", echo);
  http.server.Post("/echo", echo);
  http.server.Get(R"(/loop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    int n = std::stoi(req.matches[1]);
    if (n > 0)
      res.set_redirect("/loop/" + std::to_string(n - 1), 301);
    else
      res.set_content("end", "text/plain");
  });
  http.Start();

  std::string cookies, headers, location = "kept", status;
  EXPECT_EQ(
      HttpFetch(http.url("/start"), 0, {}, &cookies, nullptr, {}, &headers, false, {}, {}, {}, {}, {}, 0, &location),
      "cookie=sid=abc");
  EXPECT_NE(headers.find("X-Hop: final"), std::string::npos) << "the final response's headers only";
  EXPECT_EQ(headers.find("Location"), std::string::npos);
  EXPECT_EQ(location, "kept");
  EXPECT_EQ(HttpFetch(http.url("/start")), "cookie=") << "no cookie store when cookies are omitted";

  EXPECT_EQ(HttpFetch(http.url("/form"), 1, "a=1"), "GET ") << "a POST becomes a GET after 302";
  EXPECT_EQ(HttpFetch(http.url("/keep"), 1, "a=1"), "POST a=1") << "but not after 307";

  EXPECT_EQ(HttpFetch(http.url("/loop/10"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr,
                      &status),
            "end");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(HttpFetch(http.url("/loop/11"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr,
                      &status),
            "");
  EXPECT_EQ(status, G(u"712 服务器未响应!")) << "the eleventh redirect is refused";
}

TEST(HttpFetch, RedirectsDisabledReturnTheLocation) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 302 Found", "Location: /next\r\n", "moved"));
  std::string location, status;
  EXPECT_EQ(
      HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, true, {}, {}, {}, {}, {}, 0, &location, &status),
      "moved");
  EXPECT_EQ(location, "/next");
  EXPECT_EQ(status, "302 Found");
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpFetch, ErrorStatusesAreNoFailure) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 404 Not Found", "", "<h1>missing</h1>"));
  std::string status;
  EXPECT_EQ(
      HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr, &status),
      "<h1>missing</h1>");
  EXPECT_EQ(status, "404 Not Found");
}

TEST(HttpFetch, BodyDecodedFromTheDeclaredCharset) {
  auto page = [](const std::string& charset, const std::string& body) {
    return "<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">" + body;
  };
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  const std::string big5 = "\xA4\xA4\xA4\xE5";          // 中文
  const std::string badGbk = "\x81\x20";                // a lead byte with a bad trail
  std::vector<std::string> pages = {page("utf-8", utf8),
                                    page("big5", big5),
                                    page("GBK", badGbk),
                                    page("gbk", badGbk),
                                    "<html>" + utf8,
                                    page("x-unknown", utf8),
                                    page("UTF-8", std::string(1100, ' ') + utf8)};
  std::atomic<size_t> next{0};
  RawServer server([&](int fd, const std::string&) {
    RawServer::Send(fd, HttpAnswer("HTTP/1.1 200 OK", "Content-Type: text/html; charset=big5\r\n", pages[next++]));
  });
  EXPECT_EQ(HttpFetch(server.url("/")), page("utf-8", G(u"中文")));
  EXPECT_EQ(HttpFetch(server.url("/")), page("big5", G(u"中文")));
  EXPECT_EQ(HttpFetch(server.url("/")), page("GBK", "?")) << "capitals go through the decoder";
  EXPECT_EQ(HttpFetch(server.url("/")), page("gbk", badGbk)) << "gbk stays raw";
  EXPECT_EQ(HttpFetch(server.url("/")), "<html>" + utf8) << "no charset: raw, the header's is ignored";
  EXPECT_EQ(HttpFetch(server.url("/")), page("x-unknown", utf8)) << "an unknown charset: raw";
  EXPECT_EQ(HttpFetch(server.url("/")), page("UTF-8", std::string(1100, ' ') + G(u"中文")));
}

TEST(HttpFetch, NulCutsTheTextButNotTheBytes) {
  const std::string body("abc\0def", 7);
  RawServer server = Answering(HttpAnswer("HTTP/1.1 200 OK", "", body));
  std::string bytes;
  EXPECT_EQ(HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr,
                      nullptr, &bytes),
            "abc");
  EXPECT_EQ(bytes, body);
  EXPECT_EQ(HttpFetch(server.url("/")), "abc") << "the text alone (the body moved, not copied)";
}

TEST(HttpFetch, FailuresByStageLeaveOtherOutputsAlone) {
  auto fetch = [](const std::string& url, int timeout = 2) {
    std::string status = "unset", headers = "kept", bytes = "kept", returned = "kept";
    std::string result = HttpFetch(url, 0, {}, nullptr, &returned, {}, &headers, false, {}, {}, {}, {}, {}, timeout,
                                   nullptr, &status, &bytes);
    EXPECT_EQ(headers, "kept");
    EXPECT_EQ(bytes, "kept");
    EXPECT_EQ(returned, "kept");
    EXPECT_EQ(result, "");
    return status;
  };
  for (const char* bad :
       {"", "ftp://host/x", "http://", "www.example.com", "http:/host/", "http://host:99999/", "http://h:x/"})
    EXPECT_EQ(fetch(bad), G(u"701 解析URL地址失败!")) << bad;

  int closedPort;
  {
    RawServer gone([](int, const std::string&) {});
    closedPort = gone.port();
  }
  EXPECT_EQ(fetch("http://127.0.0.1:" + std::to_string(closedPort) + "/"), G(u"711 发送请求失败!")) << "refused";
  EXPECT_EQ(fetch("http://no-such-host.invalid/"), G(u"711 发送请求失败!")) << "unresolvable";
  {
    RawServer silent([](int, const std::string&) {});
    EXPECT_EQ(fetch(silent.url("/"), 1), G(u"712 服务器未响应!")) << "closed without an answer";
  }
  {
    RawServer* self = nullptr;
    RawServer stalled([&self](int, const std::string&) { self->Stall(); });
    self = &stalled;
    EXPECT_EQ(fetch(stalled.url("/"), 1), G(u"712 服务器未响应!")) << "no answer within the timeout";
  }
}

TEST(HttpFetch, BodyThatBreaksOffKeepsWhatWasRead) {
  RawServer* self = nullptr;
  RawServer server([&self](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    self->Stall(std::chrono::milliseconds(3000));
  });
  self = &server;
  std::string status, bytes;
  EXPECT_EQ(HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 1, nullptr,
                      &status, &bytes),
            "partial");
  EXPECT_EQ(status, G(u"713 读取数据失败!"));
  EXPECT_EQ(bytes, "partial");
}

TEST(HttpFetch, BasicAuthenticationTowardsServerAndProxy) {
  RawServer server = Answering(HttpAnswer("HTTP/1.1 200 OK", "", "ok"));
  HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, "user", "pw");
  HttpFetch(server.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, "user", "");
  // An http address goes through the proxy with its absolute form.
  const std::string target = "http://portal.test:8080/channel.php?in=source";
  HttpFetch(target, 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, "127.0.0.1:" + std::to_string(server.port()),
            "puser", "ppw");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[0].find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n"), std::string::npos);
  EXPECT_EQ(CountLines(requests[1], "Authorization:"), 0) << "both name and password are needed";
  EXPECT_EQ(RequestLine(requests[2]), "GET " + target + " HTTP/1.1");
  EXPECT_NE(requests[2].find("\r\nProxy-Authorization: Basic cHVzZXI6cHB3\r\n"), std::string::npos);
}

TEST(HttpFetch, SecureAddressTunnelsThroughTheProxy) {
  RawServer proxy = Answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
  std::string status;
  HttpFetch("https://secure.test/x", 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {},
            "127.0.0.1:" + std::to_string(proxy.port()), {}, {}, 2, nullptr, &status);
  auto requests = proxy.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestLine(requests[0]), "CONNECT secure.test:443 HTTP/1.1");
  EXPECT_EQ(status, G(u"711 发送请求失败!"));
}

TEST(HttpFetch, PumpRunsWhileWaitingAndNestedCallsShareNothing) {
  RawServer slow([](int fd, const std::string& request) {
    bool first = request.starts_with("GET /first");
    if (first) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    RawServer::Send(fd, HttpAnswer("HTTP/1.1 200 OK", "Set-Cookie: n=" + std::string(first ? "1" : "2") + "\r\n",
                                   first ? "first" : "second"));
  });
  int pumps = 0;
  std::string nested, nestedCookies, outerCookies;
  auto pump = [&] {
    if (++pumps == 2) nested = HttpFetch(slow.url("/second"), 0, {}, nullptr, &nestedCookies);
    return true;
  };
  std::string outer = HttpFetch(slow.url("/first"), 0, {}, nullptr, &outerCookies, {}, nullptr, false, {}, {}, {}, {},
                                {}, 0, nullptr, nullptr, nullptr, true, pump);
  EXPECT_EQ(outer, "first");
  EXPECT_EQ(outerCookies, "n=1");
  EXPECT_EQ(nested, "second");
  EXPECT_EQ(nestedCookies, "n=2");
  EXPECT_GE(pumps, 5) << "400 ms of waiting pumps at least every 50 ms";
}

}  // namespace

namespace {

std::string Status(const std::string& url, std::string* result = nullptr, int timeout = 2) {
  std::string status;
  std::string body =
      HttpFetch(url, 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, timeout, nullptr, &status);
  if (result) *result = body;
  return status;
}

TEST(HttpFetchHostile, RedirectsLeadOnlyToTheWeb) {
  // Each scheme libcurl knows beside the web ones: the local file, and protocols that would
  // send chosen bytes to any host and port.
  for (const std::string location : {"file:///etc/hostname", "dict://127.0.0.1:1/x", "gopher://127.0.0.1:1/_x",
                                     "ftp://127.0.0.1:1/x", "FILE:///etc/passwd"}) {
    RawServer server = Answering(HttpAnswer("HTTP/1.1 302 Found", "Location: " + location + "\r\n", "moved"));
    std::string result = "unset";
    EXPECT_EQ(Status(server.url("/"), &result), G(u"712 服务器未响应!")) << location;
    EXPECT_EQ(result, "") << location;
  }
}

TEST(HttpFetchHostile, CredentialsStayWithTheirOrigin) {
  RawServer other = Answering(HttpAnswer("HTTP/1.1 200 OK", "", "other"));
  RawServer server([&other](int fd, const std::string& request) {
    const std::string to = request.starts_with("GET /same") ? "/done" : other.url("/elsewhere");
    RawServer::Send(fd, request.starts_with("GET /done")
                            ? HttpAnswer("HTTP/1.1 200 OK", "", "same")
                            : HttpAnswer("HTTP/1.1 302 Found", "Location: " + to + "\r\n", ""));
  });
  auto fetch = [](const std::string& url) {
    return HttpFetch(url, 0, {}, nullptr, nullptr, {}, nullptr, false, "user", "pw");
  };
  EXPECT_EQ(fetch(server.url("/same")), "same");
  EXPECT_EQ(fetch(server.url("/away")), "other");
  auto here = server.requests();
  ASSERT_EQ(here.size(), 3u);
  for (const std::string& r : here) EXPECT_EQ(CountLines(r, "Authorization:"), 1) << RequestLine(r);
  auto there = other.requests();
  ASSERT_EQ(there.size(), 1u);
  EXPECT_EQ(CountLines(there[0], "Authorization:"), 0) << "another port is another origin";
  EXPECT_EQ(CountLines(there[0], "Proxy-Authorization:"), 0);

  // Proxy credentials without a proxy go nowhere.
  HttpFetch(other.url("/direct"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, "puser", "ppw");
  there = other.requests();
  ASSERT_EQ(there.size(), 2u);
  EXPECT_EQ(CountLines(there[1], "Proxy-Authorization:"), 0);
  EXPECT_EQ(CountLines(there[1], "Authorization:"), 0);
}

TEST(HttpFetchHostile, AnswersThatAreNotHttpAreNoAnswer) {
  for (const std::string answer : {"garbage\r\n\r\n", "<html>HTTP/0.9 page</html>", "HTTQ/1.1 200 OK\r\n\r\nx"}) {
    RawServer server = Answering(answer);
    EXPECT_EQ(Status(server.url("/")), G(u"712 服务器未响应!")) << answer;
  }
}

TEST(HttpFetchHostile, ConflictingContentLengthsAreRefused) {
  RawServer server = Answering("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 50\r\n\r\nhello");
  std::string result = "unset";
  EXPECT_EQ(Status(server.url("/"), &result), G(u"712 服务器未响应!"));
  EXPECT_EQ(result, "");
  RawServer same = Answering("HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5\r\n\r\nhello");
  EXPECT_EQ(Status(same.url("/"), &result), "200 OK") << "a repeated equal length is harmless";
  EXPECT_EQ(result, "hello");
}

TEST(HttpFetchHostile, HeaderLinesEndedByBareLineFeeds) {
  RawServer server = Answering("HTTP/1.1 200 OK\nSet-Cookie: a=1; path=/\nSet-Cookie: b=2\nContent-Length: 2\n\nok");
  std::string returned, headers, status;
  EXPECT_EQ(HttpFetch(server.url("/"), 0, {}, nullptr, &returned, {}, &headers, false, {}, {}, {}, {}, {}, 0, nullptr,
                      &status),
            "ok");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\n")) << headers;
}

TEST(HttpFetchHostile, OneCookieLineWithTheCallersAndTheRedirectsCookies) {
  RawServer server([](int fd, const std::string& request) {
    RawServer::Send(fd, request.starts_with("GET /start")
                            ? HttpAnswer("HTTP/1.1 302 Found",
                                         "Location: /final\r\nSet-Cookie: sid=abc; path=/\r\n"
                                         "Set-Cookie: a=new; path=/\r\n",
                                         "")
                            : HttpAnswer("HTTP/1.1 200 OK", "", "done"));
  });
  std::string cookies = "a=1; x=9";
  EXPECT_EQ(HttpFetch(server.url("/start"), 0, {}, &cookies), "done");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(CountLines(requests[0], "Cookie:"), 1);
  EXPECT_NE(requests[0].find("\r\nCookie: a=1; x=9\r\n"), std::string::npos);
  ASSERT_EQ(CountLines(requests[1], "Cookie:"), 1) << requests[1];
  std::string line = requests[1].substr(requests[1].find("\r\nCookie: ") + 10);
  line = line.substr(0, line.find("\r\n"));
  for (const char* item : {"sid=abc", "a=new", "x=9"}) EXPECT_NE(line.find(item), std::string::npos) << line;
  EXPECT_EQ(line.find("a=1"), std::string::npos) << "the redirect's a= replaces the caller's: " << line;
}

// The silence timeout counts bytes, not lines: a header line sent a byte at a time for longer
// than the timeout is an answer that arrives.
TEST(HttpFetchHostile, AHeaderLineThatTricklesIsActivity) {
  RawServer* self = nullptr;
  RawServer server([&self](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 200 OK\r\nX-Slow: ");
    for (int i = 0; i < 8 && !self->stopping(); ++i) {
      if (!RawServer::Send(fd, "z")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    RawServer::Send(fd, "\r\nContent-Length: 2\r\n\r\nok");
  });
  self = &server;
  std::string result;
  EXPECT_EQ(Status(server.url("/"), &result, 1).substr(0, 3), "200");
  EXPECT_EQ(result, "ok");
}

TEST(HttpFetchHostile, TrickleEndsAtTheCallLimit) {
  RawServer* self = nullptr;
  RawServer server([&self](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    for (int i = 0; i < 300 && !self->stopping(); ++i) {
      if (!RawServer::Send(fd, "x")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  self = &server;
  const auto begin = std::chrono::steady_clock::now();
  std::string result;
  EXPECT_EQ(Status(server.url("/"), &result, 1), G(u"713 读取数据失败!"));
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(took, std::chrono::seconds(kHttpFetchCallLimit + 3)) << "bounded by the call limit, not the trickle";
  EXPECT_FALSE(result.empty()) << "what arrived is kept";
}

}  // namespace

namespace {

// A pump that answers false (the window is closing) ends the wait at once.
TEST(HttpFetchHostile, APumpThatSaysStopEndsTheWait) {
  RawServer* self = nullptr;
  RawServer silent([&self](int, const std::string&) { self->Stall(std::chrono::milliseconds(5000)); });
  self = &silent;
  int pumps = 0;
  const auto begin = std::chrono::steady_clock::now();
  std::string status;
  EXPECT_EQ(HttpFetch(silent.url("/"), 0, {}, nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 30, nullptr,
                      &status, nullptr, true, [&] { return ++pumps < 3; }),
            "");
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3)) << "not the 30 s timeout";
  EXPECT_EQ(status.substr(0, 3), "712");
}

}  // namespace
