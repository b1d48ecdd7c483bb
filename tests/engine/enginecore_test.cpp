// The engine's pure parts: byte ranges, the connection planner, the state file and the
// judgement of answers.
#include <cstdlib>

#include <gtest/gtest.h>

#include "controlfile.h"
#include "engine.h"
#include "failures.h"
#include "planner.h"
#include "ranges.h"
#include "response.h"

using namespace dlcore;

namespace {

using Ranges = std::vector<ByteRange>;

TEST(RangeSet, MergesAndFindsGaps) {
  RangeSet s;
  s.Add({10, 20});
  s.Add({30, 40});
  s.Add({20, 25});  // touching merges
  s.Add({0, 0});    // empty adds nothing
  EXPECT_EQ(s.ranges(), (Ranges{{10, 25}, {30, 40}}));
  s.Add({5, 35});
  EXPECT_EQ(s.ranges(), (Ranges{{5, 40}}));
  EXPECT_EQ(s.Covered(), 35);
  EXPECT_EQ(s.Gaps(50), (Ranges{{0, 5}, {40, 50}}));
  EXPECT_TRUE(s.Contains({5, 40}));
  EXPECT_FALSE(s.Contains({4, 6}));
  EXPECT_EQ(RangeSet().Gaps(0), Ranges{});
  EXPECT_EQ(RangeSet().Gaps(3), (Ranges{{0, 3}}));
}

TEST(PlanConnection, FreeSpaceFirstThenHalfOfTheLargestRemainder) {
  const std::chrono::milliseconds rtt(0);
  auto plan = PlanConnection({{0, 5}, {10, 30}}, {{40, 100, 1e6}}, rtt);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{10, 30}));
  EXPECT_FALSE(plan->splitFrom);

  plan = PlanConnection({}, {{0, 1'000'000, 1e6}, {40'000'000, 100'000'000, 1e6}}, rtt);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->range, (ByteRange{70'000'000, 100'000'000}));
  EXPECT_EQ(plan->splitFrom, 1u);
  EXPECT_FALSE(PlanConnection({}, {{0, 30'000, 1e6}}, rtt)) << "no part smaller than the minimum";
  EXPECT_FALSE(PlanConnection({}, {}, rtt));
}

// Random splitting never hands a byte to two connections and never loses one.
TEST(PlanConnection, SplitsPartitionTheFileExactly) {
  unsigned seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (std::int64_t total : {1, 1000, 1 << 20, (1 << 20) + 1}) {
    Ranges owned = {{0, total}};
    for (int step = 0; step < 40; ++step) {
      std::vector<ConnectionView> views;
      for (auto& r : owned) views.push_back({r.begin, r.end, double(next() % 3) * 1000});
      auto plan = PlanConnection({}, views, std::chrono::milliseconds(0));
      if (!plan) break;
      owned[*plan->splitFrom].end = plan->range.begin;
      owned.push_back(plan->range);
      if (next() % 3 == 0) owned[next() % owned.size()].begin += 1;  // progress on one of them
    }
    RangeSet all;
    std::int64_t sum = 0;
    for (auto& r : owned) {
      ASSERT_GE(r.size(), 0);
      all.Add(r);
      sum += r.size();
    }
    EXPECT_EQ(sum, all.Covered()) << "no overlap for " << total;
  }
}

ControlState SampleState() {
  ControlState s;
  s.url = "http://dl.test/3m21j27.zip";
  s.total = 10 << 20;
  s.rangeable = true;
  s.etag = "\"abc\"";
  s.lastModified = "Mon, 07 Dec 2026 08:00:00 GMT";
  s.done.Add({0, 1 << 20});
  s.done.Add({5 << 20, 6 << 20});
  return s;
}

TEST(ControlFile, RoundTripAndEveryDamageIsRefused) {
  const ControlState s = SampleState();
  const std::string bytes = EncodeControl(s);
  auto back = DecodeControl(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, s);

  EXPECT_FALSE(DecodeControl(""));
  EXPECT_FALSE(DecodeControl(bytes.substr(0, bytes.size() / 2))) << "torn";
  EXPECT_FALSE(DecodeControl(std::string(bytes.size(), '\0'))) << "zero-filled";
  for (size_t i = 0; i < bytes.size(); i += 7) {
    std::string flipped = bytes;
    flipped[i] ^= 0x20;
    EXPECT_FALSE(DecodeControl(flipped)) << "byte " << i;
  }
  ControlState beyond = s;
  beyond.done.Add({(10 << 20) - 5, (10 << 20) + 5});
  EXPECT_FALSE(DecodeControl(EncodeControl(beyond))) << "ranges past the size";
}

ResponseHead Head(std::initializer_list<const char*> lines) {
  ResponseHead h;
  for (const char* l : lines) ParseHeaderLine(h, l);
  return h;
}

TEST(Judge, AnswersAreCheckedBeforeAnyByteIsWritten) {
  const KnownFile none{};
  const KnownFile known{1000, "\"v1\"", ""};
  const RangeRequest probe{0, -1, true}, resume{400, 1000, true}, extra{500, 800, false};
  auto ok206 = [](const char* range, const char* etag) {
    return Head({"HTTP/1.1 206 Partial Content\r\n", range, etag});
  };
  // Parsing: a redirect's headers are forgotten at the next status line; weak ETags are no validators.
  ResponseHead h = Head({"HTTP/1.1 302 Found\r\n", "ETag: \"old\"\r\n", "HTTP/1.1 206 Partial\r\n",
                         "content-range: bytes 0-99/1000\r\n", "ETag: W/\"weak\"\r\n", "Accept-Ranges: bytes\r\n"});
  EXPECT_EQ(h.status, 206);
  EXPECT_EQ(h.etag, "");
  ASSERT_TRUE(h.range);
  EXPECT_EQ(h.range->total, 1000);
  EXPECT_TRUE(h.acceptRanges);

  struct Case {
    ResponseHead head;
    RangeRequest request;
    KnownFile known;
    Verdict want;
  } cases[] = {
      {ok206("Content-Range: bytes 0-999/1000\r\n", "ETag: \"v1\"\r\n"), probe, none, Verdict::Accept},
      {ok206("Content-Range: bytes 0-999/*\r\n", ""), probe, none, Verdict::Unsplittable},
      {ok206("Content-Range: bytes 1-999/1000\r\n", ""), probe, none, Verdict::Unsplittable},
      {Head({"HTTP/1.1 206 Partial\r\n"}), probe, none, Verdict::Unsplittable},
      {ok206("Content-Range: bytes 400-999/1000\r\n", "ETag: \"v1\"\r\n"), resume, known, Verdict::Accept},
      {ok206("Content-Range: bytes 400-999/1000\r\n", "ETag: \"v2\"\r\n"), resume, known, Verdict::Changed},
      {ok206("Content-Range: bytes 400-999/2000\r\n", "ETag: \"v1\"\r\n"), resume, known, Verdict::Changed},
      {ok206("Content-Range: bytes 500-799/1000\r\n", "ETag: \"v1\"\r\n"), extra, known, Verdict::Accept},
      {ok206("Content-Range: bytes 500-899/1000\r\n", "ETag: \"v1\"\r\n"), extra, known, Verdict::Refuse},
      {ok206("Content-Range: bytes 501-799/1000\r\n", "ETag: \"v1\"\r\n"), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 200 OK\r\n"}), probe, none, Verdict::Restart},
      // Once the file is known, a 200 restarts it only when it is the same file or plainly a
      // new version of it; a login page or a nameless answer is not the file.
      {Head({"HTTP/1.1 200 OK\r\n"}), resume, known, Verdict::Foreign},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 1000\r\n", "ETag: \"v1\"\r\n"}), resume, known, Verdict::Restart},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 2000\r\n", "ETag: \"v2\"\r\n"}), resume, known, Verdict::Restart},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 354\r\n", "Content-Type: text/html\r\n"}), resume, known,
       Verdict::Foreign},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 354\r\n", "Content-Type: Text/HTML; charset=utf-8\r\n",
             "ETag: \"portal\"\r\n"}),
       resume, known, Verdict::Foreign},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 1000\r\n", "Content-Length: 10\r\n"}), probe, none,
       Verdict::Foreign},
      {Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 1000\r\n", "Content-Length: 1000\r\n"}), probe, none,
       Verdict::Restart},
      {Head({"HTTP/1.1 200 OK\r\n"}), extra, known, Verdict::Unsplittable},
      {Head({"HTTP/1.1 412 Precondition Failed\r\n"}), extra, known, Verdict::Changed},
      {Head({"HTTP/1.1 412 Precondition Failed\r\n", "ETag: \"v2\"\r\n"}), extra, known, Verdict::Changed},
      {Head({"HTTP/1.1 416 Range Not Satisfiable\r\n"}), resume, known, Verdict::Changed},
      {Head({"HTTP/1.1 503 Busy\r\n"}), probe, none, Verdict::Retry},
      {Head({"HTTP/1.1 503 Busy\r\n"}), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 404 Not Found\r\n"}), probe, none, Verdict::Fail},
      {Head({"HTTP/1.1 500 Error\r\n"}), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 301 Moved\r\n"}), probe, none, Verdict::Fail},
  };
  int i = 0;
  for (const Case& c : cases) EXPECT_EQ(int(Judge(c.head, c.request, c.known)), int(c.want)) << "case " << i++;
}

