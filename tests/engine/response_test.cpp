// The judgement of an answer before a byte of it is written: one table of cases.

#include <gtest/gtest.h>

#include "response.h"

using namespace dlcore;

namespace {

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
      // A 416 to a resume proves nothing by itself: the whole answer is asked for first.
      {Head({"HTTP/1.1 416 Range Not Satisfiable\r\n"}), resume, known, Verdict::Recheck},
      {Head({"HTTP/1.1 416 Range Not Satisfiable\r\n"}), probe, none, Verdict::Changed},
      {Head({"HTTP/1.1 416 Range Not Satisfiable\r\n"}), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 503 Busy\r\n"}), probe, none, Verdict::Retry},
      {Head({"HTTP/1.1 503 Busy\r\n"}), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 404 Not Found\r\n"}), probe, none, Verdict::Fail},
      {Head({"HTTP/1.1 500 Error\r\n"}), extra, known, Verdict::Refuse},
      {Head({"HTTP/1.1 301 Moved\r\n"}), probe, none, Verdict::Fail},
  };
  int i = 0;
  for (const Case& c : cases) EXPECT_EQ(int(Judge(c.head, c.request, c.known)), int(c.want)) << "case " << i++;
}

// A file that is never a page (a package of the download servers): a successful HTML answer
// is a captive portal's, whatever its status and length; an HTML error page stays an error.
TEST(Judge, APageInPlaceOfAPackageIsRefused) {
  const KnownFile package{-1, "", "", true}, knownPackage{1000, "\"v1\"", "", true};
  const RangeRequest probe{0, -1, true}, resume{400, 1000, true};
  const ResponseHead page =
      Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 354\r\n", "Content-Type: text/html; charset=utf-8\r\n"});
  const ResponseHead partialPage = Head({"HTTP/1.1 206 Partial\r\n", "Content-Range: bytes 400-999/1000\r\n",
                                         "ETag: \"v1\"\r\n", "Content-Type: application/xhtml+xml\r\n"});
  EXPECT_EQ(Judge(page, probe, package), Verdict::Page);
  EXPECT_EQ(Judge(partialPage, resume, knownPackage), Verdict::Page);
  EXPECT_EQ(JudgeRecheck(page, knownPackage), Verdict::Page);
  EXPECT_EQ(Judge(page, probe, KnownFile{}), Verdict::Restart) << "any other file may be a page";
  EXPECT_EQ(Judge(Head({"HTTP/1.1 404 Not Found\r\n", "Content-Type: text/html\r\n"}), probe, package), Verdict::Fail);
  EXPECT_EQ(Judge(Head({"HTTP/1.1 200 OK\r\n", "Content-Type: application/octet-stream\r\n"}), probe, package),
            Verdict::Restart);
}

// The whole answer asked for after a 416: the same file keeps the data on disk; only a new
// version of it starts over.
TEST(JudgeRecheck, TheSameFileKeepsItsBytes) {
  const KnownFile known{1000, "\"v1\"", ""};
  EXPECT_EQ(JudgeRecheck(Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 1000\r\n", "ETag: \"v1\"\r\n"}), known),
            Verdict::Retry);
  EXPECT_EQ(JudgeRecheck(Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 900\r\n", "ETag: \"v2\"\r\n"}), known),
            Verdict::Restart);
  EXPECT_EQ(
      JudgeRecheck(Head({"HTTP/1.1 200 OK\r\n", "Content-Length: 354\r\n", "Content-Type: text/html\r\n"}), known),
      Verdict::Foreign)
      << "a login page is not a new version";
  EXPECT_EQ(JudgeRecheck(Head({"HTTP/1.1 503 Busy\r\n"}), known), Verdict::Retry);
  EXPECT_EQ(JudgeRecheck(Head({"HTTP/1.1 404 Not Found\r\n"}), known), Verdict::Fail);
}

}  // namespace
