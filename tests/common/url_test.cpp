#include "url.h"

#include <gtest/gtest.h>

using common::ParseUrl;
using common::PercentEncoded;
using common::Url;

namespace {

// The cases the address parsers of the engine, dlget and the download list read differently
// before they shared this one.
TEST(Url, PartsOfAddresses) {
  std::optional<Url> u = ParseUrl("HTTPS://user:p@ss@[::1]:8443/a/b.zip?x=1&y=/#top");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->scheme, "https");
  EXPECT_TRUE(u->secure());
  EXPECT_EQ(u->userInfo, "user:p@ss");
  EXPECT_EQ(u->host, "::1");
  EXPECT_EQ(u->port, 8443);
  EXPECT_EQ(u->path, "/a/b.zip");
  EXPECT_EQ(u->query, "x=1&y=/");
  EXPECT_EQ(u->fragment, "top");
  EXPECT_EQ(u->HostAndPort(), "[::1]:8443");

  u = ParseUrl("http://example.com");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->path, "");
  EXPECT_EQ(u->port, 0);
  EXPECT_EQ(u->PortOrDefault(), 80);
  EXPECT_EQ(u->HostAndPort(), "example.com:80");
  EXPECT_EQ(ParseUrl("https://h?q")->PortOrDefault(), 443);
  EXPECT_EQ(ParseUrl("https://h?q")->query, "q");
  // A "?" or "#" before the first "/" ends the authority; an "@" after the path's "/" is path.
  EXPECT_EQ(ParseUrl("http://h#f/x")->host, "h");
  EXPECT_EQ(ParseUrl("http://h/p@q:1")->host, "h");
  EXPECT_EQ(ParseUrl("http://h/p@q:1")->path, "/p@q:1");
  EXPECT_EQ(ParseUrl("ftp://h:21/")->scheme, "ftp");
}

TEST(Url, AddressesThatAreRefused) {
  for (const char* bad : {"", "h/x", "://h/", "http:/h/", "ht tp://h/", "http://", "http:///p", "http://:80/",
                          "http://h:0/", "http://h:65536/", "http://h:8o/", "http://h:/", "http://h:+80/",
                          "http://[::1/", "http://[::1]x/", "http://a:b:c/", "http://u@/"})
    EXPECT_FALSE(ParseUrl(bad)) << bad;
  EXPECT_TRUE(ParseUrl("http://h:65535/"));
}

TEST(Url, PercentEncodedOnlyWhatMustBe) {
  EXPECT_EQ(PercentEncoded("a b\x7F\x80\xE5%~"), "a%20b%7F%80%E5%~");
  EXPECT_EQ(PercentEncoded("3261&x=1#", "&=%+#"), "3261%26x%3D1%23");
  EXPECT_EQ(common::PercentDecoded(PercentEncoded("路径 /x%", "%")), "路径 /x%");
}

}  // namespace
