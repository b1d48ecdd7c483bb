#pragma once
// Code page 936 conversions with Windows' results: MultiByteToWideChar(936, 0) and
// WideCharToMultiByte(936, 0x200). glibc's GB18030 converter fills the decode table, the
// tables in cp936_tables.inc supply what Windows does differently (private-use pairs and
// best-fit bytes); unmappable text becomes "?".
//
// Known differences from Windows: the composite check composes by Unicode's rules (ICU),
// while Windows uses an older table of its own, so rare base + mark pairs may differ; the
// 65 default-ignorable code points are written as "?" as Windows' own table does.
#include <string>
#include <string_view>

namespace text {

namespace gbk {

// Decodes as MultiByteToWideChar(936, 0) over all of `bytes` (NUL bytes included): a lead
// byte with a non-NUL byte after it consumes both (an invalid pair gives one "?"); a lead
// byte at the end or before a NUL gives "?".
std::u16string Decode(std::string_view bytes);

// The number of bytes Decode reads as the character at `i`: 2 for a lead byte (0x81 to 0xFE)
// with a non-NUL byte after it, else 1. (Byte text's own CharLength takes every byte of 0x80
// and more as a lead byte; this is the decoder's view, for cutting text where the decoded
// characters begin.)
inline size_t CharLength(std::string_view bytes, size_t i) {
  const unsigned char b = static_cast<unsigned char>(bytes[i]);
  return b > 0x80 && b < 0xFF && i + 1 < bytes.size() && bytes[i + 1] != '\0' ? 2 : 1;
}

// Whether every byte of 0x80 and more in `bytes` is part of a valid two-byte character (a lead
// byte 0x81 to 0xFE and a trail byte 0x40 to 0x7E or 0x80 to 0xFE): no byte that decodes to
// "?" with what follows it, or alone.
inline bool OnlyWholeCharacters(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) continue;
    const unsigned char trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    if (b == 0x80 || b == 0xFF || !((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE))) return false;
    ++i;
  }
  return true;
}

// Encodes per UTF-16 code unit as WideCharToMultiByte(936): best fit on, "?" for the rest,
// surrogates "?" each. With `compositeCheck` a base character and the combining mark after
// it become the composed character when code page 936 holds it (exact or best fit).
std::string Encode(std::u16string_view text, bool compositeCheck = true);

}  // namespace gbk

// Byte text to little-endian UTF-16 bytes, up to the first NUL, with the terminating zero
// unit unless `stripTerminator`; empty text gives an empty buffer.
std::string GbkToUtf16(std::string_view text, bool stripTerminator = false);

// Little-endian UTF-16 bytes (an odd last byte is ignored) to byte text, up to the first NUL.
std::string Utf16ToGbk(std::string_view utf16Bytes);

}  // namespace text
