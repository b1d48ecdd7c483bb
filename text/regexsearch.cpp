#include "regexsearch.h"

#include <algorithm>

#include "gbk.h"

namespace text {

namespace {

bool IsLimit(int rc) {
  return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
         rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_NOMEMORY;
}

}  // namespace

RegexSearch::RegexSearch(const pcre2_code* code, std::string_view subject, size_t pieceCharacters)
    : code_(code),
      subject_(subject),
      pieceLength_(std::max<size_t>(pieceCharacters, 1)),
      data_(pcre2_match_data_create_from_pattern(code, nullptr)),
      context_(pcre2_match_context_create(nullptr)),
      stack_(pcre2_jit_stack_create(size_t(32) << 10, size_t(16) << 20, nullptr)) {
  for (size_t byte = 0; byte < subject_.size(); byte += gbk::CharLength(subject_, byte)) ++characters_;
  uint32_t lookbehind = 0;
  pcre2_pattern_info(code, PCRE2_INFO_MAXLOOKBEHIND, &lookbehind);
  behind_ = std::max<size_t>(lookbehind, 1);
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures_);
  if (context_ && stack_) pcre2_jit_stack_assign(context_, nullptr, stack_);
  if (context_) {
    // A tenth of PCRE2's default match limit: an attempt of a million steps at one position
    // is a runaway for any pattern a page is read with, and 16 of them cost some 50 ms.
    pcre2_set_match_limit(context_, 1000000);
    pcre2_set_heap_limit(context_, 64 * 1024);  // KiB, for the interpreter
    pcre2_set_depth_limit(context_, 1000000);   // the interpreter's backtracking depth
  }
}

RegexSearch::~RegexSearch() {
  pcre2_jit_stack_free(stack_);
  pcre2_match_context_free(context_);
  pcre2_match_data_free(data_);
}

std::optional<RegexSearch::Found> RegexSearch::Next(size_t start) {
  if (deadline_ == Clock::time_point{}) deadline_ = Clock::now() + kBudget;
  while (start <= characters_ && context_ && data_) {
    if (runaways_ >= kMaxRunaways || Clock::now() >= deadline_) {
      gaveUp_ = true;
      return std::nullopt;
    }
    if (!Covers(start)) Load(start);
    // A start at the end of a piece that is not the last is tried in the next piece.
    const size_t lastAllowed = PieceIsLast() ? PieceEnd() : PieceEnd() - 1;
    const size_t last = std::min(lastAllowed, start + window_ - 1);  // the last start tried
    const auto began = Clock::now();
    const int rc = Run(start, last);
    if (rc >= 0) return TakeFound();
    if (rc == PCRE2_ERROR_PARTIAL) {
      // An attempt ran into the piece's end: the piece moves on to where it began. When that
      // would not move it, the attempt is longer than a piece.
      start = std::max(start, base_ + pcre2_get_ovector_pointer(data_)[0]);
      if ((start > behind_ ? start - behind_ : 0) <= base_) pieceLength_ *= 2;
      Load(start);
      continue;
    }
    if (IsLimit(rc) && window_ > 1) {
      window_ = 1;  // find the position that runs away
      continue;
    }
    if (IsLimit(rc)) {
      ++runaways_;
      ++start;
      continue;
    }
    if (last >= characters_) return std::nullopt;
    start = last + 1;
    const auto took = Clock::now() - began;
    if (took < std::chrono::milliseconds(5)) window_ = std::min(window_ * 2, kMaxWindow);
    if (took > std::chrono::milliseconds(20)) window_ = std::max<size_t>(window_ / 4, 1);
  }
  return std::nullopt;
}

bool RegexSearch::Covers(size_t start) const {
  if (start < base_ || (base_ > 0 && start - base_ < behind_)) return false;
  return PieceIsLast() ? start <= PieceEnd() : start < PieceEnd();
}

// The piece from `behind_` characters before `start` on, `pieceLength_` characters after it.
// Starts only move on, so the walk to the piece's first byte goes on from the last piece's.
void RegexSearch::Load(size_t start) {
  const size_t base = start > behind_ ? start - behind_ : 0;
  if (base < base_) base_ = 0, baseByte_ = 0;
  baseByte_ = SkipCharacters(baseByte_, base - base_);
  base_ = base;
  const size_t endByte = SkipCharacters(baseByte_, start - base + pieceLength_);
  units_.clear();
  units_.shrink_to_fit();  // the last piece goes before the next one is made
  units_ = gbk::Decode(subject_.substr(baseByte_, endByte - baseByte_));
}

size_t RegexSearch::SkipCharacters(size_t byte, size_t count) const {
  for (; count > 0 && byte < subject_.size(); --count) byte += gbk::CharLength(subject_, byte);
  return byte;
}

// A match that starts at a position from `start` to `last`.
int RegexSearch::Run(size_t start, size_t last) {
  pcre2_set_offset_limit(context_, last - base_);
  // A piece after the first is never searched from its first character (the look-behind's
  // characters come first), and "^" does not match after a start offset that is not 0.
  const uint32_t options = PieceIsLast() ? 0 : PCRE2_PARTIAL_HARD;
  const auto units = reinterpret_cast<PCRE2_SPTR>(units_.data());
  int rc = pcre2_match(code_, units, units_.size(), start - base_, options, data_, context_);
  // Deeper than the JIT stack: the interpreter keeps its frames on the heap. One position
  // at a time, as the interpreter is the slower by far.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT && last == start)
    rc = pcre2_match(code_, units, units_.size(), start - base_, options | PCRE2_NO_JIT, data_, context_);
  return rc;
}

RegexSearch::Found RegexSearch::TakeFound() const {
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
  auto at = [this](PCRE2_SIZE offset) { return offset == PCRE2_UNSET ? offset : base_ + offset; };
  Found found{{at(ov[0]), at(std::max(ov[0], ov[1]))}, {}};
  for (uint32_t g = 1; g <= captures_; ++g) found.groups.push_back({at(ov[size_t(2) * g]), at(ov[size_t(2) * g + 1])});
  return found;
}

}  // namespace text
