#include "texthelpers.h"

#include <chrono>
#include <thread>
#include <unordered_set>

#include "bytetext.h"
#include "regexmatcher.h"

using bytetext::Find;

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, long start,
                        bool caseSensitive) {
  const std::string l = bytetext::Replace(left, bytetext::kQuoteToken, "\"");
  const std::string r = bytetext::Replace(right, bytetext::kQuoteToken, "\"");
  long p = Find(text, l, start, !caseSensitive);
  if (p != -1) p += long(l.size());
  long q = Find(text, r, p == -1 ? 1 : p, !caseSensitive);
  if (p == -1 || q == -1) return {};
  return std::string(text.substr(size_t(p - 1), size_t(q - p)));
}

std::string CollectParagraphs(std::string_view html, const EventPump& pump) {
  RegexMatcher matcher;
  std::string result;
  matcher.Match("<p>(.*?)</p>", html, false, true, true);
  for (int i = 1; i <= matcher.MatchCount(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result += matcher.SubMatchText(i, 1);
    result += "\r\n";
    if (pump) pump();
  }
  return result;
}

std::string CookieName(std::string_view item) {
  long eq = Find(item, "=");
  return bytetext::Trim(eq == -1 ? item : item.substr(0, size_t(eq - 1)));
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
  for (std::string& item : bytetext::Split(text, separator)) {
    if (!kept.insert(item).second) continue;
    result += item;
    result += separator;
  }
  return bytetext::Left(result, long(result.size()) - long(separator.size()));
}

std::string MergeCookies(std::string& cookies, std::string& returned) {
  cookies = bytetext::RemoveBlanks(cookies);
  returned = bytetext::RemoveBlanks(returned);
  std::vector<std::string> fresh = bytetext::Split(returned, ";");
  std::unordered_set<std::string> freshNames;
  for (const std::string& item : fresh) freshNames.insert(CookieName(item));
  // An old item joins the list when no item already in it has its name, so of two old items
  // with one name only the first can survive.
  for (std::string& old : bytetext::Split(cookies, ";"))
    if (freshNames.insert(CookieName(old)).second) fresh.push_back(std::move(old));
  std::string merged;
  for (const std::string& item : fresh)
    if (bytetext::Right(item, 8) != "=deleted") merged += item + "; ";
  merged = bytetext::Left(merged, long(merged.size()) - 2);
  cookies = RemoveDuplicates(merged, "; ");
  return cookies;
}
