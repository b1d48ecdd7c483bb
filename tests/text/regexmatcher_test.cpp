#include "regexmatcher.h"
#include "regexsearch.h"

#include <thread>

#include <gtest/gtest.h>

#include "../text/gbktext.h"

using namespace text;

namespace {

std::vector<std::string> Groups(const RegexMatcher& m, int group = 1) {
  std::vector<std::string> out;
  for (int i = 1; i <= m.MatchCount(); ++i) out.push_back(group ? m.SubMatchText(i, group) : m.MatchText(i));
  return out;
}
using Texts = std::vector<std::string>;

TEST(RegexMatcher, TableCellsOfThePortal) {
  RegexMatcher m;
  const std::string page =
      G(u"<tr><td>名称</td><td>版本 1.0</td></tr>\r\n<tr><td>多行\r\n单元格</td><td>a\rb</td><td></td>");
  ASSERT_TRUE(m.Match("<td>(.*?)</td>", page));
  EXPECT_EQ(Groups(m), (Texts{G(u"名称"), G(u"版本 1.0"), "a\rb", ""}));
  EXPECT_EQ(m.SubMatchCount(), 1);
}

TEST(RegexMatcher, ParagraphsFollowCaseSetting) {
  RegexMatcher m;
  const std::string page = G(u"<P>第一段</p>\r\n<p>第二段\r\n续行</p><p>末段</P>");
  ASSERT_TRUE(m.Match("<p>(.*?)</p>", page, true));
  EXPECT_EQ(m.MatchCount(), 0);
  EXPECT_EQ(m.SubMatchText(1, 1), "");
  EXPECT_EQ(m.SubMatchCount(), 0);
  ASSERT_TRUE(m.Match("<p>(.*?)</p>", page));
  EXPECT_EQ(Groups(m), (Texts{G(u"第一段"), G(u"末段")}));
}

TEST(RegexMatcher, CharsetOfMetaTags) {
  RegexMatcher m;
  const std::string page =
      G(u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n"
        u"<META charset=\"UTF-8\">\r\n<meta charset=编码>\r\n<meta\r\ncharset=x>");
  ASSERT_TRUE(m.Match("<meta.+?charset=[^\\w]?([-\\w]+)", page));
  EXPECT_EQ(Groups(m), (Texts{"gb2312", "UTF-8"}));
}

TEST(RegexMatcher, GlobalSearchStepsPastEmptyMatches) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("a*?", "aa"));
  EXPECT_EQ(m.MatchCount(), 3);
  ASSERT_TRUE(m.Match("(?=b)|b", "ab"));
  EXPECT_EQ(m.MatchCount(), 1);
  ASSERT_TRUE(m.Match("", "test"));
  EXPECT_EQ(m.MatchCount(), 5);
  ASSERT_TRUE(m.Match("", "xxx"));
  EXPECT_EQ(m.ReplaceMatches("y"), "yxyxyxy");
  ASSERT_TRUE(m.Match("", G(u"中文")));
  EXPECT_EQ(m.ReplaceMatches("|"), G(u"|中|文|"));
  ASSERT_TRUE(m.Match("a", "aaa", false, true, false));
  EXPECT_EQ(m.MatchCount(), 1) << "not global: the first match only";
  EXPECT_EQ(m.ReplaceMatches("b"), "baa");
}

TEST(RegexMatcher, AnchorsAndLineEnds) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("^", "a\r\nb\rc"));
  EXPECT_EQ(m.ReplaceMatches("|"), "|a\r|\n|b\r|c") << "after \\n and after \\r, each on its own";
  ASSERT_TRUE(m.Match("$", "a\r\nb"));
  EXPECT_EQ(m.ReplaceMatches("|"), "a|\r|\nb|");
  ASSERT_TRUE(m.Match("b$", "ab\n", false, false));
  EXPECT_EQ(m.MatchCount(), 0) << "without multi-line, $ is the very end";
  ASSERT_TRUE(m.Match("[$^]", "a^b$"));
  EXPECT_EQ(Groups(m, 0), (Texts{"^", "$"})) << "inside a class they are plain characters";
  ASSERT_TRUE(m.Match("\\^\\$", "^$"));
  EXPECT_EQ(m.MatchCount(), 1);
  ASSERT_TRUE(m.Match("a.c", "a\rc a\nc"));
  EXPECT_EQ(Groups(m, 0), (Texts{"a\rc"})) << ". takes \\r but not \\n";
}

TEST(RegexMatcher, ClassesCaseAndBackReferences) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("\\w+", G(u"ab中文_1")));
  EXPECT_EQ(Groups(m, 0), (Texts{"ab", "_1"})) << "\\w is ASCII only";
  ASSERT_TRUE(m.Match("\\s", G(u"\u3000")));
  EXPECT_EQ(m.MatchCount(), 0);
  ASSERT_TRUE(m.Match("ABC", "xabcx"));
  EXPECT_EQ(m.MatchCount(), 1) << "letter case ignored by default";
  ASSERT_TRUE(m.Match("(a)?b\\1", "b"));
  EXPECT_EQ(m.MatchCount(), 1) << "an unset group matches empty";
  EXPECT_EQ(m.SubMatchText(1, 1), "");
  ASSERT_TRUE(m.Match("\\u4e2d", G(u"中")));
  EXPECT_EQ(m.MatchCount(), 1);
}

