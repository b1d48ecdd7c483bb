#include "gbk.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "systemcharset.h"

namespace text {

namespace gbk {
namespace {

#include "cp936_tables.inc"

constexpr char16_t kDefaultChar = u'?';

bool IsTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

struct Tables {
  // decode[(lead - 0x81) * 256 + trail]: 0 where the pair is not valid
  std::array<char16_t, size_t(126) * 256> decode{};
  // encode[unit]: a byte below 0x100, or two bytes (lead << 8 | trail); 0 where unmapped
  std::array<std::uint16_t, 65536> encode{};
};

std::unique_ptr<Tables> BuildTables() {
  auto t = std::make_unique<Tables>();
  for (unsigned char lead = 0x81; lead <= 0xFE; ++lead)
    for (unsigned char trail = 0x40; trail <= 0xFE; ++trail)
      if (IsTrail(trail)) t->decode[(lead - 0x81) * 256 + trail] = system::DecodeCp936Pair(lead, trail);
  for (auto [bytes, unit] : kDecodeOverrides) t->decode[((bytes >> 8) - 0x81) * 256 + (bytes & 0xFF)] = unit;

  for (unsigned c = 1; c < 0x80; ++c) t->encode[c] = std::uint16_t(c);
  t->encode[0x20AC] = 0x80;
  t->encode[0xF8F5] = 0xFF;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      char16_t unit = t->decode[(lead - 0x81) * 256 + trail];
      if (unit && !t->encode[unit]) t->encode[unit] = std::uint16_t(lead << 8 | trail);
    }
  for (auto [unit, bytes] : kBestFit)
    if (!t->encode[unit]) t->encode[unit] = bytes;
  return t;
}

const Tables& TheTables() {
  static const std::unique_ptr<Tables> tables = BuildTables();
  return *tables;
}

void AppendEncoded(std::string& out, std::uint16_t code) {
  if (code >= 0x100) out += char(code >> 8);
  out += char(code & 0xFF);
}

}  // namespace

std::u16string Decode(std::string_view bytes) {
  const Tables& t = TheTables();
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); i += CharLength(bytes, i)) {
    unsigned char b = bytes[i];
    if (b < 0x80) {
      out += char16_t(b);
    } else if (b == 0x80) {
      out += u'\u20AC';
    } else if (b == 0xFF) {
      out += u'\uF8F5';
    } else if (CharLength(bytes, i) == 2) {
      unsigned char trail = bytes[i + 1];
      char16_t unit = t.decode[(b - 0x81) * 256 + trail];
      out += unit ? unit : kDefaultChar;
    } else {
      out += kDefaultChar;  // a lone lead byte; a NUL after it is kept
    }
  }
  return out;
}

std::string Encode(std::u16string_view text, bool compositeCheck) {
  const Tables& t = TheTables();
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    // Combining marks all lie at U+0300 or above; below that nothing composes.
    if (compositeCheck && i + 1 < text.size() && text[i + 1] >= 0x0300) {
      char16_t composed = system::ComposePair(c, text[i + 1]);
      if (composed && t.encode[composed]) {
        AppendEncoded(out, t.encode[composed]);
        ++i;
        continue;
      }
    }
    if (c == 0) {
      out += '\0';
    } else if (t.encode[c]) {
      AppendEncoded(out, t.encode[c]);
    } else {
      out += char(kDefaultChar);
    }
  }
  return out;
}

}  // namespace gbk

std::string GbkToUtf16(std::string_view text, bool stripTerminator) {
  if (text.empty()) return {};
  std::u16string units = text::gbk::Decode(text.substr(0, text.find('\0')));
  if (!stripTerminator) units += u'\0';
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes += char(u & 0xFF);
    bytes += char(u >> 8);
  }
  return bytes;
}

std::string Utf16ToGbk(std::string_view utf16Bytes) {
  std::u16string units(utf16Bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = char16_t(static_cast<unsigned char>(utf16Bytes[2 * i]) |
                        static_cast<unsigned char>(utf16Bytes[2 * i + 1]) << 8);
  std::string text = text::gbk::Encode(units, true);
  return text.substr(0, text.find('\0'));
}

}  // namespace text
