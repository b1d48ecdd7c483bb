#pragma once
// Byte text: GBK (code page 936) bytes, where a byte of 0x80 or more and the byte after it
// form one character. Positions are 1-based byte positions; a search that finds nothing
// gives -1. These primitives are the only implementation of each operation; every part of
// the program that cuts or searches network text uses them.
#include <string>
#include <string_view>
#include <vector>

namespace text {

// Length in bytes of the character that starts at `i`: 2 for a lead byte with a byte after
// it, else 1.
inline size_t CharLength(std::string_view text, size_t i) {
  return (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
}

// Position of the first `sought` that begins at or after `start` (below 1 counts as 1), or
// -1. The scan steps over two-byte characters as units, so a match never begins inside
// one; ignoring case folds the ASCII letters only, never a byte of a two-byte character.
// Empty `sought` finds nothing.
long Find(std::string_view text, std::string_view sought, long start = 1, bool ignoreCase = false);

// Every separator ends an item, empty items included; what follows the last separator is an
// item only when it is not empty. An empty text (or an empty separator) gives no items /
// the whole text as its one item.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// ASCII blanks and the ideographic blank (A1 A1) at both ends / everywhere.
std::string Trim(std::string_view text);
std::string RemoveBlanks(std::string_view text);

// The first / last n bytes; n of 0 or less gives empty text, n beyond the length all of it.
std::string Left(std::string_view text, long n);
std::string Right(std::string_view text, long n);

// Every `sought`, found as Find finds it, replaced by `replacement`.
std::string Replace(std::string_view text, std::string_view sought, std::string_view replacement,
                    bool ignoreCase = false);

// A to Z become a to z; the bytes of two-byte characters are left as they are (for UTF-8
// and ASCII text, common::AsciiLower).
std::string AsciiLower(std::string_view text);

}  // namespace text

namespace text {
// "#引号" in GBK: callers write a double quote inside markers and patterns this way.
inline constexpr std::string_view kQuoteToken = "#\xD2\xFD\xBA\xC5";
}  // namespace text