TEST(RegexMatcher, InvalidPatternLeavesEverythingEmpty) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("(a)", "a"));
  for (const char* bad : {"(", "[a", "a{2,1}", "*"}) {
    EXPECT_FALSE(m.Match(bad, "a")) << bad;
    EXPECT_EQ(m.GetPattern(), "");
    EXPECT_EQ(m.MatchCount(), 0);
    EXPECT_EQ(m.MatchText(1), "");
    EXPECT_EQ(m.SubMatchText(1, 1), "");
    EXPECT_EQ(m.SubMatchCount(), 0);
    EXPECT_EQ(m.ReplaceMatches("x"), "");
  }
}

TEST(RegexMatcher, QuoteEscapesAndPattern) {
  RegexMatcher m;
  const std::string pattern = G(u"a#引号b");
  ASSERT_TRUE(m.Match(pattern, "a\"b", false, true, true, true));
  EXPECT_EQ(m.MatchCount(), 1);
  EXPECT_EQ(m.GetPattern(), "a\"b");
  ASSERT_TRUE(m.Match(pattern, "a\"b " + pattern));
  EXPECT_EQ(Groups(m, 0), (Texts{pattern}));
  EXPECT_EQ(m.GetPattern(), pattern);
}

TEST(RegexMatcher, ReplacementSyntax) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("(\\w)(\\d)", "a1-b2"));
  EXPECT_EQ(m.ReplaceMatches("[$2$1]"), "[1a]-[2b]");
  EXPECT_EQ(m.ReplaceMatches("$&$&"), "a1a1-b2b2");
  EXPECT_EQ(m.ReplaceMatches("$$1"), "$1-$1");
  EXPECT_EQ(m.ReplaceMatches("<$`>"), "<>-<a1->");
  EXPECT_EQ(m.ReplaceMatches("<$'>"), "<-b2>-<>");
  EXPECT_EQ(m.ReplaceMatches("$3$0$"), "$3$0$-$3$0$") << "no such group: literal";
  EXPECT_EQ(m.ReplaceMatches("$12"), "a2-b2") << "$12 with two groups is $1 then 2";
  ASSERT_TRUE(m.Match("x", G(u"中x文")));
  EXPECT_EQ(m.ReplaceMatches(G(u"乂")), G(u"中乂文"));
  ASSERT_TRUE(m.Match("nothing", "abc"));
  EXPECT_EQ(m.ReplaceMatches("x"), "abc");
}

TEST(RegexMatcher, PositionsAreByteOffsets) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("a(b)c", G(u"中文abc中文abc")));
  long position = 99;
  EXPECT_EQ(m.MatchText(1, &position), "abc");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(m.MatchText(2, &position), "abc");
  EXPECT_EQ(position, 11);
  EXPECT_EQ(m.SubMatchText(2, 1, &position), "b");
  EXPECT_EQ(position, 12);
  position = 7;
  EXPECT_EQ(m.MatchText(3, &position), "");
  EXPECT_EQ(position, 7) << "an index outside the matches leaves the output alone";
  EXPECT_EQ(m.MatchText(0), "");
  EXPECT_EQ(m.SubMatchText(1, 2), "");
}

TEST(RegexMatcher, CopiesShareMatchesAndKeepThem) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("\\d", "1 2"));
  RegexMatcher copy = m;
  ASSERT_TRUE(m.Match("x", "y"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.ReplaceMatches("#"), "# #");
  EXPECT_EQ(m.MatchCount(), 0);
}

// Ordinary subjects deeper than PCRE2's default JIT stack still match: "no match" only ever
// means no match.
TEST(RegexMatcher, DeepSubjectsMatch) {
  RegexMatcher m;
  std::string ab;
  for (int i = 0; i < 5000; ++i) ab += i % 3 ? "a" : "b";
  ASSERT_TRUE(m.Match("(?:a|b)*c", ab + "c"));
  EXPECT_EQ(Groups(m, 0), (Texts{ab + "c"}));
  const std::string cell(100 * 1024, 'x');
  ASSERT_TRUE(m.Match("<td>((?:.|\\r|\\n)*?)</td>", "<tr><td>" + cell + "\r\n</td><td>2</td>"));
  ASSERT_EQ(m.MatchCount(), 2);
  EXPECT_EQ(m.SubMatchText(1, 1), cell + "\r\n");
  EXPECT_EQ(m.SubMatchText(2, 1), "2");
}

