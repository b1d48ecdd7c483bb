#include "headerline.h"

#include <gtest/gtest.h>

namespace {

// The lines both engines read: status lines of every shape, fields with odd blanks and case.
TEST(HeaderLine, StatusLinesAndFields) {
  EXPECT_EQ(common::StatusOfLine("HTTP/1.1 206 Partial Content\r\n"), 206);
  EXPECT_EQ(common::StatusOfLine("HTTP/2 200"), 200);
  EXPECT_EQ(common::StatusOfLine("HTTP/1.1"), 0) << "a status line that names no status";
  EXPECT_EQ(common::StatusOfLine("HTTP/1.1 abc"), 0);
  EXPECT_FALSE(common::StatusOfLine("Content-Length: 5"));
  EXPECT_FALSE(common::StatusOfLine("http/1.1 200")) << "the protocol's name is case-sensitive";

  const std::optional<common::HeaderField> f = common::ReadHeaderField(" Content-LENGTH :\t 42 \r\n");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->name, "content-length");
  EXPECT_EQ(f->value, "42");
  EXPECT_EQ(common::ReadHeaderField("Location: http://h:81/x")->value, "http://h:81/x") << "split at the first colon";
  EXPECT_EQ(common::ReadHeaderField("X-Empty:")->value, "");
  EXPECT_FALSE(common::ReadHeaderField("not a header\r\n"));
  EXPECT_EQ(common::WithoutLineEnd("a\r\n"), "a");
  EXPECT_EQ(common::WithoutLineEnd("a\n"), "a");
  EXPECT_EQ(common::WithoutLineEnd("\r\n"), "");
}

}  // namespace
