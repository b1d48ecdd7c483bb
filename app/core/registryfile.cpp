#include "registryfile.h"

#include "ascii.h"
#include "files.h"
#include "pathtext.h"
#include "utf8.h"

#include "platform/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace core {

namespace registry {
namespace {

enum class Type { Text, ExpandText, NotText };

struct Value {
  std::string name;
  Type type = Type::NotText;
  std::string data;
};

// Registry key and value names compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b) { return common::EqualIgnoringAsciiCase(a, b); }

void SplitPath(std::string_view path, std::string_view& key, std::string_view& name) {
  size_t slash = path.rfind('\\');
  key = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  name = slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Wine writes characters it does not print as \x followed by up to four hex digits of a
// UTF-16 code unit.
unsigned ReadHexUnit(std::string_view s, size_t& pos) {
  unsigned unit = 0;
  for (int n = 0; n < 4 && pos < s.size() && HexDigit(s[pos]) >= 0; ++n, ++pos)
    unit = unit * 16 + unsigned(HexDigit(s[pos]));
  return unit;
}

// Reads the escaped text that follows an opening character up to the unescaped `close`;
// `pos` ends after `close`. Nothing when the text is not closed.
std::optional<std::string> ReadEscaped(std::string_view s, size_t& pos, char close) {
  std::string out;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == close) return out;
    if (c != '\\' || pos == s.size()) {
      out += c;
      continue;
    }
    char e = s[pos++];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x': {
        unsigned unit = ReadHexUnit(s, pos);
        if (unit >= 0xD800 && unit < 0xDC00 && s.substr(pos, 2) == "\\x") {
          size_t next = pos + 2;
          unsigned low = ReadHexUnit(s, next);
          if (low >= 0xDC00 && low < 0xE000) {
            out += common::Utf16ToUtf8(std::u16string{char16_t(unit), char16_t(low)});
            pos = next;
            break;
          }
        }
        out += common::Utf16ToUtf8(std::u16string(1, char16_t(unit)));  // a lone surrogate becomes U+FFFD
        break;
      }
      default: out += e;
    }
  }
  return std::nullopt;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%04x", unsigned(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out;
}

// A line without its end-of-line characters and leading blanks; lines that are not clean
// UTF-8 text are never parsed, only kept.
std::optional<std::string_view> ParsableLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find('\0') != std::string_view::npos || !common::IsUtf8(line)) return std::nullopt;
  size_t start = line.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

// "[key]" with an optional time stamp after it.
std::optional<std::string> ParseSection(std::string_view line) {
  auto text = ParsableLine(line);
  if (!text || text->empty() || text->front() != '[') return std::nullopt;
  size_t pos = 1;
  return ReadEscaped(*text, pos, ']');
}

std::optional<Value> ParseValue(std::string_view line) {
  auto text = ParsableLine(line);
  if (!text || text->empty() || text->front() != '"') return std::nullopt;
  size_t pos = 1;
  auto name = ReadEscaped(*text, pos, '"');
  if (!name || pos >= text->size() || (*text)[pos] != '=') return std::nullopt;
  std::string_view rest = text->substr(pos + 1);
  Value value{*name, Type::NotText, {}};
  size_t dataPos = 1;
  if (rest.starts_with('"')) {
    value.type = Type::Text;
  } else if (rest.starts_with("str(2):\"")) {
    value.type = Type::ExpandText;
    dataPos = 8;
  } else {
    return value;
  }
  auto data = ReadEscaped(rest, dataPos, '"');
  if (!data) return std::nullopt;
  // A REG_SZ read as text ends at its first NUL.
  value.data = data->substr(0, data->find('\0'));
  return value;
}

std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A settings file is a few kilobytes: a larger one is not read, and then never replaced.
std::optional<std::string> ReadFile(const std::string& file) { return common::ReadFileUpTo(file, 16 << 20); }

