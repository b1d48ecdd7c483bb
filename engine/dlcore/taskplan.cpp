// The task's running decisions: what an answer that is not the file's bytes leads to, how
// many connections run, where each one goes, when the state file catches up with the data,
// and what the task reports.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "task.h"

namespace dlcore {

std::vector<ByteRange> Task::Receiving() const {
  std::vector<ByteRange> ranges;
  for (auto& c : connections_)
    if (c->pos > c->begin) ranges.push_back({c->begin, c->pos});
  return ranges;
}

std::vector<ByteRange> Task::Owned() const {
  std::vector<ByteRange> ranges;
  for (auto& c : connections_)
    if (c->end >= 0) ranges.push_back({c->begin, c->end});
  return ranges;
}

bool Task::OverlapsMatch() {
  if (!part_.IsOpen()) return true;
  return segments_.OverlapsMatch(Receiving(),
                                 [this](std::string& into, std::int64_t at) { return part_.ReadAt(into, at); });
}

void Task::Plan(Clock::time_point now) {
  if (!Active() || now < retryAt_) return;
  if (file_.total < 0 || !file_.rangeable) {
    // Nothing learned yet, or one stream that cannot resume by range: start from byte 0.
    if (connections_.empty()) {
      if (segments_.Complete(file_.total)) return Finish();
      StartFresh();
    }
    return;
  }
  AskForCutRangesAlone();
  std::vector<ByteRange> free = segments_.Claimed(Owned()).Gaps(file_.total);
  if (free.empty() && connections_.empty()) return Finish();
  if (auto stalled = Stalled(Views(now), options_.stallPatience, roundTrip_)) {
    Abort(*connections_[*stalled]);
    free = segments_.Claimed(Owned()).Gaps(file_.total);
  }
  // Extra connections wait until an answer of this start showed the same file: on a resume,
  // a file changed on the server is found by one request, not by every one of them.
  const int wanted = splitting_ && confirmed_ ? std::min(ramp_.target, connectionCap_) : 1;
  while (int(connections_.size()) < wanted || connections_.empty()) {
    const std::int64_t bytes = RangeBytes(RequestSpeed(), roundTrip_, FreeBytes(free), wanted);
    auto plan = NextRange(free, Views(now), roundTrip_, bytes);
    if (!plan) break;
    if (plan->splitFrom) connections_[*plan->splitFrom]->end = plan->range.begin;
    Launch(plan->range, connections_.empty() ? Opening::kSole : Opening::kExtra);
    free = segments_.Claimed(Owned()).Gaps(file_.total);
  }
}

std::int64_t Task::FreeBytes(const std::vector<ByteRange>& free) {
  std::int64_t bytes = 0;
  for (const ByteRange& r : free) bytes += r.size();
  return bytes;
}

// What one connection brings: the requests that ended lately, and before any did, the
// task's speed shared among its connections.
double Task::RequestSpeed() const {
  if (requestSpeed_ > 0) return requestSpeed_;
  return connections_.empty() ? 0 : speed_.speed() / double(connections_.size());
}

// A request's speed counts its wait for the answer: that is what the next one will cost.
// Requests of a few kilobytes say little; the mean follows the line as it changes.
void Task::RequestEnded(const Connection& c, Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - c.opened).count();
  if (c.pos - c.begin < kFirstRange / 2 || seconds <= 0) return;
  const double speed = double(c.pos - c.begin) / seconds;
  requestSpeed_ = requestSpeed_ > 0 ? 0.7 * requestSpeed_ + 0.3 * speed : speed;
}

std::vector<ConnectionView> Task::Views(Clock::time_point now) const {
  std::vector<ConnectionView> views;
  for (auto& c : connections_) {
    ConnectionView v;
    v.pos = c->pos;
    v.end = c->end;
    v.hasData = c->firstData != Clock::time_point{};
    v.sinceOpened = now - c->opened;
    if (v.hasData) {
      v.sinceData = c->held ? Clock::duration{} : now - c->lastData;  // the limit holds it: not stalled
      v.limited = c->lastHeld != Clock::time_point{} && now - c->lastHeld < std::chrono::seconds(1);
      const double seconds = std::chrono::duration<double>(now - c->firstData).count();
      if (seconds >= 0.1) v.speed = double(c->pos - c->begin) / seconds;
      v.burst = c->bursts > 0 ? double(c->pos - c->begin) / double(c->bursts) : 0;
      // Until a second burst came, the wait for the first one is all it has shown.
      v.meanWait = c->bursts > 1 ? (c->lastData - c->firstData) / (c->bursts - 1) : c->firstData - c->opened;
    }
    views.push_back(v);
  }
  return views;
}