// A runaway start position is given up alone: the search finds what comes after it.
TEST(RegexMatcher, RunawayAttemptEndsOnlyItself) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("(a+)+b", std::string(28, 'a') + "c aab"));
  EXPECT_EQ(Groups(m, 0), (Texts{"aab"}));
  // Bad GBK and NUL in the subject are defined: "?" for the bad bytes, the text ends at NUL.
  ASSERT_TRUE(m.Match(".+", std::string("a\x81\x20z\xB0\0tail", 9)));
  EXPECT_EQ(Groups(m, 0), (Texts{"a?z?"}));
}

// A pattern that costs the subject's length at every position, on a long subject (a hostile
// page): the search ends (after its budget at most) with what it found, and a runaway retry
// stays quick.
TEST(RegexMatcher, ASearchOfQuadraticCostEndsWithWhatItFound) {
  RegexMatcher m;
  std::string ab;
  for (int i = 0; i < 200000; ++i) ab += "ab";
  ASSERT_TRUE(m.Match("(?:a|b)*c", "abc" + ab));
  ASSERT_GE(m.MatchCount(), 1);
  EXPECT_EQ(m.MatchText(1), "abc");
  ASSERT_TRUE(m.Match("(x+x+)+y", std::string(30, 'x') + "zy xxy"));
  EXPECT_EQ(Groups(m, 0), (Texts{"xxy"}));
}

// A search that gives up before the subject's end says so: there may be matches it did not find.
TEST(RegexMatcher, ASearchThatGivesUpSaysSo) {
  RegexMatcher m;
  ASSERT_TRUE(m.Match("(a+)+b", std::string(28, 'a') + "c aab"));
  EXPECT_FALSE(m.Incomplete());
  std::string runaways;
  for (int i = 0; i < 3; ++i) runaways += std::string(28, 'a') + "c";
  ASSERT_TRUE(m.Match("(a+)+b", runaways + " aab"));
  EXPECT_TRUE(m.Incomplete()) << "its runaways spent, the rest was not searched";
  EXPECT_EQ(m.MatchCount(), 0);
}

// The budget is the matching's: counting the characters of a large subject first (seconds under
// the sanitizers for 250 MiB) spends none of it.
TEST(RegexSearch, TheBudgetStartsWithTheFirstMatch) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(u"b"), 1, PCRE2_UTF | PCRE2_USE_OFFSET_LIMIT, &error,
                                   &offset, nullptr);
  ASSERT_NE(code, nullptr);
  {
    RegexSearch search(code, "aaab");
    std::this_thread::sleep_for(RegexSearch::kBudget + std::chrono::milliseconds(100));  // a slow count
    EXPECT_TRUE(search.Next(0));
    EXPECT_FALSE(search.GaveUp());
  }
  pcre2_code_free(code);
}

// Everything a search reports, for comparing two searches.
std::vector<std::string> Report(const RegexMatcher& m) {
  std::vector<std::string> out{std::to_string(m.MatchCount()), std::to_string(m.SubMatchCount()),
                               m.ReplaceMatches("[$&|$1|$`]")};
  for (int i = 1; i <= m.MatchCount(); ++i) {
    long at = -1, groupAt = -1;
    out.push_back(m.MatchText(i, &at) + "@" + std::to_string(at));
    out.push_back(m.SubMatchText(i, 1, &groupAt) + "@" + std::to_string(groupAt));
  }
  return out;
}

// A long subject is searched in pieces; tiny pieces put piece ends inside matches, look-behinds,
// line ends and two-byte characters, and must change nothing.
TEST(RegexMatcher, PiecesChangeNoMatch) {
  std::string page = G(u"<tr><td>名称</td><td>版本 1.0</td></tr>\r\n<tr><td>多行\r\n单元格</td><td>a\rb</td></tr>\n");
  page += "word wordy sword word\r\nxy xxy x\n" + G(u"末行：下载地址 http://a/b.zip");
  struct Case {
    const char* pattern;
    bool multiLine;
  };
  const Case cases[] = {{"<td>(.*?)</td>", true},
                        {"^(.*)$", true},
                        {"^<tr>", false},
                        {"(zip)$", false},
                        {"\\bword\\b", true},
                        {"(?<=x)y", true},
                        {"x(?=y)", true},
                        {"(x*)", true},
                        {"[\\s\\S]*(zip)", true},
                        {"(a)?b\\1", true},
                        {"(\\S+)\\r?$", true},
                        {"(下载).*?(http\\S+)", true},
                        {"", true},
                        {"([^<>]+)</td>", true},
                        {"(?:z|(?<=^<))tr", false}};
  for (const Case& c : cases) {
    RegexMatcher whole;
    ASSERT_TRUE(whole.Match(c.pattern, page, false, c.multiLine)) << c.pattern;
    for (size_t piece : {1, 2, 3, 7, 64}) {
      RegexMatcher pieces(piece);
      ASSERT_TRUE(pieces.Match(c.pattern, page, false, c.multiLine));
      EXPECT_EQ(Report(pieces), Report(whole)) << "pattern " << c.pattern << ", pieces of " << piece;
    }
  }
}

}  // namespace
