#include "charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "ascii.h"
#include "bytetext.h"
#include "gbk.h"

namespace text {

namespace {

enum class Decoder { Cp936, Utf8, Utf16LE, Utf16BE, Iconv, Cp1252 };

struct Charset {
  const char* name;
  Decoder decoder;
  const char* iconvName;  // for Decoder::Iconv
};

// The names of Windows' MIME charset database that pages use, with the code page each one
// stands for. "gb2312" is full GBK there, not the narrower EUC-CN of other systems.
const Charset kCharsets[] = {
    {"gb2312", Decoder::Cp936, nullptr},          {"gbk", Decoder::Cp936, nullptr},
    {"cp936", Decoder::Cp936, nullptr},           {"x-gbk", Decoder::Cp936, nullptr},
    {"gb18030", Decoder::Iconv, "GB18030"},       {"utf-8", Decoder::Utf8, nullptr},
    {"unicode", Decoder::Utf16LE, nullptr},       {"utf-16", Decoder::Utf16LE, nullptr},
    {"unicodefffe", Decoder::Utf16BE, nullptr},   {"big5", Decoder::Iconv, "BIG5"},
    {"shift_jis", Decoder::Iconv, "CP932"},       {"euc-jp", Decoder::Iconv, "EUC-JP"},
    {"euc-kr", Decoder::Iconv, "CP949"},          {"ks_c_5601-1987", Decoder::Iconv, "CP949"},
    {"us-ascii", Decoder::Iconv, "ASCII"},        {"iso-8859-1", Decoder::Cp1252, nullptr},
    {"windows-1252", Decoder::Cp1252, nullptr},   {"iso-8859-2", Decoder::Iconv, "ISO-8859-2"},
    {"iso-8859-5", Decoder::Iconv, "ISO-8859-5"}, {"iso-8859-15", Decoder::Iconv, "ISO-8859-15"},
    {"windows-1250", Decoder::Iconv, "CP1250"},   {"windows-1251", Decoder::Iconv, "CP1251"},
    {"koi8-r", Decoder::Iconv, "KOI8-R"},
};

void AppendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out += char16_t(cp);
  } else {
    cp -= 0x10000;
    out += char16_t(0xD800 + (cp >> 10));
    out += char16_t(0xDC00 + (cp & 0x3FF));
  }
}

// UTF-8 with one leading byte-order mark skipped; each bad sequence becomes U+FFFD.
std::u16string DecodeUtf8(std::string_view s) {
  if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    int k = 1;
    for (; extra > 0 && k <= extra && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80; ++k)
      cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (extra < 0 || k <= extra || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      out += u'\uFFFD';
      i += extra < 0 ? 1 : size_t(std::max(k, 1));
      continue;
    }
    AppendCodePoint(out, cp);
    i += size_t(extra) + 1;
  }
  return out;
}

std::u16string DecodeUtf16(std::string_view s, bool bigEndian) {
  std::u16string out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    unsigned char a = s[i], b = s[i + 1];
    out += char16_t(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  if (!out.empty() && out.front() == u'\uFEFF') out.erase(0, 1);
  return out;
}

// Any iconv charset; a byte it cannot take becomes "?" and the conversion goes on after it.
std::u16string DecodeWithIconv(const char* name, std::string_view s) {
  std::u16string out;
  iconv_t cd = iconv_open("UTF-16LE", name);
  if (cd == iconv_t(-1)) return out;
  char16_t buffer[1024];
  char* in = const_cast<char*>(s.data());
  size_t inLeft = s.size();
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, (sizeof buffer - outLeft) / 2);
    if (rc == size_t(-1) && errno != E2BIG) {
      out += u'?';
      ++in, --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

// Windows-1252, whose five unassigned bytes Windows passes through as U+0081 and so on.
std::u16string DecodeCp1252(std::string_view s) {
  std::u16string out;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    unsigned char b = i < s.size() ? s[i] : 0;
    if (i == s.size() || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      out += DecodeWithIconv("CP1252", s.substr(start, i - start));
      if (i < s.size()) out += char16_t(b);
      start = i + 1;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> DecodeToGbk(std::string_view charset, std::string_view bytes) {
  const std::string name = common::AsciiLower(charset);
  for (const Charset& c : kCharsets) {
    if (name != c.name) continue;
    std::u16string text;
    switch (c.decoder) {
      case Decoder::Cp936: text = text::gbk::Decode(bytes); break;
      case Decoder::Utf8: text = DecodeUtf8(bytes); break;
      case Decoder::Utf16LE: text = DecodeUtf16(bytes, false); break;
      case Decoder::Utf16BE: text = DecodeUtf16(bytes, true); break;
      case Decoder::Iconv: text = DecodeWithIconv(c.iconvName, bytes); break;
      case Decoder::Cp1252: text = DecodeCp1252(bytes); break;
    }
    std::string out = text::gbk::Encode(text, false);
    return out.substr(0, out.find('\0'));
  }
  return std::nullopt;
}

}  // namespace text