// Measures the speed of the connections running over a window long enough to see them (a
// few chunks of each, and a few round trips), and lets the planner decide how many run next.
void Task::MeasureRamp(Clock::time_point now) {
  const auto elapsed = now - windowStart_;
  const auto window = RampWindow(options_.window, roundTrip_);
  const std::int64_t bytes = Downloaded() - windowBytes_;
  const int count = int(connections_.size());
  if (elapsed < window || bytes == 0) return;
  // A window without enough bytes still ends after twenty, but not before each connection
  // had time for a few of its bursts: a slow server sends a chunk every few seconds.
  Clock::duration slowestWait{};
  for (const ConnectionView& v : Views(now)) slowestWait = std::max(slowestWait, v.meanWait);
  if (bytes < kRampWindowBytes * count && (elapsed < 20 * window || elapsed < 3 * slowestWait)) return;
  const double speed = double(bytes) / std::chrono::duration<double>(elapsed).count();
  windowStart_ = now;
  windowBytes_ = Downloaded();
  // The speed limit held it: more connections cannot win under it, they only fill more buffers
  // (and take more of the limit from the other downloads).
  const bool limited = std::exchange(heldInWindow_, false);
  // A step is judged on a window in which all its connections ran.
  if (!ramp_.settled && count < ramp_.target) return;
  // The first window is the warm-up (the connections' handshakes and their growth to
  // speed, many round trips on a long link): it is measured again.
  if (!warmedUp_) {
    warmedUp_ = true;
    return;
  }
  // Connections beyond a lowered target end with their ranges and are not replaced.
  NextRampStep(ramp_, count, speed, connectionCap_, !limited);
  if (options_.trace)
    std::fprintf(stderr, "dlcore: window of %d at %.0f B/s (limited: %d): %d wanted%s\n", count, speed, int(limited),
                 ramp_.target, ramp_.settled ? ", settled" : "");
}

void Task::Tick(Clock::time_point now) {
  if (!checkpointer_.Busy()) {
    if (state_ == DL_STATE_STOPPING) state_ = DL_STATE_STOPPED;
    if (startWhenSaved_) {
      startWhenSaved_ = false;
      Start();
    }
  }
  speed_.Update(now, Downloaded());
  if (!Active()) {
    speed_.Reset();
    return;
  }
  if (splitting_ && file_.rangeable && file_.total >= 0) MeasureRamp(now);
  if (!OverlapsMatch()) return RestartFromZero();
  Plan(now);
  if (!Active() || !part_.IsOpen()) return;
  if (platform::FileHandle fd = part_.Duplicate(); fd != platform::kNoFile) checkpointer_.StartWriteBack(fd);
  if (part_.Gone()) return Fail(DL_FAIL_FOLDER);
  Checkpoint(now, false);
}

// Data first, then the state that claims it: the state file never names a byte that is not
// on disk. A `final` save (stop, failure) goes even while another is on its way.
void Task::Checkpoint(Clock::time_point now, bool final) {
  if (!part_.IsOpen() || file_.total < 0) return;
  const RangeSet onDisk = segments_.OnDisk(Receiving());
  const ControlState& saved = checkpointer_.lastSaved();
  if (onDisk.ranges() == saved.done.ranges() && file_.etag == saved.etag && file_.total == saved.total) return;
  if (!final && !checkpointer_.Due(now, unsaved_, UnsavedLimit())) return;
  const platform::FileHandle fd = part_.Duplicate();  // the flusher's own handle, sharing the lock
  if (fd == platform::kNoFile) return;
  file_.done = onDisk;
  unsaved_ = 0;
  checkpointer_.Save(fd, file_, ControlPath(), now);
}

// What a kill may cost is bounded by bytes as well as by time.
std::int64_t Task::UnsavedLimit() const { return std::max<std::int64_t>(file_.total / 100, 256 << 10); }

void Task::ConnectionFailed(Clock::time_point now, int code) {
  if (++failuresInRow_ >= options_.maxFailures) return Fail(code);
  retryAt_ = now + std::chrono::milliseconds(200 << std::min(failuresInRow_, 5));
}

// Decides once per answer whether its body may be written, before the first byte.
bool Task::Judged(Connection& c) {
  if (!c.judged) {
    c.judged = true;
    const KnownFile known{file_.total, file_.etag, file_.lastModified, order_.neverPage};
    if (c.recheck) {
      c.verdict = JudgeRecheck(c.head, known);
    } else if (c.plain) {
      c.verdict = PageInPlaceOfFile(c.head, known)               ? Verdict::Page
                  : c.head.conflictingLength                     ? Verdict::Foreign
                  : c.head.status == 200                         ? Verdict::Restart
                  : c.head.status == 429 || c.head.status == 503 ? Verdict::Retry
                                                                 : Verdict::Fail;
    } else {
      c.verdict = Judge(c.head, RangeRequest{c.begin - c.overlapLength, c.requestedEnd, c.sole}, known);
    }
    if (c.verdict == Verdict::Accept && c.sole && file_.total < 0 && !AdoptFirstAnswer(c.head, c, false)) return false;
    if (c.verdict == Verdict::Restart && !AdoptFirstAnswer(c.head, c, true)) return false;
    // A server may send less than was asked: the rest is free for the next request.
    if (c.verdict == Verdict::Accept && c.head.range && c.end > c.head.range->last + 1)
      c.end = c.requestedEnd = c.head.range->last + 1;
    if ((c.verdict == Verdict::Accept || c.verdict == Verdict::Restart) && !confirmed_) {
      confirmed_ = true;
      const Clock::duration rtt = c.RoundTrip();
      if (rtt > Clock::duration::zero() && (roundTrip_ == Clock::duration::zero() || rtt < roundTrip_))
        roundTrip_ = rtt;
      ramp_ = FirstRamp(connectionCap_, roundTrip_);  // how wide depends on how far the server is
    }
  }
  return c.verdict == Verdict::Accept || c.verdict == Verdict::Restart;
}

