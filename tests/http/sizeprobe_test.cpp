#include "sizeprobe.h"

#include <gtest/gtest.h>

#include "../fixtures/rawserver.h"

using namespace text;
using namespace http;

namespace {

using std::chrono::milliseconds;
const ProbeLimits kShort{milliseconds(1000), milliseconds(300)};

TEST(SizeProbe, AddressRequestAndHostLine) {
  ProbeTarget t = *ParseProbeAddress("http://dl.example.com/a/b.torrent?x=1");
  EXPECT_EQ(t.host, "dl.example.com");
  EXPECT_EQ(t.port, 80);
  EXPECT_EQ(ProbeRequestText(t), "GET /a/b.torrent?x=1 HTTP/1.1\r\nAccept: */*\r\nHost: dl.example.com\r\n\r\n");
  t = *ParseProbeAddress("HTTP://dl.example.com:8080/f.zip");
  EXPECT_EQ(t.host, "dl.example.com");
  EXPECT_EQ(t.port, 8080);
  EXPECT_EQ(ProbeRequestText(t), "GET /f.zip HTTP/1.1\r\nAccept: */*\r\nHost: dl.example.com:8080\r\n\r\n");
  EXPECT_EQ(ParseProbeAddress("http://h")->path, "/");
  EXPECT_EQ(ParseProbeAddress("http://h/a.zip#part")->path, "/a.zip") << "the fragment is not sent";
  t = *ParseProbeAddress("http://[::1]:8080/v6.zip");
  EXPECT_EQ(t.host, "::1");
  EXPECT_EQ(t.port, 8080);
  EXPECT_EQ(ProbeRequestText(t), "GET /v6.zip HTTP/1.1\r\nAccept: */*\r\nHost: [::1]:8080\r\n\r\n");
  EXPECT_EQ(ParseProbeAddress("http://[::1]/x")->port, 80);
  // Through a proxy the request line names the whole address, with the proxy's credentials.
  const Proxy proxy{"10.0.0.1:3128", "a", "b"};
  EXPECT_EQ(ProbeRequestText(t, &proxy),
            "GET http://[::1]:8080/v6.zip HTTP/1.1\r\nAccept: */*\r\nHost: [::1]:8080\r\n"
            "Proxy-Authorization: Basic YTpi\r\n\r\n");
}

TEST(SizeProbe, AddressesThatCannotBeProbedSafely) {
  for (const char* bad :
       {"http://h:0/x", "http://h:65536/x", "http://h:1e100/x", "http://h:99999999999/x", "http://h:-80/x",
        "http://h:80.5/x", "http://h:/x", "http://h: 80/x", "http://h:1:2/x", "http:///x", "http://[::1/x",
        "http://[::1]x/y", "http://h/a HTTP/1.1\r\nHost: evil\r\n\r\nGET /b", "http://h/a\nb", "http://h/\x7f",
        "http://h\r\nX: y/a", "http://h x/a"})
    EXPECT_FALSE(ParseProbeAddress(bad)) << bad;
  EXPECT_EQ(RequestContentLength("http://127.0.0.1:1e100/x", nullptr, kShort), 0);
  RawServer server(
      [](int fd, const std::string&) { RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n"); });
  EXPECT_EQ(RequestContentLength(server.url("/a HTTP/1.1\r\nHost: x\r\n\r\nGET /smuggled"), nullptr, kShort), 0);
  EXPECT_TRUE(server.requests().empty()) << "nothing is sent for such an address";
}

TEST(SizeProbe, ContentLengthOfTheFirstArrival) {
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: 5000000\r\n\r\n"), 5000000);
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\ncontent-length: 10\r\n\r\n"), 0) << "exact letter case only";
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length:10\r\n\r\n"), 0) << "the blank is part of it";
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: 3221225471\r\n"), 3221225471LL);
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: 12"), 0) << "the line never ends";
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n"), 0);
  EXPECT_EQ(ProbeDataArrived(std::string("X\0Content-Length: 5\r\n", 22)), 0) << "read up to the first NUL";
  EXPECT_EQ(ProbeDataArrived(""), 0);
  EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: 0x400\r\n"), 0) << "decimal digits only";
  for (const char* bad : {"1e3", "-5", "12abc", "99999999999999999999", "1.5", "+7"})
    EXPECT_EQ(ProbeDataArrived("HTTP/1.1 200 OK\r\nContent-Length: " + std::string(bad) + "\r\n"), 0) << bad;
}

TEST(SizeProbe, SizesWithTheirUnits) {
  EXPECT_EQ(FormatProbedSize(0), "-1 ");
  EXPECT_EQ(FormatProbedSize(1023), "-1 ");
  EXPECT_EQ(FormatProbedSize(1024), "1 KB");
  EXPECT_EQ(FormatProbedSize(1025), "1 KB");
  EXPECT_EQ(FormatProbedSize(1536), "1.5 KB");
  EXPECT_EQ(FormatProbedSize(1048575), "1024 KB");
  EXPECT_EQ(FormatProbedSize(1048576), "1 MB");
  EXPECT_EQ(FormatProbedSize(5000000), "4.77 MB");
  EXPECT_EQ(FormatProbedSize(356 * 1048576LL + 210000), "356.2 MB");
  EXPECT_EQ(FormatProbedSize(1073741824), "1 GB");
  EXPECT_EQ(FormatProbedSize(2147483647), "2 GB");
  EXPECT_EQ(FormatProbedSize(3221225471LL), "3 GB") << "sizes past 2 GiB keep their value";
  EXPECT_EQ(FormatProbedSize(5905580032LL), "5.5 GB");
}

TEST(SizeProbe, AsksTheServerWithTheExactRequest) {
  RawServer server([](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1536\r\nContent-Type: application/zip\r\n\r\n");
  });
  EXPECT_EQ(ProbeRemoteSize(server.url("/maps/3m21j27.zip?t=1"), nullptr, kShort), "1.5 KB");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], "GET /maps/3m21j27.zip?t=1 HTTP/1.1\r\nAccept: */*\r\nHost: 127.0.0.1:" +
                             std::to_string(server.port()) + "\r\n\r\n");
}

TEST(SizeProbe, EveryFailureEndsBoundedAsMinusOne) {
  RawServer* self = nullptr;
  RawServer silent([&self](int, const std::string&) { self->Stall(); });
  self = &silent;
  int pumps = 0;
  EXPECT_EQ(ProbeRemoteSize(
                silent.url("/f"),
                [&] {
                  ++pumps;
                  return true;
                },
                kShort),
            "-1 ")
      << "a server that never answers";
  EXPECT_GE(pumps, 3) << "events run while it waits";

  RawServer closing([](int, const std::string&) {});
  EXPECT_EQ(RequestContentLength(closing.url("/f"), nullptr, kShort), 0) << "closed without an answer";
  int closedPort = closing.port();
  RawServer lower(
      [](int fd, const std::string&) { RawServer::Send(fd, "HTTP/1.1 200 OK\r\ncontent-length: 10\r\n\r\n"); });
  EXPECT_EQ(ProbeRemoteSize(lower.url("/f"), nullptr, kShort), "-1 ");
  EXPECT_EQ(ProbeRemoteSize("http://127.0.0.1:1/f", nullptr, kShort), "-1 ") << "refused";
  EXPECT_EQ(ProbeRemoteSize("https://127.0.0.1:" + std::to_string(closedPort) + "/f", nullptr, kShort), "-1 ");
}

TEST(SizeProbe, ASecondProbeInsideTheFirstLeavesItAlone) {
  RawServer server([](int fd, const std::string& request) {
    bool first = request.starts_with("GET /first");
    if (first) std::this_thread::sleep_for(milliseconds(150));
    RawServer::Send(fd, std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + (first ? "2048" : "3072") + "\r\n\r\n");
  });
  std::string inner;
  auto pump = [&] {
    if (inner.empty()) inner = ProbeRemoteSize(server.url("/second"), nullptr, kShort);
    return true;
  };
  EXPECT_EQ(ProbeRemoteSize(server.url("/first"), pump, kShort), "2 KB");
  EXPECT_EQ(inner, "3 KB");
}

}  // namespace
