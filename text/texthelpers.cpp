#include "texthelpers.h"

#include <chrono>
#include <unordered_set>

#include "bytetext.h"
#include "eventpump.h"
#include "gbk.h"
#include "regexmatcher.h"

namespace text {

using text::Find;

std::string_view TextBetweenView(std::string_view text, std::string_view left, std::string_view right, long start,
                                 bool caseSensitive) {
  const std::string l = text::Replace(left, text::kQuoteToken, "\"");
  const std::string r = text::Replace(right, text::kQuoteToken, "\"");
  long p = Find(text, l, start, !caseSensitive);
  if (p != -1) p += long(l.size());
  long q = Find(text, r, p == -1 ? 1 : p, !caseSensitive);
  if (p == -1 || q == -1) return {};
  return text.substr(size_t(p - 1), size_t(q - p));
}

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, long start,
                        bool caseSensitive) {
  return std::string(TextBetweenView(text, left, right, start, caseSensitive));
}

namespace {

// Where "</p>" (either letter case) begins at or after `from`, or npos. The scan steps as the
// decoder reads characters, so that it finds the tag exactly where the matcher sees it.
size_t FindCloseTag(std::string_view text, size_t from) {
  for (size_t i = from; i + 4 <= text.size(); i += text::gbk::CharLength(text, i))
    if (text[i] == '<' && text[i + 1] == '/' && (text[i + 2] | 0x20) == 'p' && text[i + 3] == '>') return i;
  return std::string_view::npos;
}

// The end of the piece of `line` that starts at `from`: just after the first "</p>" that lies
// kPiece bytes or more past `from`, else just after the line's last "</p>"; npos when no
// "</p>" follows. Cutting there never splits a paragraph, since a paragraph ends at the
// first "</p>" after its "<p>".
size_t PieceEnd(std::string_view line, size_t from) {
  constexpr size_t kPiece = size_t(64) << 10;  // as kBlock below
  size_t end = std::string_view::npos;
  for (size_t at = from; (at = FindCloseTag(line, at)) != std::string_view::npos; at += 4) {
    end = at + 4;
    if (end - from >= kPiece) break;
  }
  return end;
}

}  // namespace

namespace {

constexpr size_t kBlock = size_t(64) << 10;

// The end of the line that starts at `start` (its "\n", or the text's end).
size_t LineEnd(std::string_view html, size_t start) {
  while (start < html.size() && html[start] != '\n') start += text::gbk::CharLength(html, start);
  return start;
}

// The end of a block of whole short lines from `start`: 64 KiB of them or more, or up to a
// line that is long by itself.
size_t BlockEnd(std::string_view html, size_t start) {
  size_t end = LineEnd(html, start);
  while (end < html.size() && end - start < kBlock) {
    const size_t next = LineEnd(html, end + 1);
    if (next - (end + 1) >= kBlock) break;
    end = next;
  }
  return end;
}

}  // namespace

std::string CollectParagraphs(std::string_view html, const common::EventPump& pump) {
  // A paragraph never spans a line ("." stops at "\n"), so the page is matched a block of whole
  // lines, or a piece of a long line, at a time: the matcher's memory stays near the piece's
  // size, its compiled pattern serves every piece, and text after a long line's last "</p>"
  // (where no paragraph can end) is never searched at all. Events run every few milliseconds
  // rather than after a pause per paragraph, so a page of a million empty paragraphs costs no
  // more than its matching.
  using Clock = std::chrono::steady_clock;
  html = html.substr(0, html.find('\0'));
  RegexMatcher matcher;
  std::string result;
  auto lastPump = Clock::time_point{};
  auto collect = [&](std::string_view piece) {
    matcher.Match("<p>(.*?)</p>", piece, false, true, true);
    for (int i = 1; i <= matcher.MatchCount(); ++i) {
      result += matcher.SubMatchText(i, 1);
      result += "\r\n";
      if (pump && Clock::now() - lastPump >= std::chrono::milliseconds(10)) {
        if (!pump()) return false;
        lastPump = Clock::now();
      }
    }
    return true;
  };
  for (size_t start = 0; start < html.size();) {
    if (const size_t lineEnd = LineEnd(html, start); lineEnd - start >= kBlock) {
      const std::string_view line = html.substr(start, lineEnd - start);
      for (size_t from = 0, end; (end = PieceEnd(line, from)) != std::string_view::npos; from = end)
        if (!collect(line.substr(from, end - from))) return result;
      start = lineEnd + 1;
      continue;
    }
    const size_t end = BlockEnd(html, start);
    if (!collect(html.substr(start, end - start))) return result;
    start = end + 1;
  }
  return result;
}

std::string CookieName(std::string_view item) {
  long eq = Find(item, "=");
  return text::Trim(eq == -1 ? item : item.substr(0, size_t(eq - 1)));
}

bool HasCookieName(const std::vector<std::string>& items, std::string_view name) {
  for (const std::string& item : items)
    if (CookieName(item) == name) return true;
  return false;
}

long IndexOfText(const std::vector<std::string>& list, std::string_view text) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == text) return long(i + 1);
  return -1;
}

std::string RemoveDuplicates(std::string_view text, std::string_view separator) {
  // A set stands in for the linear IndexOfText scan of the kept items: same result, but a
  // long cookie string stays linear.
  std::unordered_set<std::string> kept;
  std::string result;
  for (std::string& item : text::Split(text, separator)) {
    if (!kept.insert(item).second) continue;
    result += item;
    result += separator;
  }
  return text::Left(result, long(result.size()) - long(separator.size()));
}

std::string MergeCookies(std::string& cookies, std::string& returned) {
  cookies = text::RemoveBlanks(cookies);
  returned = text::RemoveBlanks(returned);
  std::vector<std::string> fresh = text::Split(returned, ";");
  std::unordered_set<std::string> freshNames;
  for (const std::string& item : fresh) freshNames.insert(CookieName(item));
  // An old item joins the list when no item already in it has its name, so of two old items
  // with one name only the first can survive.
  for (std::string& old : text::Split(cookies, ";"))
    if (freshNames.insert(CookieName(old)).second) fresh.push_back(std::move(old));
  std::string merged;
  for (const std::string& item : fresh)
    if (text::Right(item, 8) != "=deleted") merged += item + "; ";
  merged = text::Left(merged, long(merged.size()) - 2);
  cookies = RemoveDuplicates(merged, "; ");
  return cookies;
}

}  // namespace text
