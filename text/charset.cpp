#include "charset.h"

#include <algorithm>
#include <cstdint>

#include "ascii.h"
#include "bytetext.h"
#include "gbk.h"
#include "systemcharset.h"

namespace text {

namespace {

enum class Decoder { Cp936, Utf8, Utf16LE, Utf16BE, System, Cp1252 };

struct Charset {
  const char* name;
  Decoder decoder;
  system::SystemCharset system;  // for Decoder::System
};

// The names of Windows' MIME charset database that pages use, with the code page each one
// stands for. "gb2312" is full GBK there, not the narrower EUC-CN of other systems.
const Charset kCharsets[] = {
    {"gb2312", Decoder::Cp936, {}},
    {"gbk", Decoder::Cp936, {}},
    {"cp936", Decoder::Cp936, {}},
    {"x-gbk", Decoder::Cp936, {}},
    {"gb18030", Decoder::System, {"GB18030", 54936}},
    {"utf-8", Decoder::Utf8, {}},
    {"unicode", Decoder::Utf16LE, {}},
    {"utf-16", Decoder::Utf16LE, {}},
    {"unicodefffe", Decoder::Utf16BE, {}},
    {"big5", Decoder::System, {"BIG5", 950}},
    {"shift_jis", Decoder::System, {"CP932", 932}},
    {"euc-jp", Decoder::System, {"EUC-JP", 20932}},
    {"euc-kr", Decoder::System, {"CP949", 949}},
    {"ks_c_5601-1987", Decoder::System, {"CP949", 949}},
    {"us-ascii", Decoder::System, {"ASCII", 20127}},
    {"iso-8859-1", Decoder::Cp1252, {}},
    {"windows-1252", Decoder::Cp1252, {}},
    {"iso-8859-2", Decoder::System, {"ISO-8859-2", 28592}},
    {"iso-8859-5", Decoder::System, {"ISO-8859-5", 28595}},
    {"iso-8859-15", Decoder::System, {"ISO-8859-15", 28605}},
    {"windows-1250", Decoder::System, {"CP1250", 1250}},
    {"windows-1251", Decoder::System, {"CP1251", 1251}},
    {"koi8-r", Decoder::System, {"KOI8-R", 20866}},
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

// Windows-1252, whose five unassigned bytes Windows passes through as U+0081 and so on.
std::u16string DecodeCp1252(std::string_view s) {
  std::u16string out;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    unsigned char b = i < s.size() ? s[i] : 0;
    if (i == s.size() || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      out += system::Decode({"CP1252", 1252}, s.substr(start, i - start));
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
      case Decoder::System: text = system::Decode(c.system, bytes); break;
      case Decoder::Cp1252: text = DecodeCp1252(bytes); break;
    }
    std::string out = text::gbk::Encode(text, false);
    return out.substr(0, out.find('\0'));
  }
  return std::nullopt;
}

}  // namespace text
