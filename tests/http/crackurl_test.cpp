#include "crackurl.h"

#include <gtest/gtest.h>

using namespace http;

namespace {

TEST(CrackUrl, PartsOfAnAddress) {
  auto u = CrackUrl("HTTPS://user:pw@Host.test:8443/a/b?q=1#f");
  ASSERT_TRUE(u);
  EXPECT_TRUE(u->secure);
  EXPECT_EQ(u->host, "Host.test");
  EXPECT_EQ(u->port, 8443);
  EXPECT_EQ(u->path, "/a/b");
  EXPECT_EQ(u->extra, "?q=1#f");
  u = CrackUrl("http://[::1]/x");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->host, "::1");
  EXPECT_EQ(u->port, 80);
  for (const char* bad : {"", "ftp://h/", "http://", "http://h:65536/", "http://[::1/", "http://h:8a/"})
    EXPECT_FALSE(CrackUrl(bad)) << bad;
}

// Code page 936 trail bytes include "@" (0x40) but never "/" or ":"; an address is still split
// by characters, so no byte inside a two-byte character splits it.
TEST(CrackUrl, TrailBytesSplitNothing) {
  auto u = CrackUrl("http://\x81\x40x.test/");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->host, "\x81\x40x.test") << "not sent to x.test";
  u = CrackUrl("http://a\x81@b.test:81/p");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->host, "a\x81@b.test");
  EXPECT_EQ(u->port, 81);
  u = CrackUrl("http://real.test/\x81?x");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->path, "/\x81?x") << "the question mark belongs to the character";
  EXPECT_EQ(u->extra, "");
}

// A lead byte before ":", "/" or "@" (or a byte that is no lead byte) in the host's part makes
// the address unreadable: the code page would take the next byte with it, so the host it sees
// is not the one a split by bytes gives.
TEST(CrackUrl, ALoneLeadByteInTheHostsPartIsNoAddress) {
  for (const char* bad : {"http://a\x81/@127.0.0.1:19400/x", "http://127.0.0.1\x81:19400/p", "http://host\x81",
                          "http://h\x80.test/", "http://h\xff.test/", "http://u\x81:pw@h.test/"})
    EXPECT_FALSE(CrackUrl(bad)) << bad;
  auto u = CrackUrl("http://\xd6\xd0.test:81/\x81/");  // a whole character in the host; the path is not the host
  ASSERT_TRUE(u);
  EXPECT_EQ(u->host, "\xd6\xd0.test");
  EXPECT_EQ(u->port, 81);
}

}  // namespace
