#pragma once
// Helpers for texts that come from or go to the network: cutting between markers, paragraph
// texts of a page, and the cookie string kept across requests. All work on byte text (GBK)
// and keep no state.
#include <string>
#include <string_view>
#include <vector>

#include "eventpump.h"

namespace text {

// The text between the first `left` at or after `start` and the next `right` after it, or
// empty text when either is missing. "#引号" in a marker stands for a double quote. Letter
// case is ignored (ASCII letters) unless `caseSensitive`.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, long start = 1,
                        bool caseSensitive = false);
// The same as a view into `text`, for a part of a large page that is only read.
std::string_view TextBetweenView(std::string_view text, std::string_view left, std::string_view right, long start = 1,
                                 bool caseSensitive = false);

// The inner text of every single-line <p>...</p> (any letter case), each followed by CR LF.
// Pumps events while it works (at most every 10 ms, after a paragraph).
std::string CollectParagraphs(std::string_view html, const common::EventPump& pump = nullptr);

// Merges the cookies a response returned into the cookie string: the response's cookies
// first, then the old ones it did not set again, "=deleted" items dropped, duplicates
// removed. Both arguments are left without blanks; the result is also stored in `cookies`.
std::string MergeCookies(std::string& cookies, std::string& returned);

// The part before the first "=" (the whole item without one), trimmed.
std::string CookieName(std::string_view item);

// True when some item has exactly this name (letter case counts).
bool HasCookieName(const std::vector<std::string>& items, std::string_view name);

// The items of `text` between separators, each kept once, in the order first seen.
std::string RemoveDuplicates(std::string_view text, std::string_view separator);

// 1-based index of the first item equal to `text`, or -1.
long IndexOfText(const std::vector<std::string>& list, std::string_view text);

}  // namespace text
