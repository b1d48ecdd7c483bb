#include "texthelpers.h"
#include "regexmatcher.h"

#include <gtest/gtest.h>

#include "gbktext.h"

using namespace text;

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
  EXPECT_EQ(CollectParagraphs("<p>a</p>\r\n<P>b</P>", [&] { return ++pumped > 0; }), "a\r\nb\r\n");
  EXPECT_GE(pumped, 1);
  EXPECT_EQ(CollectParagraphs("<p>one\r\ntwo</p><p></p>"), "\r\n") << "a paragraph over lines is skipped";
  EXPECT_EQ(CollectParagraphs(G(u"<p>第一段</p>")), G(u"第一段\r\n"));
  EXPECT_EQ(CollectParagraphs("no paragraphs"), "");
  EXPECT_EQ(CollectParagraphs(""), "");
}

// The page is matched a line or a piece at a time; the result must be what one match over the
// whole page gives.
TEST(CollectParagraphs, PiecesGiveWhatTheWholePageGives) {
  auto whole = [](const std::string& html) {
    RegexMatcher m;
    m.Match("<p>(.*?)</p>", html, false, true, true);
    std::string out;
    for (int i = 1; i <= m.MatchCount(); ++i) out += m.SubMatchText(i, 1) + "\r\n";
    return out;
  };
  std::string shortLines;  // matched a block of many lines at a time
  for (int i = 0; i < 20000; ++i)
    shortLines += i % 3 == 0 ? "<p>open\n" : i % 3 == 1 ? "</p><p>" + std::to_string(i) + "</p>\r\n" : "\n";
  std::string longLine;
  for (int i = 0; i < 30000; ++i)
    longLine += i % 7 == 0 ? "<P>" + std::to_string(i) + "\r</P>" : "x<p>" + G(u"段") + "</p>";
  const std::string pages[] = {
      longLine,
      shortLines,
      shortLines + longLine + "\n" + shortLines,
      longLine + "\n<p>tail</p><p>open" + std::string(70000, 'y') + "</p>\n<p>no end",
      "<p><p>a</p></p>\n</p><p>b</p>",
      "<p>a\n</p><p>b</p>",
      std::string("\x81\n<p>x</p>") + "<p>y</p>",  // a lead byte takes the line feed with it
      "<p>x\xff\xff\xff</p>\n<p>\x80</p>",         // 0x80 and 0xFF are characters of their own
      "<p>before</p>" + std::string("\0<p>after</p>", 14),
  };
  for (const std::string& page : pages) EXPECT_EQ(CollectParagraphs(page), whole(page)) << page.substr(0, 60);
}

TEST(CollectParagraphs, EventsFlowWithoutAPausePerParagraph) {
  std::string page;
  for (int i = 0; i < 150000; ++i) page += "<p></p>";  // about 1 MiB of empty paragraphs
  int pumped = 0;
  EXPECT_EQ(CollectParagraphs(page, [&] { return ++pumped > 0; }).size(), 2u * 150000);
  EXPECT_GE(pumped, 1);
  EXPECT_LT(pumped, 150000 / 10) << "events run every few milliseconds, not once per paragraph";
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
