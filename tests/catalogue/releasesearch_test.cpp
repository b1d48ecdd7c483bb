#include "releasesearch.h"

#include <chrono>

#include <gtest/gtest.h>

#include "../fixtures/rawserver.h"
#include "../fixtures/sampleportal.h"
#include "sizeprobe.h"

using namespace catalogue;

namespace {

class ReleaseSearchTest : public testing::Test {
 protected:
  SamplePortal portal;
  Servers servers{"http://" + portal.host(), "http://" + portal.host()};
};

TEST_F(ReleaseSearchTest, TheReleaseRowOfADeviceNumber) {
  const ReleaseSearch found = SearchRelease(u"3261", servers, nullptr);
  ASSERT_EQ(found.outcome, ReleaseSearch::Outcome::kFound);
  const std::string http = servers.download;
  const ReleaseRow& r = found.row;
  EXPECT_EQ(r.version, "V3.2.1");
  EXPECT_EQ(r.releaseDate, "20200202");
  EXPECT_EQ(r.size, "356.2MB");
  EXPECT_EQ(r.torrentSize,
            http::FormatProbedSize(static_cast<long long>(
                SampleFileFor("/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent", portal.host()).size())))
      << "probed on the download server";
  EXPECT_EQ(r.programLink, http + "/app/oem/20200202/3261/V3.2.1.zip");
  EXPECT_EQ(r.torrentLink, http + "/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent");
  EXPECT_EQ(r.companionMaps, "3m21j27 全国图资\r\n3m21j27_0e 东区图资\r\n");
  EXPECT_EQ(r.mapName, "NAVI_3M21J27_FULL");
  EXPECT_EQ(r.mapLink, http + "/data/wp3m21j27/NAVI_3M21J27_FULL/DATA.zip");
  EXPECT_EQ(found.versionLine, "V3.2.1 356.2MB");
  EXPECT_EQ(SearchRelease(u"8888", servers, nullptr).row.companionMaps, r.companionMaps) << "a page declaring utf-8";
}

TEST_F(ReleaseSearchTest, NoResultAndFailureAreTold) {
  const ReleaseSearch none = SearchRelease(u"0000", servers, nullptr);
  EXPECT_EQ(none.outcome, ReleaseSearch::Outcome::kNoResult);
  EXPECT_EQ(SearchRelease(u"1111", servers, nullptr).outcome, ReleaseSearch::Outcome::kNoResult) << "no release table";
  const ReleaseSearch failed = SearchRelease(u"3261", {"http://127.0.0.1:1", servers.download}, nullptr);
  EXPECT_EQ(failed.outcome, ReleaseSearch::Outcome::kFailed);
  EXPECT_EQ(failed.status, "711 发送请求失败!");
  // An answer that is not the portal's page: an error status.
  RawServer broken(
      [](int fd, const std::string&) { RawServer::Send(fd, "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n"); });
  const ReleaseSearch error =
      SearchRelease(u"3261", {"http://127.0.0.1:" + std::to_string(broken.port()), servers.download}, nullptr);
  EXPECT_EQ(error.outcome, ReleaseSearch::Outcome::kFailed);
  EXPECT_EQ(error.status, "500 Oops");
}

// A page whose table cells the search gave up on (here its time spent: a line of a million "<td>"
// that never close costs the line's length at every one of them) is said to be too large or too
// slow, not "no result".
TEST_F(ReleaseSearchTest, APageTheSearchGaveUpOnIsToldSo) {
  std::string body = "<table cellpadding=\"0\" cellspacing=\"0\" class=\"dt\">";
  for (int i = 0; i < 1000000; ++i) body += "<td>";
  body += "<div class=\"mbm cl\"></div>";
  const std::string answer =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n" + body;
  RawServer portalOfRunaways([&answer](int fd, const std::string&) { RawServer::Send(fd, answer); });
  const ReleaseSearch slow = SearchRelease(
      u"3261", {"http://127.0.0.1:" + std::to_string(portalOfRunaways.port()), servers.download}, nullptr);
  EXPECT_EQ(slow.outcome, ReleaseSearch::Outcome::kTooSlow);
}

TEST_F(ReleaseSearchTest, APumpThatSaysStopEndsTheWaitAtOnce) {
  RawServer* self = nullptr;
  RawServer silent([&self](int, const std::string&) { self->Stall(std::chrono::milliseconds(20000)); });
  self = &silent;
  const auto start = std::chrono::steady_clock::now();
  const ReleaseSearch stopped =
      SearchRelease(u"3261", {"http://127.0.0.1:" + std::to_string(silent.port()), servers.download},
                    [&] { return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200); });
  EXPECT_EQ(stopped.outcome, ReleaseSearch::Outcome::kStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "not the request's 30 s";
}

TEST(DownloadOf, TheRowsLinkAndASafeName) {
  ReleaseRow row;
  row.version = "V3.2.1";
  row.programLink = "http://dl/app.zip";
  row.torrentLink = "http://dl/app.zip.torrent";
  const common::DownloadOrder archive = DownloadOf(row, false), torrent = DownloadOf(row, true);
  EXPECT_EQ(archive.sources, std::vector<std::string>{"http://dl/app.zip"});
  EXPECT_EQ(archive.name, "V3.2.1.zip");
  EXPECT_EQ(archive.kind, common::DownloadKind::kRelease);
  EXPECT_EQ(archive.torrent, "http://dl/app.zip.torrent") << "checked against its torrent once complete";
  EXPECT_EQ(torrent.sources, std::vector<std::string>{"http://dl/app.zip.torrent"});
  EXPECT_EQ(torrent.name, "V3.2.1.torrent");
  EXPECT_TRUE(torrent.IsTorrent());
  row.version = "V../../escape";
  EXPECT_EQ(DownloadOf(row, false).name, "V.._.._escape.zip") << "a version from a page never leaves the folder";
}

}  // namespace
