#include "task.h"

#include <algorithm>
#include <cstdio>

#include "failures.h"
#include "platform/fileio.h"

namespace dlcore {

Task::Task(CURLM* multi, Flusher& flusher, TaskOrder order, const EngineOptions& options, RateLimiter* limiter)
    : multi_(multi),
      flusher_(flusher),
      limiter_(limiter),
      order_(std::move(order)),
      options_(options),
      part_(order_.folder, order_.name),
      checkpointer_(flusher, options.checkpoint, [multi] { curl_multi_wakeup(multi); }),
      connectionCap_(options.maxConnections) {
  if (order_.failure) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = order_.failure;
  }
}

Task::~Task() { AbortAll(); }

bool Task::Owns(CURL* easy) const {
  return std::any_of(connections_.begin(), connections_.end(), [easy](auto& c) { return c->easy() == easy; });
}

void Task::Start() {
  if (state_ == DL_STATE_COMPLETE || Active()) return;
  if (checkpointer_.Busy()) {  // the last stop's state is still on its way to the disk
    startWhenSaved_ = true;
    return;
  }
  if (order_.failure) return Fail(order_.failure);
  failCode_ = 0;
  failuresInRow_ = 0;
  restarts_ = 0;
  splitting_ = true;
  connectionCap_ = options_.maxConnections;
  ramp_ = FirstRamp(connectionCap_);
  confirmed_ = false;
  warmedUp_ = false;
  requestSpeed_ = 0;
  duplicate_ = 0;
  retryAt_ = {};
  if (!OpenFiles()) return;
  if (part_.IsOpen() && file_.total > 0) {
    if (int code = part_.Reserve(file_.total)) return Fail(code);
  }
  state_ = DL_STATE_REQUESTING;
  std::vector<ByteRange> gaps = file_.done.Gaps(file_.total);
  if (file_.total < 0 || gaps.empty()) {
    if (file_.total >= 0) return Finish();  // everything was on disk already
    return StartFresh();
  }
  Launch({gaps.front().begin, std::min(gaps.front().end, gaps.front().begin + kFirstRange)}, Opening::kSole);
  windowStart_ = Clock::now();
  windowBytes_ = Downloaded();
}

void Task::StartFresh() {
  file_ = FreshState();
  segments_.Reset();
  if (part_.IsOpen() && !part_.Truncate()) return Fail(DL_FAIL_DISK_WRITE);
  // A closed range: the answer tells the size and whether ranges are served, and a server
  // that ignores the range answers 200 with the whole file, which then simply runs.
  Launch({0, kFirstRange}, Opening::kSole);
  windowStart_ = Clock::now();
  windowBytes_ = 0;
  ramp_ = FirstRamp(connectionCap_);
  confirmed_ = false;
  warmedUp_ = false;
}

void Task::RestartFromZero() {
  if (++restarts_ > 3) return Fail(DL_FAIL_UNSTABLE);
  AbortAll();
  platform::RemoveFile(ControlPath());
  checkpointer_.Forget();
  state_ = DL_STATE_REQUESTING;
  StartFresh();
}

void Task::Launch(ByteRange range, Opening opening) {
  auto c = std::make_unique<Connection>(
      [this](Connection& connection, const char* data, size_t size) { return OnBody(connection, data, size); });
  c->begin = c->pos = range.begin;
  c->end = c->requestedEnd = range.end;
  c->sole = opening != Opening::kExtra;
  c->plain = opening == Opening::kSoleWithoutRange;
  if (options_.trace)
    std::fprintf(stderr, "dlcore: %.3f request %lld-%lld (%zu running, rtt %.1f ms)\n",
                 std::chrono::duration<double>(Clock::now().time_since_epoch()).count(),
                 static_cast<long long>(range.begin), static_cast<long long>(range.end), connections_.size(),
                 std::chrono::duration<double, std::milli>(roundTrip_).count());
  const RateLimiter none;
  const RateLimiter& limit = limiter_ ? *limiter_ : none;
  if (!c->Prepare(order_.url, options_, file_.etag, file_.lastModified, limit.ReadSize(), limit.ReceiveWindow()))
    return ConnectionFailed(Clock::now());
  curl_multi_add_handle(multi_, c->easy());
  connections_.push_back(std::move(c));
}

