#pragma once
// The search loop behind RegexMatcher: one compiled pattern over a subject of byte text (GBK),
// match by match, with a bound on its time and on its memory.
//
//   - Memory: the subject is decoded to UTF-16 a piece at a time (a page of 256 MiB would take
//     512 MiB more as a whole). A piece that ends before the subject does is searched with
//     PCRE2's hard partial matching: an attempt that reaches the piece's end asks for the next
//     piece, which starts where that attempt did, with the characters a look-behind may need
//     before it. An attempt longer than a piece doubles the piece. So the matches are those of
//     one search over the whole subject.
//   - Time: what PCRE2 needs to finish ordinary searches, and a bound on any search:
//       - a JIT stack that grows as deep subjects need (the default 32 KiB ends `(?:a|b)*c` at
//         1,367 characters), and the interpreter behind it (its frames on a bounded heap);
//       - the start positions are tried in windows (PCRE2's offset limit): a pattern that costs
//         the length of the subject at every position would otherwise cost its square in one
//         call. A window that is slow shrinks, down to one position, and one that is quick grows;
//       - a position whose attempt runs into the match, depth or heap limit is given up alone
//         and the search goes on after it; after kMaxRunaways such positions, or after kBudget
//         from the first match asked for (counting the subject's characters is not spent from
//         it), the rest of the subject is left unsearched, and GaveUp says so.
// Offsets are in characters of the subject: code page 936 decodes every character to one
// UTF-16 unit.
#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 16
#endif
#include <pcre2.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

class RegexSearch {
 public:
  static constexpr int kMaxRunaways = 16;
  static constexpr std::chrono::milliseconds kBudget{2000};
  static constexpr size_t kPieceCharacters = size_t(4) << 20;

  struct Span {
    size_t begin, end;
    bool set() const { return begin != PCRE2_UNSET; }
  };
  struct Found {
    Span whole;
    std::vector<Span> groups;
  };

  // `subject` must outlive the search and hold no NUL byte.
  RegexSearch(const pcre2_code* code, std::string_view subject, size_t pieceCharacters = kPieceCharacters);
  ~RegexSearch();
  RegexSearch(const RegexSearch&) = delete;
  RegexSearch& operator=(const RegexSearch&) = delete;

  size_t characters() const { return characters_; }

  // The next match that begins at or after character `start`, or nothing (also when the search
  // is out of budget).
  std::optional<Found> Next(size_t start);
  // Whether the search stopped short of the subject's end (its time or its runaways spent).
  bool GaveUp() const { return gaveUp_; }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t kMaxWindow = size_t(1) << 20;

  size_t PieceEnd() const { return base_ + units_.size(); }
  bool PieceIsLast() const { return PieceEnd() == characters_; }
  bool Covers(size_t start) const;
  void Load(size_t start);
  size_t SkipCharacters(size_t byte, size_t count) const;
  int Run(size_t start, size_t last);
  Found TakeFound() const;

  const pcre2_code* code_;
  const std::string_view subject_;
  size_t characters_ = 0;
  size_t behind_ = 1;  // characters kept before a start, for look-behinds, "\b" and line starts
  size_t pieceLength_;
  std::u16string units_;  // the piece: characters [base_, PieceEnd()) of the subject
  size_t base_ = 0;
  size_t baseByte_ = 0;  // where character base_ begins in the subject
  uint32_t captures_ = 0;
  pcre2_match_data* data_;
  pcre2_match_context* context_;
  pcre2_jit_stack* stack_;
  Clock::time_point deadline_{};  // set by the first Next
  bool gaveUp_ = false;
  size_t window_ = 256;
  int runaways_ = 0;
};

}  // namespace text