// An answer that was not the file's bytes.
void Task::AfterVerdict(Verdict verdict, long status, Clock::time_point now) {
  switch (verdict) {
    case Verdict::Fail: return Fail(int(status));
    case Verdict::Changed: return RestartFromZero();
    // Not the file (a login page of a hotel network, a proxy's error page): tried again like
    // a failed connection, and the data on disk stays for a later resume.
    case Verdict::Foreign: return ConnectionFailed(now, DL_FAIL_FOREIGN);
    // A captive portal's page stays until the user logs in to the network: asking again
    // only waits for nothing.
    case Verdict::Page: return Fail(DL_FAIL_PAGE);
    case Verdict::Recheck:
      AbortAll();
      Launch({0, -1}, Opening::kSoleWithoutRange);
      if (!connections_.empty()) connections_.back()->recheck = true;
      return;
    case Verdict::Unsplittable: splitting_ = false; return;
    case Verdict::Refuse:
      connectionCap_ = std::max<int>(1, int(connections_.size()));
      ramp_.target = connectionCap_;
      ramp_.settled = true;
      return;
    case Verdict::Retry:
      if (++failuresInRow_ >= options_.maxFailures) return Fail(int(status));
      retryAt_ = now + std::chrono::milliseconds(500 << std::min(failuresInRow_, 4));
      return;
    case Verdict::Accept:
    case Verdict::Restart: return;
  }
}

void Task::LimitChanged(Clock::time_point now) {
  if (!Active()) return;
  const int window = limiter_ ? limiter_->ReceiveWindow() : 0;
  // A count settled under the old limit is no measure under the new one: measured again.
  ramp_ = FirstRamp(connectionCap_, roundTrip_);
  windowStart_ = now;
  windowBytes_ = Downloaded();
  heldInWindow_ = false;
  std::vector<Connection*> running;
  for (auto& c : connections_) running.push_back(c.get());
  for (Connection* c : running) {
    const int had = c->receiveWindow();
    if (had == window) continue;
    if (window > 0 && (had == 0 || window < had)) {
      // A limit set or lowered: the socket takes no more than the new window from now on;
      // what it holds is read, not thrown away (a held connection is not cut).
      c->ShrinkReceiveWindow(window);
      continue;
    }
    // A limit lifted or raised: the small window the connection was made with would hold the
    // line back, and it cannot grow (its scale was settled when it connected). It keeps the
    // bytes its window may already hold; a fresh connection with the new window takes the rest.
    const std::int64_t keep = c->pos + had;
    if (!Movable(*c) || keep >= c->end) continue;
    const ByteRange rest{keep, c->end};
    c->end = keep;
    Launch(rest, Opening::kExtra);
  }
}

bool Task::Movable(const Connection& c) const {
  return c.judged && !c.plain && file_.rangeable && c.end >= 0 && c.pos < c.end;
}

void Task::AskForCutRangesAlone() {
  std::vector<Connection*> held;
  for (auto& c : connections_)
    if (c->held && Movable(*c) && c->end < (c->requestedEnd < 0 ? file_.total : c->requestedEnd))
      held.push_back(c.get());
  for (Connection* c : held) {
    const ByteRange rest{c->pos, c->end};
    Abort(*c);
    Launch(rest, Opening::kExtra);
  }
}

bool Task::ReleaseHeld() {
  // Each turn starts with another connection, as the engine does with tasks.
  const size_t n = connections_.size();
  releaseTurn_ = n ? (releaseTurn_ + 1) % n : 0;
  for (size_t i = 0; i < n; ++i) {
    Connection& c = *connections_[(releaseTurn_ + i) % n];
    if (!c.held) continue;
    c.held = false;
    curl_easy_pause(c.easy(), CURLPAUSE_CONT);
  }
  return Holding();
}

bool Task::Holding() const {
  return std::any_of(connections_.begin(), connections_.end(), [](auto& c) { return c->held; });
}

Progress Task::Snapshot() const {
  Progress p;
  p.stat = state_;
  p.failCode = failCode_;
  p.name = savedName_.empty() ? order_.name : savedName_;
  p.total = std::max<std::int64_t>(file_.total, 0);
  p.downloaded = state_ == DL_STATE_COMPLETE ? p.total : Downloaded();
  p.percent = state_ == DL_STATE_COMPLETE ? 1.0f : p.total > 0 ? float(double(p.downloaded) / double(p.total)) : 0.0f;
  p.sources = int(connections_.size());
  p.sourcesInUse =
      int(std::count_if(connections_.begin(), connections_.end(), [](auto& c) { return c->pos > c->begin; }));
  p.speed = Active() ? int(std::min(speed_.speed(), 2.0e9)) : 0;
  return p;
}

}  // namespace dlcore
