#include "texthelpers.h"

#include <gtest/gtest.h>

#include "gbktext.h"

TEST(TextBetween, MarkersCaseAndStart) {
  EXPECT_EQ(TextBetween("xAAyBBz", "aa", "bb"), "y");
  EXPECT_EQ(TextBetween("xAAyBBz", "aa", "bb", 1, true), "");
  EXPECT_EQ(TextBetween("<a>1</a><a>2</a>", "<a>", "</a>", 4), "2");
  EXPECT_EQ(TextBetween("<a></a>", "<a>", "</a>"), "") << "right marker right after the left";
  EXPECT_EQ(TextBetween("b]x[a", "[", "]"), "") << "right marker only before the left";
  EXPECT_EQ(TextBetween("abc", "[", "c"), "") << "left marker missing";
  EXPECT_EQ(TextBetween("ab", "abcdef", "b"), "") << "marker longer than the text";
  EXPECT_EQ(TextBetween("", "a", "b"), "");
  // Markers that overlap: the right one is searched only after the left one ends.
  EXPECT_EQ(TextBetween("ababab", "abab", "bab"), "");
  EXPECT_EQ(TextBetween("aXa", "a", "a"), "X");
}

TEST(TextBetween, QuoteTokenInMarkers) {
  const std::string quote = G(u"#引号");
  EXPECT_EQ(TextBetween("<input value=\"3.2.1\" name=v>", "value=" + quote, quote), "3.2.1");
  EXPECT_EQ(TextBetween("value=\"x\"", "VALUE=" + quote, "\""), "x");
  EXPECT_EQ(TextBetween(G(u"版本：【V9】"), G(u"【"), G(u"】")), "V9");
}

TEST(CollectParagraphs, SingleLineParagraphsInAnyCase) {
  int pumped = 0;
  EXPECT_EQ(CollectParagraphs("<p>a</p>\r\n<P>b</P>", [&] { ++pumped; }), "a\r\nb\r\n");
  EXPECT_EQ(pumped, 2);
  EXPECT_EQ(CollectParagraphs("<p>one\r\ntwo</p><p></p>"), "\r\n") << "a paragraph over lines is skipped";
  EXPECT_EQ(CollectParagraphs(G(u"<p>第一段</p>")), G(u"第一段\r\n"));
  EXPECT_EQ(CollectParagraphs("no paragraphs"), "");
  EXPECT_EQ(CollectParagraphs(""), "");
}

TEST(Cookies, NamesAndDuplicates) {
  EXPECT_EQ(CookieName(" sid =abc=d"), "sid");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_TRUE(HasCookieName({"a=1", "SID=2"}, "SID"));
  EXPECT_FALSE(HasCookieName({"a=1", "SID=2"}, "sid"));
  EXPECT_EQ(RemoveDuplicates("k; k; m", "; "), "k; m");
  EXPECT_EQ(RemoveDuplicates("", "; "), "");
  EXPECT_EQ(RemoveDuplicates("a;;a;", ";"), "a;");
  EXPECT_EQ(IndexOfText({"x", "y", "y"}, "y"), 2);
  EXPECT_EQ(IndexOfText({"x"}, "X"), -1);
  EXPECT_EQ(IndexOfText({}, ""), -1);
}

TEST(Cookies, MergeKeepsResponseFirstDropsDeletedAndStoresBack) {
  std::string cookies = "a=1; b=2", returned = "b=3; c=deleted";
  EXPECT_EQ(MergeCookies(cookies, returned), "b=3; a=1");
  EXPECT_EQ(cookies, "b=3; a=1");
  EXPECT_EQ(returned, "b=3;c=deleted") << "blanks removed from both";

  cookies = "a=1", returned = "";
  EXPECT_EQ(MergeCookies(cookies, returned), "a=1");
  cookies = "", returned = "x=1;x=1";
  EXPECT_EQ(MergeCookies(cookies, returned), "x=1");
  cookies = "", returned = "";
  EXPECT_EQ(MergeCookies(cookies, returned), "");
  // Names that differ in case are different cookies; an old item ending in =deleted goes too.
  cookies = "SID=1; gone=deleted", returned = "sid=2";
  EXPECT_EQ(MergeCookies(cookies, returned), "sid=2; SID=1");
  // Of two old items with one name, only the first survives.
  cookies = "a=1; a=2", returned = "b=1";
  EXPECT_EQ(MergeCookies(cookies, returned), "b=1; a=1");
  // Blanks go everywhere, the ideographic blank included.
  cookies = G(u"n = 1\u3000"), returned = "";
  EXPECT_EQ(MergeCookies(cookies, returned), "n=1");
}
