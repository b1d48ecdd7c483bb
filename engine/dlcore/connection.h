#pragma once
// One connection of a download: its request, what the answer's head said, and where its
// bytes go. The task decides; this is the request as libcurl sees it. It owns its libcurl
// handle and hands every piece of the body to the callback it was made with.
#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "options.h"
#include "platform/fault.h"
#include "response.h"

namespace dlcore {

class Connection {
 public:
  // Takes a piece of the body; returns how much of it was taken (less ends the transfer).
  using BodySink = std::function<size_t(Connection&, const char*, size_t)>;

  explicit Connection(BodySink sink) : sink_(std::move(sink)) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Makes the libcurl handle for the connection's range (begin, end, sole and plain set): only
  // http and https, also after redirects (only https after an https start); a range request
  // starts `kOverlapBytes` early to check them against another connection's, unless a strong
  // ETag vouches for them; the validator
  // makes a sole request resume only the same file and an extra one be refused when it
  // changed. False when libcurl cannot make a handle.
  // `readSize` is the most one read brings and `receiveWindow` the socket's receive buffer (0:
  // the system's); both are small under a speed limit.
  bool Prepare(const std::string& url, const EngineOptions& options, const std::string& etag,
               const std::string& lastModified, long readSize, int receiveWindow = 0);
  CURL* easy() const { return easy_; }
  // The receive buffer it was made with (0: the system's, grown as the line allows).
  int receiveWindow() const { return receiveWindow_; }
  // A smaller one for its socket from now on (a speed limit set while it runs): what the socket
  // holds already stays, and it takes no more than `bytes` from then on.
  void ShrinkReceiveWindow(int bytes);
  // One round trip as this connection measured it (its TCP handshake, or its request's wait
  // for the first byte on a reused connection); zero when not known.
  Clock::duration RoundTrip() const;
  size_t Deliver(const char* data, size_t size) { return sink_(*this, data, size); }

  std::int64_t begin = 0, pos = 0, end = -1;  // end -1: to the end of an unknown size
  std::int64_t requestedEnd = -1;             // end may shrink when another connection takes over
  bool sole = false;                          // the task's only connection when it was opened
  bool plain = false;                         // no Range header at all
  bool recheck = false;                       // after a 416 to a resume: the whole answer's size and validators
  ResponseHead head;
  bool judged = false;
  Verdict verdict = Verdict::Accept;
  bool reachedEnd = false;       // stopped on purpose at the end of its (shortened) range
  bool held = false;             // paused by the speed limit: it is not stalled, and it resumes
  Clock::time_point lastHeld{};  // when the speed limit last held it
  // The answer starts this many bytes before `begin`: bytes another connection fetches too,
  // kept here and compared with theirs, so that a file that changed on the server between
  // two requests never gives a mixed file.
  std::int64_t overlapLength = 0;
  std::int64_t overlapTaken = 0;
  std::string overlap;
  Clock::time_point opened = Clock::now();
  Clock::time_point lastData{};   // of its range; none before its first byte
  Clock::time_point firstData{};  // of its range, after the overlap
  std::int64_t bursts = 0;        // arrivals of data at least a millisecond apart
  platform::Fault writeError = platform::Fault::kNone;
  int failCode = 0;  // the task fails with this, decided while judging the answer

 private:
  BodySink sink_;
  CURL* easy_ = nullptr;
  curl_slist* headers_ = nullptr;
  int receiveWindow_ = 0;  // read by libcurl's socket callback
};

}  // namespace dlcore
