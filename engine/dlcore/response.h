#pragma once
// What a server's answer may be trusted with, decided from its headers before a single body
// byte is written. Pure: no I/O.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "headerline.h"

namespace dlcore {

using common::ContentRange;

struct ResponseHead {
  long status = 0;
  std::optional<ContentRange> range;
  std::int64_t contentLength = -1;
  std::string etag;  // strong ETag only; a weak one is no validator
  std::string lastModified;
  bool acceptRanges = false;
  bool html = false;  // Content-Type text/html or application/xhtml+xml
  bool sawLength = false;
  bool conflictingLength = false;  // two Content-Length lines that disagree
};

// Feeds one raw header line; a status line starts a new response (redirects, 100 Continue).
void ParseHeaderLine(ResponseHead& head, std::string_view line);

struct RangeRequest {
  std::int64_t begin = 0;
  std::int64_t end = -1;  // exclusive; -1 for "to the end"
  bool sole = false;      // the task's first request (fresh start or resume), not an extra connection
};

// What the task already knows about the file; empty before its first answer. Once it knows
// a size, a 200 restarts the file from zero only when it carries the same size and
// validators, or when it is plainly a new version of the file (a validator of its own, a
// length, not an HTML page). Anything else (a captive portal's login page, a proxy's error
// page) is not the file.
struct KnownFile {
  std::int64_t total = -1;
  std::string etag, lastModified;
  bool neverPage = false;  // the file is an archive: a web page in its place is a captive portal's
};

enum class Verdict {
  Accept,        // write the body at the requested offset
  Restart,       // a full 200 body to a sole request: start over from byte 0 with it
  Changed,       // the file on the server is another one now: discard everything, start over
  Unsplittable,  // ranges cannot be trusted here: one plain stream from byte 0 from now on
  Refuse,        // not for this extra connection: hand its range back, use fewer connections
  Retry,         // the server is busy: ask again later
  Fail,          // the task fails with the HTTP status
  Foreign,       // not the file the task knows (another size or validators): try again later
  Recheck,       // a 416 to a resume proves nothing: ask for the whole answer's size and validators first
  Page,          // a web page in place of a file that is never one: the task fails, its data kept
};

Verdict Judge(const ResponseHead& head, const RangeRequest& request, const KnownFile& known);

// A successful answer of the kind captive portals and proxies send (text/html) for a file the
// task knows is never a page. Judge, JudgeRecheck and a plain stream's start all ask it first.
bool PageInPlaceOfFile(const ResponseHead& head, const KnownFile& known);

// The whole answer asked for after a 416 to a resume: the same file (its size and validators)
// keeps every byte on disk and the resume is tried again later (Retry); a new version of the
// file starts over (Restart); anything else is not the file.
Verdict JudgeRecheck(const ResponseHead& head, const KnownFile& known);

}  // namespace dlcore
