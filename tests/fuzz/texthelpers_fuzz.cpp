// The text helpers on network text: markers, paragraphs (matched a line or piece at a time,
// which must equal one match over the whole page) and cookies.
#include "fuzz.h"
#include "regexmatcher.h"
#include "texthelpers.h"

using namespace text;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string left = in.ConsumeRandomLengthString(8), right = in.ConsumeRandomLengthString(8);
  std::string cookies = in.ConsumeRandomLengthString(64), returned = in.ConsumeRandomLengthString(64);
  const std::string text = in.ConsumeRemainingBytesAsString();

  const std::string between = TextBetween(text, left, right);
  FUZZ_CHECK(between.size() <= text.size(), "a cut longer than its text");

  RegexMatcher whole;
  whole.Match("<p>(.*?)</p>", text, false, true, true);
  std::string expected;
  for (int i = 1; i <= whole.MatchCount(); ++i) expected += whole.SubMatchText(i, 1) + "\r\n";
  FUZZ_CHECK(CollectParagraphs(text) == expected, "paragraphs differ from one match over the page");

  const std::string merged = MergeCookies(cookies, returned);
  FUZZ_CHECK(merged == cookies, "the merge is not stored in the cookies argument");
  for (size_t at = 0; (at = merged.find("=deleted", at)) != std::string::npos; at += 8) {
    const size_t after = at + 8;
    FUZZ_CHECK(after < merged.size() && merged[after] != ';', "a deleted cookie kept");
  }
  return 0;
}
