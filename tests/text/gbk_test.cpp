#include "gbk.h"

#include <gtest/gtest.h>

#include "gbktext.h"

using namespace text;

TEST(Gbk, DecodesLikeWindows) {
  EXPECT_EQ(text::gbk::Decode("\xA1\xA4\xA1\xAA\xA8\x44"), u"\u00B7\u2014\u2015");
  EXPECT_EQ(text::gbk::Decode("\x80\xFF"), u"\u20AC\uF8F5");
  EXPECT_EQ(text::gbk::Decode("\xAA\xA1\xA2\xE3\xFE\x51"), u"\uE000\uE76C\uE816") << "private use pairs";
  EXPECT_EQ(text::gbk::Decode("\x81\x20\x41"), u"?A") << "a bad trail byte is eaten with its lead";
  EXPECT_EQ(text::gbk::Decode(std::string("\xBF\xB4\xC7\x00\x78", 5)), std::u16string(u"\u770B?\0x", 4));
  EXPECT_EQ(text::gbk::Decode("ab\xB0"), u"ab?") << "a lone lead byte at the end";
  EXPECT_EQ(text::gbk::Decode("\x81\x7F\x81\xFF"), u"??");
  EXPECT_EQ(text::gbk::Decode(""), u"");
}

TEST(Gbk, EncodesLikeWindowsWithBestFit) {
  EXPECT_EQ(G(u"\u00B7\u2014\u2015"), "\xA1\xA4\xA1\xAA\xA8\x44");
  EXPECT_EQ(G(u"\u30FB\u00A0\u2022\u00C4"), "????");
  EXPECT_EQ(G(u"\u00A5\u00A2\u00B2\u00C0"),
            "\xA3\xA4\xA1\xE9"
            "2"
            "\xA8\xA4");
  EXPECT_EQ(G(u"\u20AC\uF8F5\uE000"), "\x80\xFF\xAA\xA1");
  EXPECT_EQ(G(u"\U00020087"), "??") << "each unit of a surrogate pair";
  EXPECT_EQ(G(u"\xDC00"
              u"a"),
            "?a")
      << "a lone surrogate";
}

TEST(Gbk, EveryValidPairRoundTrips) {
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string bytes{char(lead), char(trail)};
      std::u16string unit = text::gbk::Decode(bytes);
      ASSERT_EQ(unit.size(), 1u);
      ASSERT_NE(unit[0], u'?') << std::hex << lead << trail;
      ASSERT_EQ(text::gbk::Encode(unit), bytes) << std::hex << lead << trail;
      ++pairs;
    }
  EXPECT_EQ(pairs, 23940);
}

TEST(Gbk, CompositeCheckComposesWhenTheCodePageHoldsTheResult) {
  EXPECT_EQ(text::gbk::Encode(u"e\u0301", true), "\xA8\xA6");  // é
  EXPECT_EQ(text::gbk::Encode(u"e\u0301", false).substr(0, 1), "e");
  // q with an acute accent has no composed form: both are written on their own.
  EXPECT_EQ(text::gbk::Encode(u"q\u0301", true), text::gbk::Encode(u"q", true) + text::gbk::Encode(u"\u0301", true));
}

TEST(Gbk, ByteBufferForms) {
  EXPECT_EQ(GbkToUtf16(G(u"中")), std::string("\x2D\x4E\0\0", 4));
  EXPECT_EQ(GbkToUtf16(G(u"中"), true), "\x2D\x4E");
  EXPECT_EQ(GbkToUtf16(""), "");
  EXPECT_EQ(GbkToUtf16(std::string("a\0b", 3)), std::string("a\0\0\0", 4)) << "up to the first NUL";
  EXPECT_EQ(GbkToUtf16(std::string("\xB0\0b", 3), true), std::string("?\0", 2)) << "a lead byte before the NUL";
  EXPECT_EQ(Utf16ToGbk(std::string("\x2D\x4E\x41", 3)), G(u"中")) << "an odd last byte is ignored";
  EXPECT_EQ(Utf16ToGbk(std::string("A\0B\0\0\0C\0", 8)), "AB") << "up to the first NUL";
  EXPECT_EQ(Utf16ToGbk(""), "");
  EXPECT_EQ(Utf16ToGbk(std::string("e\0\x01\x03", 4)), "\xA8\xA6") << "composite check is on";
}
