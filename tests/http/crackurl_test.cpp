#include "crackurl.h"

#include <gtest/gtest.h>

#include "sizeprobe.h"
#include "url.h"

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

// Three splits of an address remain: the common one, the request engine's (the Windows
// service's rules) and the size probe's (its own hand-written request). On an ordinary address
// they must agree; where each keeps a rule of its own, the rule is held here.
TEST(CrackUrl, TheThreeSplitsAgreeOnOrdinaryAddresses) {
  for (const char* address : {"http://h.test/a/b.zip", "http://h.test:8080/a?x=1&y=/", "http://[::1]:81/p?q",
                              "HTTP://H.test/", "http://u:p@h.test/p", "http://h.test/a#frag"}) {
    const auto common = common::ParseUrl(address);
    const auto cracked = CrackUrl(address);
    ASSERT_TRUE(common && cracked) << address;
    EXPECT_EQ(cracked->host, common->host) << address;
    EXPECT_EQ(cracked->port, common->PortOrDefault()) << address;
    EXPECT_EQ(cracked->path, common->path) << address;
    const auto probed = ParseProbeAddress(address);
    if (common->userInfo.empty()) {
      ASSERT_TRUE(probed) << address;
      EXPECT_EQ(probed->host, common->host) << address;
      EXPECT_EQ(probed->port, common->PortOrDefault()) << address;
      EXPECT_EQ(probed->path, common->path + (common->query.empty() ? "" : "?" + common->query)) << address;
    }
  }
  // A port of 0 is the scheme's own for the Windows service; no port at all for the others.
  EXPECT_EQ(CrackUrl("http://h:0/")->port, 80);
  EXPECT_FALSE(common::ParseUrl("http://h:0/"));
  EXPECT_FALSE(ParseProbeAddress("http://h:0/"));
  // Only http and https go to the request engine; the common split takes any scheme.
  EXPECT_FALSE(CrackUrl("ftp://h/"));
  EXPECT_TRUE(common::ParseUrl("ftp://h/"));
  // A code page 936 character whose trail byte is "@" is part of the host for the Windows
  // service; split by bytes, it would end a user name.
  EXPECT_EQ(CrackUrl("http://\x81\x40x.test/")->host, "\x81\x40x.test");
  EXPECT_EQ(common::ParseUrl("http://\x81\x40x.test/")->host, "x.test");
}

}  // namespace