void Task::Abort(Connection& c) {
  if (options_.trace)
    std::fprintf(stderr, "dlcore: %.3f end %lld-%lld at %lld (asked to %lld)\n",
                 std::chrono::duration<double>(Clock::now().time_since_epoch()).count(),
                 static_cast<long long>(c.begin), static_cast<long long>(c.end), static_cast<long long>(c.pos),
                 static_cast<long long>(c.requestedEnd));
  curl_multi_remove_handle(multi_, c.easy());
  if (c.pos > c.begin) segments_.Keep({c.begin, c.pos});
  connections_.erase(std::find_if(connections_.begin(), connections_.end(), [&](auto& p) { return p.get() == &c; }));
}

void Task::AbortAll() {
  while (!connections_.empty()) Abort(*connections_.back());
}

void Task::Fail(int code) {
  AbortAll();
  if (part_.IsOpen()) {
    if (segments_.written().Covered() == 0 && checkpointer_.lastSaved().done.ranges().empty()) {
      part_.Remove();  // nothing was kept: nothing is left behind (the lock says the files are ours)
    } else {
      Checkpoint(Clock::now(), true);  // what is on disk stays resumable
      ReleaseUnwrittenSpace();
    }
    part_.Close();
  }
  state_ = DL_STATE_CANCELLED;
  failCode_ = code;
}

void Task::Stop() {
  if (!Active()) return;
  state_ = DL_STATE_STOPPING;
  AbortAll();
  Checkpoint(Clock::now(), true);
  ReleaseUnwrittenSpace();
  part_.Close();
  if (!checkpointer_.Busy()) state_ = DL_STATE_STOPPED;  // else when the flush is done (Tick)
}

// The first answer tells the size and the validators; a 200 starts the file over. The data
// file is made here, once the answer has been judged to be the file.
bool Task::AdoptFirstAnswer(const ResponseHead& head, Connection& c, bool restart) {
  if (!part_.IsOpen()) {
    // A size the disk cannot hold is refused before a file is made.
    const std::int64_t size = restart ? head.contentLength : head.range->total;
    if (int code = size > 0 ? part_.Reserve(size) : 0) {
      c.failCode = code;
      return false;
    }
    if (!CreatePartFile(c)) return false;
  }
  file_ = FreshState();
  file_.etag = head.etag;
  file_.lastModified = head.lastModified;
  if (restart) {
    segments_.Reset();
    c.overlapLength = c.overlapTaken = 0;  // a whole file from byte 0: nothing of it is an overlap
    c.overlap.clear();
    if (!part_.Truncate()) {
      c.writeError = platform::LastFault();
      return false;
    }
    c.begin = c.pos = 0;
    file_.total = head.contentLength;
    // Without a validator the file can still be split and resumed: the overlap of every
    // later request with bytes already received shows a file that changed.
    file_.rangeable = !c.plain && head.acceptRanges && file_.total > 0;
    c.end = file_.total;
  } else {
    file_.total = head.range->total;
    file_.rangeable = file_.total > 0;
    c.end = std::min(head.range->last + 1, file_.total);
  }
  if (file_.total > 0) {
    if (int code = part_.Reserve(file_.total)) {
      c.failCode = code;
      return false;
    }
  }
  return true;
}

