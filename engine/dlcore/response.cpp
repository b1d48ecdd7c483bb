#include "response.h"

#include "ascii.h"
#include "decimal.h"
#include "headerline.h"

#include <cstdlib>
#include <string>

namespace dlcore {

namespace {

// `prefix` is lower-case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && common::EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

void ParseHeaderLine(ResponseHead& head, std::string_view line) {
  if (const std::optional<long> status = common::StatusOfLine(line)) {
    head = ResponseHead();
    head.status = *status;
    return;
  }
  const std::optional<common::HeaderField> field = common::ReadHeaderField(line);
  if (!field) return;
  const std::string_view value = field->value;
  if (field->name == "content-range") {
    head.range = common::ParseContentRange(value);
  } else if (field->name == "content-length") {
    const std::int64_t length = common::DecimalNumber(value).value_or(-1);
    if (head.sawLength && length != head.contentLength) head.conflictingLength = true;
    head.sawLength = true;
    head.contentLength = length;
  } else if (field->name == "etag") {
    head.etag = value.starts_with("W/") ? std::string() : std::string(value);
  } else if (field->name == "last-modified") {
    head.lastModified = std::string(value);
  } else if (field->name == "content-type") {
    head.html = StartsWithNoCase(value, "text/html") || StartsWithNoCase(value, "application/xhtml");
  } else if (field->name == "accept-ranges") {
    head.acceptRanges = value.find("bytes") != std::string_view::npos;
  }
}

namespace {

bool SameFile(const ResponseHead& head, const KnownFile& known) {
  return head.contentLength == known.total && (!known.etag.empty() || !known.lastModified.empty()) &&
         head.etag == known.etag && (known.lastModified.empty() || head.lastModified == known.lastModified);
}

// The file changed on the server: the answer names its own version and length, and it is no
// page of the kind captive portals and proxies answer with.
bool NewVersion(const ResponseHead& head) {
  return head.contentLength > 0 && !head.html && (!head.etag.empty() || !head.lastModified.empty());
}

}  // namespace

bool PageInPlaceOfFile(const ResponseHead& head, const KnownFile& known) {
  return known.neverPage && head.html && head.status >= 200 && head.status < 300;
}

Verdict Judge(const ResponseHead& head, const RangeRequest& request, const KnownFile& known) {
  if (PageInPlaceOfFile(head, known)) return Verdict::Page;
  if (head.conflictingLength) return request.sole ? Verdict::Foreign : Verdict::Refuse;
  const bool validatorChanged =
      (!known.etag.empty() && head.etag != known.etag) ||
      (known.etag.empty() && !known.lastModified.empty() && head.lastModified != known.lastModified);
  switch (head.status) {
    case 206: {
      if (!head.range || head.range->first != request.begin || (request.end >= 0 && head.range->last >= request.end))
        return request.sole ? Verdict::Unsplittable : Verdict::Refuse;
      if (validatorChanged || (known.total >= 0 && head.range->total != known.total)) return Verdict::Changed;
      if (head.range->total < 0 && known.total < 0) return request.sole ? Verdict::Unsplittable : Verdict::Refuse;
      return Verdict::Accept;
    }
    case 200:
      if (!request.sole) return Verdict::Unsplittable;
      return known.total < 0 || SameFile(head, known) || NewVersion(head) ? Verdict::Restart : Verdict::Foreign;
    case 412:  // only If-Match and If-Unmodified-Since fail this way: the file changed
      return Verdict::Changed;
    case 416:  // a server's glitch as often as a shorter file: a resume asks again before it throws anything away
      if (!request.sole) return Verdict::Refuse;
      return request.begin > 0 && known.total > 0 ? Verdict::Recheck : Verdict::Changed;
    case 429:
    case 503: return request.sole ? Verdict::Retry : Verdict::Refuse;
    default: return request.sole ? Verdict::Fail : Verdict::Refuse;
  }
}

Verdict JudgeRecheck(const ResponseHead& head, const KnownFile& known) {
  if (PageInPlaceOfFile(head, known)) return Verdict::Page;
  if (head.conflictingLength) return Verdict::Foreign;
  switch (head.status) {
    case 200: return SameFile(head, known) ? Verdict::Retry : NewVersion(head) ? Verdict::Restart : Verdict::Foreign;
    case 429:
    case 503: return Verdict::Retry;
    default: return Verdict::Fail;
  }
}

}  // namespace dlcore
