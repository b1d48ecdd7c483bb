// The content of torrents from web seeds alone, on 127.0.0.1: bad bytes, a proxy, a folder seed,
// the limit.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/fileserver.h"
#include "../fixtures/loggingproxy.h"
#include "swarmfixture.h"
#include "verify.h"

namespace fs = std::filesystem;

namespace {

TEST_F(SwarmTest, FromAWebSeedAloneEvenWhenItSendsABadByteOnce) {
  FileServer server(content);
  server.SetFaults({.corruptFirst = 1});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  int states = 0;
  const torrent::SwarmResult r = torrent::DownloadContent(
      t, Options(), [&](const torrent::SwarmStatus&) { ++states; }, Never);
  ASSERT_EQ(r.end, torrent::SwarmEnd::kComplete) << r.failure;
  EXPECT_EQ(ReadAll(scratch.folder() / "in" / "map.ndz"), content) << "the bad piece was fetched again";
  EXPECT_GT(states, 0);
  EXPECT_FALSE(fs::exists(torrent::ResumeFilePath((scratch.folder() / "in").string(), "map.ndz")));
}

// The web seed's requests follow http_proxy as every other request of ours does.
TEST_F(SwarmTest, AWebSeedIsAskedThroughTheProxy) {
  FileServer server(content);
  LoggingProxy proxy;
  setenv("http_proxy", ("http://" + proxy.address()).c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  const torrent::SwarmResult r = torrent::DownloadContent(t, Options(), nullptr, Never);
  unsetenv("http_proxy");
  ASSERT_EQ(r.end, torrent::SwarmEnd::kComplete) << r.failure;
  EXPECT_EQ(ReadAll(scratch.folder() / "in" / "map.ndz"), content);
  const std::vector<std::string> seen = proxy.seen();
  std::string all;
  for (const std::string& s : seen) all += s + "\n";
  EXPECT_FALSE(seen.empty());
  for (const std::string& s : seen) EXPECT_EQ(s, "GET " + server.url("map.ndz")) << all;
}

// A web seed that keeps sending bad data is dropped after a few bad pieces in a row, and the
// download ends with its address and why, not after the stall time (it ran for ever).
TEST_F(SwarmTest, AWebSeedThatKeepsSendingBadDataIsDropped) {
  FileServer server(content);
  server.SetFaults({.corruptFirst = 1000000});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  torrent::SwarmOptions o = Options();
  o.stallSeconds = 300;
  const auto start = std::chrono::steady_clock::now();
  const torrent::SwarmResult r = torrent::DownloadContent(t, o, nullptr, Never);
  EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed);
  EXPECT_NE(r.failure.find("网络种子 " + server.url("map.ndz") + " 出错（发来的数据与种子不符"), std::string::npos)
      << r.failure;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "not the stall time";
}

// A web seed given as a folder is named by the address asked of it when it fails, and its failure
// ends the download (it was waited on for the whole stall time).
TEST_F(SwarmTest, AFolderWebSeedThatFailsIsNamedByTheAddressAsked) {
  FileServer missing(content);
  missing.SetFaults({.status = 404});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, missing.url("dir/"));
  torrent::SwarmOptions o = Options();
  o.stallSeconds = 300;
  const torrent::SwarmResult r = torrent::DownloadContent(t, o, nullptr, Never);
  EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed);
  EXPECT_NE(r.failure.find("网络种子 " + missing.url("dir/map.ndz") + " 出错（"), std::string::npos) << r.failure;
  EXPECT_EQ(r.failure.find(".part"), std::string::npos) << "no address that was never asked for";
}

// The download limit holds for a web seed of the local network (libtorrent exempts those peers).
TEST_F(SwarmTest, TheLimitHoldsForALocalWebSeed) {
  const std::string two = PatternBytes(2 << 20, 42);
  FileServer server(two);
  const std::string t = torrent::CreateTorrent("map.ndz", two, 64 << 10, server.url("map.ndz"));
  torrent::SwarmOptions o = Options();
  o.maxDownloadRate = 512 << 10;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(torrent::DownloadContent(t, o, nullptr, Never).end, torrent::SwarmEnd::kComplete);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.8 * double(two.size()) / double(o.maxDownloadRate)) << "faster than the limit";
}

}  // namespace