size_t Task::OnBody(Connection& c, const char* data, size_t size) {
  if (!Judged(c) || !Active()) return 0;
  // libcurl offers the same piece again when the connection is resumed.
  c.held = limiter_ && !limiter_->Take(size, Clock::now());
  if (c.held) {
    c.lastHeld = Clock::now();
    heldInWindow_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  const size_t received = size;
  if (c.overlapTaken < c.overlapLength) {
    const size_t take = std::min(size, size_t(c.overlapLength - c.overlapTaken));
    c.overlap.append(data, take);
    c.overlapTaken += std::int64_t(take);
    duplicate_ += std::int64_t(take);
    data += take, size -= take;
    if (c.overlapTaken == c.overlapLength) segments_.Expect(c.begin - c.overlapLength, std::move(c.overlap));
    if (size == 0) return received;
  }
  size_t allowed = size;
  if (c.end >= 0) allowed = size_t(std::clamp<std::int64_t>(c.end - c.pos, 0, std::int64_t(size)));
  if (allowed && !part_.Write(data, allowed, c.pos, c.writeError)) return 0;
  c.pos += std::int64_t(allowed);
  if (allowed) Wrote(c, allowed);
  if (allowed < size) {
    duplicate_ += std::int64_t(size - allowed);
    c.reachedEnd = true;  // the rest belongs to another connection now
    return 0;
  }
  return received;
}

// The round trip, the bursts, the state file and the progress follow the bytes written.
void Task::Wrote(Connection& c, size_t bytes) {
  state_ = DL_STATE_RUNNING;
  const auto now = Clock::now();
  if (c.firstData == Clock::time_point{}) {
    c.firstData = now;
    const Clock::duration rtt = c.RoundTrip();
    if (rtt > Clock::duration::zero() && (roundTrip_ == Clock::duration::zero() || rtt < roundTrip_)) roundTrip_ = rtt;
  }
  if (now - c.lastData >= std::chrono::milliseconds(1)) ++c.bursts;
  c.lastData = now;
  // A fast download writes megabytes between two ticks: the state file follows the bytes
  // too, so that a kill costs little whatever the speed.
  unsaved_ += std::int64_t(bytes);
  if (unsaved_ >= UnsavedLimit() && !checkpointer_.Busy()) Checkpoint(now, false);
  if (publish_ && now - lastPublished_ >= kProgressInterval) {
    lastPublished_ = now;
    publish_();
  }
}

void Task::TransferDone(CURL* easy, CURLcode result) {
  auto it = std::find_if(connections_.begin(), connections_.end(), [easy](auto& c) { return c->easy() == easy; });
  if (it == connections_.end()) return;
  Connection& c = **it;
  const auto now = Clock::now();
  if (!c.judged && result == CURLE_OK) Judged(c);  // answers without a body
  const bool progressed = c.pos > c.begin;
  const bool endedWell = result == CURLE_OK || (result == CURLE_WRITE_ERROR && c.reachedEnd);
  const bool shortBody = result == CURLE_OK && c.end >= 0 && c.pos < c.end;
  const bool unknownSizeDone =
      result == CURLE_OK && c.end < 0 && c.judged && (c.verdict == Verdict::Accept || c.verdict == Verdict::Restart);
  const platform::Fault writeError = c.writeError;
  const int failCode = c.failCode;
  const Verdict verdict = c.verdict;
  const bool judged = c.judged;
  // The resume refused with a 416 and the same file on the server: a 416 it stays, if it stays.
  const long status = c.recheck && verdict == Verdict::Retry ? 416 : c.head.status;
  if (unknownSizeDone) file_.total = c.pos;
  if (endedWell && !shortBody) RequestEnded(c, now);
  const bool sole = c.sole;
  Abort(c);
  if (!Active()) return;
  // Kept bytes are progress; bytes a single stream must fetch again from zero are not.
  if (progressed && file_.rangeable) failuresInRow_ = 0;

  if (failCode) return Fail(failCode);
  if (writeError != platform::Fault::kNone)
    return Fail(writeError == platform::Fault::kDiskFull ? DL_FAIL_DISK_FULL : DL_FAIL_DISK_WRITE);
  if (const TransferFailure failure = ClassifyTransfer(result, status); failure.code) {
    // A refusal (a certificate not trusted, a redirect refused, an answer that is not
    // HTTP) comes again on every try: reported at once, not retried as a dropped line.
    if (!failure.retry) return Fail(failure.code);
    lastNetworkFailure_ = failure.code;
  }
  if (!judged) return ConnectionFailed(now, lastNetworkFailure_);
  if (verdict == Verdict::Unsplittable && sole) {
    splitting_ = false;
    AbortAll();
    segments_.Reset();
    file_ = FreshState();
    if (part_.IsOpen() && !part_.Truncate()) return Fail(DL_FAIL_DISK_WRITE);
    return Launch({0, -1}, Opening::kSoleWithoutRange);
  }
  if (verdict != Verdict::Accept && verdict != Verdict::Restart) return AfterVerdict(verdict, status, now);
  if (!endedWell || shortBody) return ConnectionFailed(now, lastNetworkFailure_);
  if (segments_.Complete(file_.total) && connections_.empty()) return Finish();
  Plan(now);  // hand the free bytes to this connection's successor at once
}

}  // namespace dlcore
