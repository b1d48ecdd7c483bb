#pragma once
// One connection of a download: its request, what the answer's head said, and where its
// bytes go. The task decides; this is the request as libcurl sees it.
#include <curl/curl.h>

#include <cstdint>
#include <string>

#include "options.h"
#include "response.h"

namespace dlcore {

class Task;

struct Connection {
  Task* task = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::int64_t begin = 0, pos = 0, end = -1;  // end -1: to the end of an unknown size
  std::int64_t requestedEnd = -1;             // end may shrink when another connection takes over
  bool sole = false;                          // the task's only connection when it was opened
  bool plain = false;                         // no Range header at all
  ResponseHead head;
  bool judged = false;
  Verdict verdict = Verdict::Accept;
  bool reachedEnd = false;  // stopped on purpose at the end of its (shortened) range
  // The answer starts this many bytes before `begin`: bytes another connection fetches too,
  // kept here and compared with theirs, so that a file that changed on the server between
  // two requests never gives a mixed file.
  std::int64_t overlapLength = 0;
  std::int64_t overlapTaken = 0;
  std::string overlap;
  Clock::time_point lastData = Clock::now();
  Clock::time_point firstData{};  // of its range, after the overlap
  std::int64_t pieces = 0;        // calls with data of its range
  int writeError = 0;
  int failCode = 0;  // the task fails with this, decided while judging the answer

  ~Connection() {
    if (easy) curl_easy_cleanup(easy);
    if (headers) curl_slist_free_all(headers);
  }
};

// Makes the libcurl handle for the connection's range (begin, end, sole and plain set): only
// http and https, also after redirects (only https after an https start); a range request
// starts `kOverlapBytes` early to check them against another connection's; the validator
// makes a sole request resume only the same file and an extra one be refused when it changed.
// False when libcurl cannot make a handle.
bool PrepareRequest(Connection& c, const std::string& url, const EngineOptions& options, const std::string& etag,
                    const std::string& lastModified);

}  // namespace dlcore
