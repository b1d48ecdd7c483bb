#include "bytetext.h"

#include <gtest/gtest.h>

#include "gbktext.h"

using namespace text;

using Items = std::vector<std::string>;

TEST(ByteTextFind, PositionsStartAndCase) {
  EXPECT_EQ(Find("abcabc", "bc"), 2);
  EXPECT_EQ(Find("abcabc", "bc", 3), 5);
  EXPECT_EQ(Find("abcabc", "bc", -7), 2);  // a start below 1 counts as 1
  EXPECT_EQ(Find("abcabc", "bc", 6), -1);
  EXPECT_EQ(Find("abcabc", "bc", 100), -1);
  EXPECT_EQ(Find("abc", "BC"), -1);
  EXPECT_EQ(Find("abc", "BC", 1, true), 2);
  EXPECT_EQ(Find("abc", ""), -1);
  EXPECT_EQ(Find("", "a"), -1);
  EXPECT_EQ(Find("ab", "abc"), -1);  // sought longer than the text
  EXPECT_EQ(Find(std::string_view("a\0b", 3), "b"), 3);
}

TEST(ByteTextFind, NeverStartsInsideOrFoldsATwoByteCharacter) {
  // 0x81 0x41 and 0x81 0x61 are two different characters whose trail bytes are "A" and "a".
  const std::string upper = "\x81\x41", lower = "\x81\x61";
  EXPECT_EQ(Find(upper, "A"), -1);
  EXPECT_EQ(Find(upper, "a", 1, true), -1);
  EXPECT_EQ(Find("x" + lower, upper, 1, true), -1);
  EXPECT_EQ(Find("x" + upper + "A", "a", 1, true), 4);
  EXPECT_EQ(Find(G(u"中文ABC"), G(u"文a"), 1, true), 3);
  // The byte pair "\xD0\xC4" stands inside 中文 (D6 D0 CE C4) only across a character border.
  EXPECT_EQ(Find(G(u"中文"), "\xD0\xCE"), -1);
  // A lone lead byte at the end is a character of its own.
  EXPECT_EQ(Find("ab\xB0", "\xB0"), 3);
}

TEST(ByteTextSplit, EveryItemAndTheLastOnlyWhenNotEmpty) {
  EXPECT_EQ(Split("a;;b;", ";"), (Items{"a", "", "b"}));
  EXPECT_EQ(Split(";", ";"), (Items{""}));
  EXPECT_EQ(Split("a; b", "; "), (Items{"a", "b"}));
  EXPECT_EQ(Split("abc", ";"), (Items{"abc"}));
  EXPECT_EQ(Split("", ";"), Items{});
  EXPECT_EQ(Split("abc", ""), (Items{"abc"}));
  EXPECT_EQ(Split("\x81;x;y", ";"), (Items{"\x81;x", "y"})) << "a separator byte inside a character";
}

TEST(ByteTextBlanks, AsciiAndIdeographicBlanksOnCharacterBorders) {
  const std::string ideo = "\xA1\xA1";
  EXPECT_EQ(Trim(ideo + "  a b " + ideo + " "), "a b");
  EXPECT_EQ(RemoveBlanks(" a " + ideo + "b "), "ab");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  // B0 A1 is one character and A1 B0 another: no ideographic blank among them.
  EXPECT_EQ(Trim("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
  EXPECT_EQ(RemoveBlanks("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
  // A lone A1 at the end is no blank.
  EXPECT_EQ(Trim("a \xA1"), "a \xA1");
}

TEST(ByteTextCuts, LeftRightReplaceLower) {
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Left("abc", -1), "");
  EXPECT_EQ(Left("abc", 9), "abc");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", -3), "");
  EXPECT_EQ(Right("abc", 9), "abc");
  EXPECT_EQ(Replace("aXbxc", "x", "--", true), "a--b--c");
  EXPECT_EQ(Replace("aXbxc", "x", "--"), "aXb--c");
  EXPECT_EQ(Replace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(Replace("abc", "", "z"), "abc");
  EXPECT_EQ(Replace("\x81\x41"
                    "A",
                    "A", "z"),
            "\x81\x41z");
  EXPECT_EQ(AsciiLower("ABC\x81\x41"
                       "D\xB0"),
            "abc\x81\x41"
            "d\xB0");
  EXPECT_EQ(AsciiLower(G(u"3M21J27图资")), G(u"3m21j27图资"));
}