TEST(ConnectionCap, FromTheEnvironmentWithinOneToSixteen) {
  const std::pair<const char*, int> cases[] = {{"4", 4},  {"1", 1},  {"16", 16}, {"0", 8},
                                               {"17", 8}, {"3x", 8}, {"", 8},    {"-2", 8}};
  for (auto [text, want] : cases) {
    setenv(kConnectionsVariable, text, 1);
    EXPECT_EQ(ConnectionCapFromEnvironment(8), want) << text;
  }
  unsetenv(kConnectionsVariable);
  EXPECT_EQ(ConnectionCapFromEnvironment(8), 8);
}

TEST(IdDat, NamesThePartnerAndVersionTowardsServers) {
  EXPECT_EQ(UserAgentFromIdDat("[partner]\r\nid=80000000\r\nver = 3.2.1.26\r\n"),
            "Quorvel-dlcore/3.2.1.26 (partner 80000000)");
  EXPECT_EQ(UserAgentFromIdDat(""), "Quorvel-dlcore");
  EXPECT_EQ(UserAgentFromIdDat("[partner]\r\nid=1\r\n"), "Quorvel-dlcore");
}

// Which libcurl results are refusals (failed at once) and which are a line that may recover.
TEST(ClassifyTransfer, RefusalsAreNotRetried) {
  struct Case {
    CURLcode result;
    long status;
    int code;
    bool retry;
  };
  const Case cases[] = {
      {CURLE_OK, 200, 0, true},
      {CURLE_WRITE_ERROR, 206, 0, true},  // the engine ended it itself
      {CURLE_PEER_FAILED_VERIFICATION, 0, DL_FAIL_CERTIFICATE, false},
      {CURLE_UNSUPPORTED_PROTOCOL, 302, DL_FAIL_REDIRECT, false},  // a redirect to file:
      {CURLE_UNSUPPORTED_PROTOCOL, 0, DL_FAIL_PROTOCOL, false},    // not HTTP at all
      {CURLE_TOO_MANY_REDIRECTS, 301, DL_FAIL_REDIRECT, false},
      {CURLE_WEIRD_SERVER_REPLY, 0, DL_FAIL_PROTOCOL, false},
      {CURLE_COULDNT_RESOLVE_HOST, 0, DL_FAIL_RESOLVE, true},
      {CURLE_COULDNT_CONNECT, 0, DL_FAIL_REFUSED, true},
      {CURLE_OPERATION_TIMEDOUT, 0, DL_FAIL_TIMEOUT, true},
      {CURLE_RECV_ERROR, 206, DL_FAIL_NETWORK, true},
      {CURLE_PARTIAL_FILE, 206, DL_FAIL_NETWORK, true},
  };
  for (const Case& c : cases) {
    const TransferFailure f = ClassifyTransfer(c.result, c.status);
    EXPECT_EQ(f.code, c.code) << curl_easy_strerror(c.result);
    EXPECT_EQ(f.retry, c.retry) << curl_easy_strerror(c.result);
  }
}

}  // namespace
