#pragma once
// What the text library takes from the system's own converters: glibc's iconv and ICU here,
// the Windows API there (MultiByteToWideChar, NormalizeString). Plain inputs and outputs.
#include <string>
#include <string_view>

namespace text::system {

// A charset the page may declare, as each system names it.
struct SystemCharset {
  const char* iconvName;
  unsigned codePage;
};

// All of `bytes` in UTF-16; a byte the charset cannot take becomes "?" and the conversion goes
// on after it. Empty when the system lacks the charset.
std::u16string Decode(const SystemCharset& charset, std::string_view bytes);

// The UTF-16 unit of a two-byte character of code page 936 (GB18030 agrees with it on every
// two-byte pair); 0 when the pair is not one.
char16_t DecodeCp936Pair(unsigned char lead, unsigned char trail);

// The composed character of base + mark by Unicode's rules, 0 when there is none.
char16_t ComposePair(char16_t base, char16_t mark);

}  // namespace text::system
