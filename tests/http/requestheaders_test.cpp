#include "requestheaders.h"

#include <gtest/gtest.h>

using namespace http;

namespace {

std::vector<std::string> Lines(const std::string& extra, Method method = Method::kGet,
                               const std::string* cookies = nullptr) {
  return RequestHeaderLines(HeaderBlock(extra, method, cookies)).value().lines;
}

TEST(RequestHeaders, DefaultsInOrderAndTheCallersLineReplacesItsName) {
  EXPECT_EQ(Lines(""), (std::vector<std::string>{
                           "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
                           "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: gbk, GB2312",
                           "Accept-Language: zh-cn", "Cache-Control: no-cache", "Expect:", "Content-Type:"}));
  const auto lines = Lines("accept: */*\r\nX-Mine: 1");
  EXPECT_EQ(lines[0], "accept: */*") << "the caller's line, in the caller's case, and no default beside it";
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return HeaderName(l) == "accept"; }),
            1);
  EXPECT_EQ(lines[1], "X-Mine: 1");
  EXPECT_EQ(Lines("Accept: a\r\nAccept: b")[0], "Accept: b") << "a later line replaces an earlier one in its place";
}

TEST(RequestHeaders, FormTypeCookieAndEmptyValues) {
  const auto post = Lines("", Method::kPost);
  EXPECT_NE(std::find(post.begin(), post.end(), "Content-Type: application/x-www-form-urlencoded"), post.end());
  EXPECT_EQ(std::find(post.begin(), post.end(), "Content-Type:"), post.end()) << "no empty type beside the form type";
  // The form type is looked for with its case, as the original did: a lowered line of the
  // caller gets the default after it, which then replaces it.
  const auto lowered = Lines("content-type: text/plain", Method::kPost);
  EXPECT_EQ(lowered[0], "Content-Type: application/x-www-form-urlencoded");
  const std::string cookies = "a=1; b=2";
  const auto withCookies = RequestHeaderLines(HeaderBlock("", Method::kGet, &cookies)).value();
  EXPECT_EQ(withCookies.cookie, "a=1; b=2") << "the cookie line goes to libcurl apart";
  for (const std::string& line : withCookies.lines) EXPECT_NE(HeaderName(line), "cookie");
  EXPECT_EQ(Lines("X-Empty:")[0], "X-Empty;") << "sent empty, not dropped";
  EXPECT_FALSE(RequestHeaderLines("no colon here\r\n")) << "not a header: the call fails with 710";
  EXPECT_FALSE(RequestHeaderLines(": value\r\n"));
}

}  // namespace
