// Texts from servers shown on a terminal: controls escaped, everything else kept.
#include "printable.h"

#include <gtest/gtest.h>

using common::Printable;

namespace {

TEST(Printable, TerminalControlsAreShownNotPassedOn) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"V3.2.1 主程序", "V3.2.1 主程序"},
      {"\x1b]0;owned\x07\x1b[2J\x1b[31mV3", "\\x1b]0;owned\\x07\\x1b[2J\\x1b[31mV3"},
      {"a\r\nb\tc\x7f", "a\\x0d\\x0ab\\x09c\\x7f"},
      {"\xc2\x9b"
       "31m",
       "\\u009b31m"},                    // CSI as a C1 control
      {"\xc2\xa0nbsp", "\xc2\xa0nbsp"},  // the first character after the C1 block is kept
      {"\x9b"
       "31m",
       "\\x9b31m"},                                  // a lone C1 byte, not UTF-8
      {"\xe4\xb8", "\\xe4\\xb8"},                    // a character cut short
      {"\xc0\xaf", "\\xc0\\xaf"},                    // an overlong "/"
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {std::string("a\0b", 3), "a\\x00b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.out;
}

}  // namespace
