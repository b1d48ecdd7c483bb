#pragma once
// The one pattern matcher, with the syntax and results of the VBScript regular expressions
// the portal scraping was written against, on PCRE2's 16-bit library: patterns and subjects
// are byte text (GBK) outside and UTF-16 inside, like the wide strings of that object.
//
//   - "." matches anything but "\n" ("\r" included); "*?" and "+?" are lazy
//   - multi-line "^" and "$" hold after / before "\n" or "\r", each on its own
//   - without multi-line "$" is the end of the subject only
//   - "\w", "\d", "\s" are ASCII classes; case folding is Unicode's
//   - a global search steps one unit past an empty match, and reports a match at the end
//   - an unset group referenced by "\1" matches empty
//   - a start position whose attempt backtracks without end stops at PCRE2's match limit and
//     is skipped; the search goes on after it (up to 16 such positions per search)
//   - a search takes at most about 2 s: one that would take longer (a pattern that costs the
//     subject's length at every position of a long subject) keeps the matches found by then
//   - a long subject is decoded and searched a piece at a time (regexsearch.h)
// Match and group indexes are 1-based.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace text {

class RegexMatcher {
 public:
  RegexMatcher();
  // `pieceCharacters`: the length of the pieces a long subject is searched in (the tests make
  // them tiny, to show that pieces change no match).
  explicit RegexMatcher(size_t pieceCharacters);
  ~RegexMatcher();
  // A copy shares the compiled pattern, the subject and the matches.
  RegexMatcher(const RegexMatcher&);
  RegexMatcher& operator=(const RegexMatcher&);

  // Compiles `pattern` and runs it over `subject`, replacing all that the last call left (the
  // same pattern and options as the last call reuse its compiled form: a page read a line at a
  // time compiles once). True when the search ran, also with zero matches; false for an
  // invalid pattern.
  // With quoteEscapes, every "#引号" of the pattern stands for a double quote.
  bool Match(std::string_view pattern, std::string_view subject, bool caseSensitive = false, bool multiLine = true,
             bool global = true, bool quoteEscapes = false);

  // The pattern as compiled (after "#引号" replacement); empty before a successful Match.
  std::string GetPattern() const;

  // The last subject with the last matches replaced: "$1".."$99", "$&", "$`", "$'", "$$".
  std::string ReplaceMatches(std::string_view replacement) const;

  int MatchCount() const;
  // Whether the last search stopped short of its subject's end (its time spent): there may be
  // matches it did not find.
  bool Incomplete() const;

  // The text of match `index`. When `position` is given, it receives the 0-based byte
  // offset of that text in the subject, searched from the match's character index, or -2.
  std::string MatchText(int index, long* position = nullptr) const;

  // The text of group `groupIndex` of match `matchIndex` (empty when the group did not take
  // part). `position` as for MatchText, searched from the index of the whole match.
  std::string SubMatchText(int matchIndex, int groupIndex, long* position = nullptr) const;

  // The number of groups of the first match; 0 when there is none.
  int SubMatchCount() const;

 private:
  struct Expression;
  struct Matches;
  static std::shared_ptr<const Expression> Compile(std::string pattern, bool multiLine, uint32_t options);
  class Search;
  std::shared_ptr<const Expression> expression_;
  std::shared_ptr<const Matches> matches_;
  size_t pieceCharacters_;

  long PositionOf(const std::string& found, size_t matchBegin) const;
};

}  // namespace text
