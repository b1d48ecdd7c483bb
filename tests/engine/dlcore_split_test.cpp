// How the engine splits a download, seen from the server: several connections from the first
// answer on, closed ranges, connections kept alive, nothing fetched twice.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/fileserver.h"
#include "dlcorefixture.h"
#include "planner.h"

namespace {

using namespace dlcore_fixture;

// The Range header of each request that had one ("bytes=A-B").
std::vector<std::string> Ranges(FileServer& server) {
  std::vector<std::string> ranges;
  for (const std::string& request : server.requestLog()) {
    const size_t at = request.find("\r\nRange: ");
    if (at != std::string::npos) ranges.push_back(request.substr(at + 9, request.find("\r\n", at + 9) - at - 9));
  }
  return ranges;
}

// A server that paces each connection: the engine opens several at once, as soon as the
// first answer tells the size; every request asks for a closed range; with a strong ETag
// (sent back with If-Match) no request's first bytes are fetched again.
TEST_F(DlcoreTest, SeveralConnectionsFromTheFirstAnswerWithClosedRangesAndNothingTwice) {
  const std::string content = PatternBytes(6 << 20, 41);
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 1 << 20});
  DLTask t = Download(server.url());
  ASSERT_EQ(Wait(
                t, [&] { return info_.nSrcTotal() >= dlcore::kFirstWidth; }, milliseconds(5000)),
            DL_STATE_RUNNING)
      << "not several at once";
  EXPECT_LT(info_.nTotalDownload(), std::int64_t(content.size()) / 2) << "they opened early";
  ASSERT_EQ(Wait(t), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "file.bin"), content);
  const std::vector<std::string> ranges = Ranges(server);
  ASSERT_GE(ranges.size(), size_t(dlcore::kFirstWidth));
  for (const std::string& range : ranges) EXPECT_FALSE(range.ends_with("-")) << range << " is open-ended";
  EXPECT_EQ(ranges.front(), "bytes=0-" + std::to_string(dlcore::kFirstRange - 1));
  EXPECT_LE(server.bytesServed(), content.size() + content.size() / 100) << "at most 1 % fetched twice";
}

// A server that keeps its connections open gets the next range on the same connection; one
// that closes after every answer (the default here) gets a new connection a range.
TEST_F(DlcoreTest, TheNextRangeGoesOnTheSameConnection) {
  const std::string content = PatternBytes(8 << 20, 42);
  FileServer kept(content);
  kept.SetFaults({.bytesPerSecond = 2 << 20, .keepAlive = true});
  ASSERT_EQ(Wait(Download(kept.url(), "kept.bin")), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "kept.bin"), content);
  EXPECT_GT(kept.requests(), kept.connections()) << "no connection was used twice";

  FileServer closing(content);
  closing.SetFaults({.bytesPerSecond = 2 << 20});
  ASSERT_EQ(Wait(Download(closing.url(), "closing.bin")), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "closing.bin"), content);
  EXPECT_EQ(closing.requests(), closing.connections());
}

// A server may answer a range with fewer bytes than asked (some cap every answer): the rest
// goes to the next request, and the file is exact; one that ignores ranges gets one stream.
TEST_F(DlcoreTest, AnswersShorterThanAskedOrWithoutRangesStillGiveTheExactFile) {
  const std::string content = PatternBytes(3 << 20, 43);
  FileServer capped(content);
  capped.SetFaults({.keepAlive = true, .rangeCap = 100'000});
  ASSERT_EQ(Wait(Download(capped.url(), "capped.bin")), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "capped.bin"), content);
  EXPECT_LE(capped.bytesServed(), content.size() + content.size() / 100);

  FileServer whole(content);
  whole.SetFaults({.noRange = true, .keepAlive = true});
  ASSERT_EQ(Wait(Download(whole.url(), "whole.bin")), DL_STATE_COMPLETE);
  EXPECT_EQ(ReadAll(folder_ / "whole.bin"), content);
  EXPECT_EQ(whole.requests(), 1);
  EXPECT_EQ(whole.bytesServed(), content.size());
}

}  // namespace
