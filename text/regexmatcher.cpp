#include "regexmatcher.h"

#include <algorithm>

#include "bytetext.h"
#include "gbk.h"
#include "regexsearch.h"

namespace text {

namespace {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};

PCRE2_SPTR Units(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

// PCRE2 knows only one kind of line end for "^" and "$"; VBScript takes "\n" and "\r"
// each on its own, so both anchors are spelled out as look-arounds.
std::u16string AnchorsForEveryLineEnd(std::u16string_view pattern) {
  std::u16string out;
  bool inClass = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      out += c;
      out += pattern[++i];
    } else if (inClass) {
      inClass = c != u']';
      out += c;
    } else if (c == u'[') {
      inClass = true;
      out += c;
      if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
    } else if (c == u'^') {
      out += u"(?<![^\\n\\r])";
    } else if (c == u'$') {
      out += u"(?![^\\n\\r])";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

struct RegexMatcher::Expression {
  std::string pattern;  // GBK, as written to the object
  uint32_t options = 0;
  bool multiLine = true;
  std::unique_ptr<pcre2_code, CodeDeleter> code;
};

// The matches of one search over its subject. The spans are byte offsets into the subject (GBK),
// not offsets into its UTF-16 form, which is dropped after the search: a page of 256 MiB
// would keep 512 MiB more. A span begins and ends where the decoder's characters do, so its
// bytes decode to the same text as the UTF-16 span they came from.
struct RegexMatcher::Matches {
  using Span = RegexSearch::Span;
  struct Found {
    Span whole;
    size_t characterIndex = 0;  // where the match begins, in characters
    std::vector<Span> groups;
  };
  std::string subject;  // up to its first zero byte
  std::vector<Found> found;
  int groupCount = 0;
  bool incomplete = false;  // the search stopped short of the subject's end

  // Turns the spans' character offsets (UTF-16 units: code page 936 decodes to one unit a
  // character) into byte offsets of `bytes`, in one walk over it.
  void ToByteOffsets(std::string_view bytes) {
    std::vector<size_t*> offsets;
    for (Found& f : found) {
      offsets.push_back(&f.whole.begin);
      offsets.push_back(&f.whole.end);
      for (Span& g : f.groups)
        if (g.set()) offsets.push_back(&g.begin), offsets.push_back(&g.end);
    }
    std::sort(offsets.begin(), offsets.end(), [](const size_t* a, const size_t* b) { return *a < *b; });
    size_t byte = 0, character = 0;
    for (size_t* offset : offsets) {
      for (; character < *offset && byte < bytes.size(); ++character) byte += text::gbk::CharLength(bytes, byte);
      *offset = byte;
    }
  }

  std::u16string Text(Span s) const { return s.set() ? Text(s.begin, s.end) : std::u16string(); }
  std::u16string Text(size_t begin, size_t end) const {
    return text::gbk::Decode(std::string_view(subject).substr(begin, end - begin));
  }
};

RegexMatcher::RegexMatcher() : pieceCharacters_(RegexSearch::kPieceCharacters) {}
RegexMatcher::RegexMatcher(size_t pieceCharacters) : pieceCharacters_(pieceCharacters) {}
RegexMatcher::~RegexMatcher() = default;
RegexMatcher::RegexMatcher(const RegexMatcher&) = default;
RegexMatcher& RegexMatcher::operator=(const RegexMatcher&) = default;

// The pattern compiled with its options, or nothing for an invalid one.
std::shared_ptr<const RegexMatcher::Expression> RegexMatcher::Compile(std::string pattern, bool multiLine,
                                                                      uint32_t options) {
  auto expression = std::make_shared<Expression>();
  expression->pattern = std::move(pattern);
  expression->options = options;
  expression->multiLine = multiLine;
  std::u16string source = text::gbk::Decode(expression->pattern);
  if (multiLine) source = AnchorsForEveryLineEnd(source);
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_LF);
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  expression->code.reset(pcre2_compile(Units(source), source.size(), options, &error, &errorOffset, context));
  pcre2_compile_context_free(context);
  if (!expression->code) return nullptr;
  // Interpreted when JIT is unavailable. Partial matching is for the pieces of a long subject.
  pcre2_jit_compile(expression->code.get(), PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
  return expression;
}

bool RegexMatcher::Match(std::string_view pattern, std::string_view subject, bool caseSensitive, bool multiLine,
                         bool global, bool quoteEscapes) {
  std::string written = quoteEscapes ? text::Replace(pattern, text::kQuoteToken, "\"") : std::string(pattern);
  const uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF |
                           PCRE2_USE_OFFSET_LIMIT | (caseSensitive ? 0 : PCRE2_CASELESS) |
                           (multiLine ? 0 : PCRE2_DOLLAR_ENDONLY);
  std::shared_ptr<const Expression> expression = expression_;
  if (!expression || expression->pattern != written || expression->options != options ||
      expression->multiLine != multiLine)
    expression = Compile(std::move(written), multiLine, options);
  expression_.reset();
  matches_.reset();
  if (!expression) return false;
  const std::string_view bytes = subject.substr(0, subject.find('\0'));
  auto matches = std::make_shared<Matches>();
  uint32_t captures = 0;
  pcre2_pattern_info(expression->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  matches->groupCount = int(captures);
  {
    RegexSearch search(expression->code.get(), bytes, pieceCharacters_);
    for (size_t start = 0; start <= search.characters();) {
      std::optional<RegexSearch::Found> found = search.Next(start);
      if (!found) break;
      matches->found.push_back({found->whole, found->whole.begin, std::move(found->groups)});
      if (!global) break;
      // After an empty match the next search starts one character later.
      start = found->whole.end > found->whole.begin ? found->whole.end : found->whole.end + 1;
    }
    matches->incomplete = search.GaveUp();
  }
  matches->ToByteOffsets(bytes);
  matches->subject = std::string(bytes);
  expression_ = std::move(expression);
  matches_ = std::move(matches);
  return true;
}

bool RegexMatcher::Incomplete() const { return matches_ && matches_->incomplete; }

std::string RegexMatcher::GetPattern() const { return expression_ ? expression_->pattern : std::string(); }

int RegexMatcher::MatchCount() const { return matches_ ? int(matches_->found.size()) : 0; }

int RegexMatcher::SubMatchCount() const { return matches_ && !matches_->found.empty() ? matches_->groupCount : 0; }

long RegexMatcher::PositionOf(const std::string& found, size_t matchBegin) const {
  // The character index of the match serves as the byte offset to search from: never past
  // the match, since a character has at least one byte. The search starts on the character
  // border at or after it, so that it never reads a trail byte as a lead byte.
  const std::string& subject = matches_->subject;
  size_t from = 0;
  while (from + 1 < matchBegin && from < subject.size()) from += text::CharLength(subject, from);
  long at = text::Find(subject, found, long(from) + 1);
  return at == -1 ? -2 : at - 1;
}

std::string RegexMatcher::MatchText(int index, long* position) const {
  if (index < 1 || index > MatchCount()) return {};
  const Matches::Found& m = matches_->found[size_t(index - 1)];
  std::string text = text::gbk::Encode(matches_->Text(m.whole), false);
  if (position) *position = PositionOf(text, m.characterIndex);
  return text;
}

std::string RegexMatcher::SubMatchText(int matchIndex, int groupIndex, long* position) const {
  if (matchIndex < 1 || matchIndex > MatchCount() || groupIndex < 1 || groupIndex > matches_->groupCount) return {};
  const Matches::Found& m = matches_->found[size_t(matchIndex - 1)];
  std::string text = text::gbk::Encode(matches_->Text(m.groups[size_t(groupIndex - 1)]), false);
  if (position) *position = PositionOf(text, m.characterIndex);
  return text;
}

std::string RegexMatcher::ReplaceMatches(std::string_view replacement) const {
  if (!matches_) return {};
  const size_t size = matches_->subject.size();
  const std::u16string with = text::gbk::Decode(replacement.substr(0, replacement.find('\0')));
  const int groups = matches_->groupCount;
  auto digit = [&](size_t i) {
    return i < with.size() && with[i] >= u'0' && with[i] <= u'9' ? int(with[i] - u'0') : -1;
  };
  std::u16string out;
  size_t copied = 0;
  for (const Matches::Found& m : matches_->found) {
    if (m.whole.begin < copied) continue;  // only a look-behind trick could start a match there
    out += matches_->Text(copied, m.whole.begin);
    for (size_t i = 0; i < with.size(); ++i) {
      char16_t next = i + 1 < with.size() ? with[i + 1] : 0;
      int d1 = digit(i + 1), d2 = digit(i + 2);
      // NOLINTNEXTLINE(bugprone-branch-clone): a plain character, and a "$" that starts no reference
      if (with[i] != u'$' || !next) {
        out += with[i];
      } else if (next == u'$') {
        out += u'$', ++i;
      } else if (next == u'&') {
        out += matches_->Text(m.whole), ++i;
      } else if (next == u'`') {
        out += matches_->Text(0, m.whole.begin), ++i;
      } else if (next == u'\'') {
        out += matches_->Text(m.whole.end, size), ++i;
      } else if (d1 >= 0 && d2 >= 0 && d1 * 10 + d2 >= 1 && d1 * 10 + d2 <= groups) {
        out += matches_->Text(m.groups[size_t(d1 * 10 + d2 - 1)]), i += 2;
      } else if (d1 >= 1 && d1 <= groups) {
        out += matches_->Text(m.groups[size_t(d1 - 1)]), ++i;
      } else {
        out += with[i];
      }
    }
    copied = m.whole.end;
  }
  out += matches_->Text(copied, size);
  return text::gbk::Encode(out, false);
}

}  // namespace text