// A crash or a full disk leaves either the old file or the new one, never a damaged one.
bool ReplaceFileAtomically(const std::string& file, std::string_view content) {
  std::error_code ec;
  const std::filesystem::path folder = common::PathOf(file).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  return common::WriteFileAtomically(file, content);
}

}  // namespace

std::string ExpandEnvironment(std::string_view text, const std::function<const char*(const char*)>& getEnv) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : getEnv(name.c_str());
    if (value) {
      out += value;
      pos = close + 1;
    } else {
      // The closing "%" may open the next reference, as on Windows.
      out.append(text.substr(open, close - open));
      pos = close;
    }
  }
  out.append(text.substr(pos));
  return out;
}

std::string FindText(std::string_view content, std::string_view path,
                     const std::function<const char*(const char*)>& getEnv) {
  std::string_view key, name;
  SplitPath(path, key, name);
  std::optional<Value> found;
  bool inKey = false;
  for (std::string_view line : SplitLines(content)) {
    if (auto section = ParseSection(line)) {
      inKey = SameName(*section, key);
    } else if (auto value = ParseValue(line); inKey && value && SameName(value->name, name)) {
      found = std::move(value);  // the last of duplicate values counts, as for a later import
    }
  }
  if (!found || found->type == Type::NotText) return {};
  if (found->type == Type::Text) return found->data;
  return ExpandEnvironment(
      found->data, getEnv ? getEnv : [](const char* n) { return std::getenv(n); });
}

static bool HasValue(std::string_view content, std::string_view key, std::string_view name) {
  bool inKey = false;
  for (std::string_view line : SplitLines(content)) {
    if (auto section = ParseSection(line))
      inKey = SameName(*section, key);
    else if (auto value = ParseValue(line); inKey && value && SameName(value->name, name))
      return true;
  }
  return false;
}

namespace {

// A path and text this file can hold so that they read back as written: UTF-8, no NUL or line
// break in the path, no "]" in the key (it would end the key's line early), no NUL in the text.
// Anything else, written, would file the value under another key.
bool Writable(std::string_view path, std::string_view text) {
  const size_t slash = path.rfind('\\');
  const std::string_view key = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  return common::IsUtf8(path) && common::IsUtf8(text) &&
         path.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
         key.find(']') == std::string_view::npos && text.find('\0') == std::string_view::npos;
}

}  // namespace

std::string SetText(std::string_view content, std::string_view path, std::string_view text) {
  if (!Writable(path, text)) return std::string(content);
  std::string_view key, name;
  SplitPath(path, key, name);
  const std::string newLine = '"' + Escape(name) + "\"=\"" + Escape(text) + '"';
  // An existing value is replaced where it stands (duplicates of it go); a new one goes
  // first into its key.
  const bool replace = HasValue(content, key, name);
  std::string out;
  bool inKey = false, written = false;
  for (std::string_view line : SplitLines(content)) {
    auto section = ParseSection(line);
    if (section) {
      inKey = SameName(*section, key);
    } else if (auto value = ParseValue(line); inKey && value && SameName(value->name, name)) {
      if (!written) out += newLine + '\n';
      written = true;
      continue;
    }
    out.append(line);
    out += '\n';
    if (section && inKey && !replace && !written) {
      out += newLine + '\n';
      written = true;
    }
  }
  if (written) return out;
  if (out.empty()) out = "WINE REGISTRY Version 2\n";
  return out + "\n[" + Escape(key) + "]\n" + newLine + '\n';
}

std::string ReadText(const std::string& file, std::string_view path) {
  auto content = ReadFile(file);
  return content ? FindText(*content, path) : std::string();
}

bool WriteText(const std::string& file, std::string_view path, std::string_view text) {
  if (!Writable(path, text)) return false;
  std::string content;
  if (platform::FactsOfPath(file)) {
    auto old = ReadFile(file);
    if (!old) return false;  // never replace a file that could not be read
    content = std::move(*old);
  }
  return ReplaceFileAtomically(file, SetText(content, path, text));
}

}  // namespace registry

}  // namespace core
