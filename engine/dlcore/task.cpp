#include "task.h"

#include "connection.h"

#include "files.h"
#include "planner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace dlcore {

Task::Task(CURLM* multi, Flusher& flusher, TaskOrder order, EngineOptions options)
    : multi_(multi),
      flusher_(flusher),
      order_(std::move(order)),
      options_(options),
      part_(order_.folder, order_.name),
      connectionCap_(options.maxConnections) {
  if (order_.failure) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = order_.failure;
  }
}

Task::~Task() { AbortAll(); }

bool Task::Owns(CURL* easy) const {
  return std::any_of(connections_.begin(), connections_.end(), [easy](auto& c) { return c->easy == easy; });
}

void Task::Start() {
  if (state_ == DL_STATE_COMPLETE || Active()) return;
  if (*flushesPending_ > 0) {  // the last stop's state is still on its way to the disk
    startWhenFlushed_ = true;
    return;
  }
  if (order_.failure) return Fail(order_.failure);
  failCode_ = 0;
  failuresInRow_ = 0;
  restarts_ = 0;
  splitting_ = true;
  connectionCap_ = options_.maxConnections;
  ramp_ = Ramp{};
  windowStart_ = {};
  retryAt_ = {};
  overlaps_.clear();
  if (!OpenFiles()) return;
  if (part_.IsOpen() && file_.total > 0) {
    if (int code = part_.Reserve(file_.total)) return Fail(code);
  }
  state_ = DL_STATE_REQUESTING;
  lastCheckpoint_ = Clock::now();
  std::vector<ByteRange> gaps = file_.done.Gaps(file_.total);
  if (file_.total < 0 || gaps.empty()) {
    if (file_.total >= 0) return Finish();  // everything was on disk already
    return StartFresh();
  }
  Launch(gaps.front(), Opening::kSole);
  windowStart_ = Clock::now();
  windowBytes_ = Downloaded();
}

// The data file when there is one, locked, and what the state file says of it when it can
// be trusted: same address, a resumable answer, and a data file as long as the bytes it
// claims. Without a data file nothing is made yet: the first good answer makes it.
bool Task::OpenFiles() {
  std::error_code ec;
  std::filesystem::create_directories(order_.folder, ec);
  if (!std::filesystem::is_directory(order_.folder, ec) || access(order_.folder.c_str(), W_OK | X_OK) != 0) {
    Fail(DL_FAIL_FOLDER);
    return false;
  }
  if (order_.name.size() > kMaxPartNameBytes) {
    Fail(DL_FAIL_BAD_NAME);
    return false;
  }
  if (int code = part_.OpenExisting()) {
    Fail(code);
    return false;
  }
  // A flush of an earlier task of this engine may still hold the file: let it finish first.
  if (part_.IsOpen() && !part_.TryLock()) flusher_.WaitIdle();
  if (part_.IsOpen() && !part_.LockOrLetGo()) {
    Fail(DL_FAIL_TARGET_BUSY);  // another process downloads into this file: its files stay as they are
    return false;
  }
  std::optional<ControlState> saved = part_.IsOpen() && order_.resume ? ReadControlFile(ControlPath()) : std::nullopt;
  bool usable = saved && saved->url == order_.url && saved->total >= 0 && saved->rangeable &&
                (saved->done.ranges().empty() || saved->done.ranges().back().end <= part_.Size());
  if (usable) {
    file_ = *saved;
    written_ = saved->done;
    lastSaved_ = file_;
  } else {
    file_ = FreshState();
    written_.Clear();
    lastSaved_ = ControlState{};
    if (part_.IsOpen() && !part_.Truncate()) {
      Fail(DL_FAIL_DISK_WRITE);
      return false;
    }
    unlink(ControlPath().c_str());
  }
  return true;
}

// Made, and locked, only once an answer has been judged to be the file.
bool Task::CreatePartFile(Connection& c) {
  if (int code = part_.Create()) {
    c.failCode = code;
    return false;
  }
  if (!part_.LockOrLetGo()) {  // another process made it in the meantime
    c.failCode = DL_FAIL_TARGET_BUSY;
    return false;
  }
  return true;
}

void Task::ReleaseUnwrittenSpace() {
  if (file_.total > 0) part_.Release(written_.Gaps(file_.total));
}

void Task::StartFresh() {
  file_ = FreshState();
  written_.Clear();
  overlaps_.clear();
  if (part_.IsOpen() && !part_.Truncate()) return Fail(DL_FAIL_DISK_WRITE);
  Launch({0, -1}, Opening::kSole);
  windowStart_ = Clock::now();  // the measurement of one stream counts its start-up
  windowBytes_ = 0;
  ramp_ = Ramp{};
}

void Task::RestartFromZero() {
  if (++restarts_ > 3) return Fail(DL_FAIL_UNSTABLE);
  AbortAll();
  unlink(ControlPath().c_str());
  lastSaved_ = ControlState{};
  state_ = DL_STATE_REQUESTING;
  StartFresh();
}

void Task::Launch(ByteRange range, Opening opening) {
  auto c = std::make_unique<Connection>();
  c->task = this;
  c->begin = c->pos = range.begin;
  c->end = c->requestedEnd = range.end;
  c->sole = opening != Opening::kExtra;
  c->plain = opening == Opening::kSoleWithoutRange;
  if (!PrepareRequest(*c, order_.url, options_, file_.etag, file_.lastModified)) return ConnectionFailed(Clock::now());
  curl_multi_add_handle(multi_, c->easy);
  connections_.push_back(std::move(c));
}

void Task::Abort(Connection& c) {
  curl_multi_remove_handle(multi_, c.easy);
  if (c.pos > c.begin) written_.Add({c.begin, c.pos});
  connections_.erase(std::find_if(connections_.begin(), connections_.end(), [&](auto& p) { return p.get() == &c; }));
}

void Task::AbortAll() {
  while (!connections_.empty()) Abort(*connections_.back());
}

void Task::Fail(int code) {
  AbortAll();
  if (part_.IsOpen()) {
    if (written_.Covered() == 0 && lastSaved_.done.ranges().empty()) {
      part_.Remove();  // nothing was kept: nothing is left behind (the lock says the files are ours)
    } else {
      Checkpoint();  // what is on disk stays resumable
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
  Checkpoint();
  ReleaseUnwrittenSpace();
  part_.Close();
  if (*flushesPending_ == 0) state_ = DL_STATE_STOPPED;  // else when the flush is done (Tick)
}

// Decides once per answer whether its body may be written, before the first byte.
bool Task::Judged(Connection& c) {
  if (!c.judged) {
    c.judged = true;
    KnownFile known{file_.total, file_.etag, file_.lastModified};
    if (c.plain) {
      c.verdict = c.head.conflictingLength                       ? Verdict::Foreign
                  : c.head.status == 200                         ? Verdict::Restart
                  : c.head.status == 429 || c.head.status == 503 ? Verdict::Retry
                                                                 : Verdict::Fail;
    } else {
      c.verdict = Judge(c.head, RangeRequest{c.begin - c.overlapLength, c.requestedEnd, c.sole}, known);
    }
    if (c.verdict == Verdict::Accept && c.sole && file_.total < 0 && !AdoptFirstAnswer(c.head, c, false)) return false;
    if (c.verdict == Verdict::Restart && !AdoptFirstAnswer(c.head, c, true)) return false;
  }
  return c.verdict == Verdict::Accept || c.verdict == Verdict::Restart;
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
    written_.Clear();
    overlaps_.clear();
    c.overlapLength = c.overlapTaken = 0;  // a whole file from byte 0: nothing of it is an overlap
    c.overlap.clear();
    if (!part_.Truncate()) {
      c.writeError = errno;
      return false;
    }
    c.begin = c.pos = 0;
    file_.total = head.contentLength;
    // Without a validator the file can still be split and resumed: the overlap of every
    // later request with bytes already received shows a file that changed.
    file_.rangeable = !c.plain && head.acceptRanges && file_.total > 0;
  } else {
    file_.total = head.range->total;
    file_.rangeable = file_.total > 0;
  }
  c.end = file_.total;
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
  const size_t received = size;
  if (c.overlapTaken < c.overlapLength) {
    const size_t take = std::min(size, size_t(c.overlapLength - c.overlapTaken));
    c.overlap.append(data, take);
    c.overlapTaken += std::int64_t(take);
    data += take, size -= take;
    if (c.overlapTaken == c.overlapLength) overlaps_.push_back({c.begin - c.overlapLength, std::move(c.overlap)});
    if (size == 0) return received;
  }
  size_t allowed = size;
  if (c.end >= 0) allowed = size_t(std::clamp<std::int64_t>(c.end - c.pos, 0, std::int64_t(size)));
  if (allowed && !part_.Write(data, allowed, c.pos, c.writeError)) return 0;
  c.pos += std::int64_t(allowed);
  if (allowed) {
    state_ = DL_STATE_RUNNING;
    c.lastData = Clock::now();
    if (c.firstData == Clock::time_point{}) c.firstData = c.lastData;
    ++c.pieces;
    if (publish_ && c.lastData - lastPublished_ >= kProgressInterval) {
      lastPublished_ = c.lastData;
      publish_();
    }
  }
  if (allowed < size) {
    c.reachedEnd = true;  // the rest belongs to another connection now
    return 0;
  }
  return received;
}

// Compares every kept overlap whose bytes are on disk by now with those bytes. False when one
// differs: the file changed on the server between two requests.
bool Task::OverlapsMatch() {
  RangeSet onDisk = written_;
  for (auto& c : connections_)
    if (c->pos > c->begin) onDisk.Add({c->begin, c->pos});
  for (auto it = overlaps_.begin(); it != overlaps_.end();) {
    const ByteRange range{it->first, it->first + std::int64_t(it->second.size())};
    if (!onDisk.Contains(range) || !part_.IsOpen()) {
      ++it;
      continue;
    }
    std::string there(it->second.size(), '\0');
    if (!part_.ReadAt(there, range.begin) || there != it->second) return false;
    it = overlaps_.erase(it);
  }
  return true;
}

void Task::ConnectionFailed(Clock::time_point now, int code) {
  if (++failuresInRow_ >= options_.maxFailures) return Fail(code);
  retryAt_ = now + std::chrono::milliseconds(200 << std::min(failuresInRow_, 5));
}

void Task::TransferDone(CURL* easy, CURLcode result) {
  auto it = std::find_if(connections_.begin(), connections_.end(), [easy](auto& c) { return c->easy == easy; });
  if (it == connections_.end()) return;
  Connection& c = **it;
  const auto now = Clock::now();
  if (!c.judged && result == CURLE_OK) Judged(c);  // answers without a body
  const bool progressed = c.pos > c.begin;
  const bool endedWell = result == CURLE_OK || (result == CURLE_WRITE_ERROR && c.reachedEnd);
  const bool shortBody = result == CURLE_OK && c.end >= 0 && c.pos < c.end;
  const bool unknownSizeDone =
      result == CURLE_OK && c.end < 0 && c.judged && (c.verdict == Verdict::Accept || c.verdict == Verdict::Restart);
  const int writeError = c.writeError, failCode = c.failCode;
  const Verdict verdict = c.verdict;
  const bool judged = c.judged, sole = c.sole;
  const long status = c.head.status;
  if (unknownSizeDone) file_.total = c.pos;
  Abort(c);
  if (!Active()) return;
  // Kept bytes are progress; bytes a single stream must fetch again from zero are not.
  if (progressed && file_.rangeable) failuresInRow_ = 0;

  if (failCode) return Fail(failCode);
  if (writeError) return Fail(writeError == ENOSPC || writeError == EDQUOT ? DL_FAIL_DISK_FULL : DL_FAIL_DISK_WRITE);
  if (!judged) return ConnectionFailed(now);
  switch (verdict) {
    case Verdict::Fail: return Fail(int(status));
    case Verdict::Changed: return RestartFromZero();
    // Not the file (a login page of a hotel network, a proxy's error page): tried again like
    // a failed connection, and the data on disk stays for a later resume.
    case Verdict::Foreign: return ConnectionFailed(now, DL_FAIL_FOREIGN);
    case Verdict::Unsplittable:
      splitting_ = false;
      if (sole) {
        AbortAll();
        written_.Clear();
        file_ = FreshState();
        if (part_.IsOpen() && !part_.Truncate()) return Fail(DL_FAIL_DISK_WRITE);
        Launch({0, -1}, Opening::kSoleWithoutRange);
      }
      return;
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
    case Verdict::Restart: break;
  }
  if (!endedWell || shortBody) return ConnectionFailed(now);
  if (file_.total >= 0 && written_.Contains({0, file_.total}) && connections_.empty()) return Finish();
  Plan(now);  // hand the free bytes to this connection's successor at once
}

RangeSet Task::Covered() const {
  RangeSet covered = written_;
  for (auto& c : connections_)
    if (c->end >= 0) covered.Add({c->begin, c->end});
  return covered;
}

std::int64_t Task::Downloaded() const {
  std::int64_t n = written_.Covered();
  for (auto& c : connections_) n += c->pos - c->begin;
  return file_.total >= 0 ? std::min(n, file_.total) : n;
}

void Task::Plan(Clock::time_point now) {
  if (!Active() || now < retryAt_) return;
  if (file_.total < 0 || !file_.rangeable) {
    // Nothing learned yet, or one stream that cannot resume by range: start from byte 0.
    if (connections_.empty()) {
      if (file_.total >= 0 && written_.Contains({0, file_.total})) return Finish();
      StartFresh();
    }
    return;
  }
  std::vector<ByteRange> free = Covered().Gaps(file_.total);
  if (free.empty() && connections_.empty()) return Finish();
  if (auto stalled = StalledTail(Views(now), options_.minSplit, options_.stallPatience)) {
    Abort(*connections_[*stalled]);
    free = Covered().Gaps(file_.total);
  }
  const int wanted = splitting_ ? std::min(ramp_.target, connectionCap_) : 1;
  while (int(connections_.size()) < wanted || connections_.empty()) {
    auto plan = PlanConnection(free, Views(now), connections_.empty() ? 1 : options_.minSplit);
    if (!plan) break;
    if (plan->splitFrom) connections_[*plan->splitFrom]->end = plan->range.begin;
    if (std::int64_t trial = connections_.empty() ? 0 : TrialBytes(ramp_, options_.window))
      plan->range.end = std::min(plan->range.end, plan->range.begin + trial);
    Launch(plan->range, connections_.empty() ? Opening::kSole : Opening::kExtra);
    free = Covered().Gaps(file_.total);
  }
}

std::vector<ConnectionView> Task::Views(Clock::time_point now) const {
  std::vector<ConnectionView> views;
  for (auto& c : connections_) {
    ConnectionView v{c->pos, c->end, 0, now - c->lastData, {}};
    const double seconds = std::chrono::duration<double>(now - c->firstData).count();
    if (c->firstData != Clock::time_point{} && seconds >= 0.1) v.speed = double(c->pos - c->begin) / seconds;
    if (c->pieces > 1) v.meanWait = (c->lastData - c->firstData) / (c->pieces - 1);
    views.push_back(v);
  }
  return views;
}

// Measures the speed of the connections running over a window long enough to see them (a
// few chunks of each), and lets the planner decide how many run next.
void Task::MeasureRamp(Clock::time_point now) {
  const auto elapsed = now - windowStart_;
  const std::int64_t bytes = Downloaded() - windowBytes_;
  const int count = int(connections_.size());
  if (elapsed < options_.window || bytes == 0) return;
  if (bytes < kRampWindowBytes * count && elapsed < 20 * options_.window) return;
  // Connections beyond a lowered target were added on trial: they end with their short
  // ranges and are not replaced.
  NextRampStep(ramp_, count, double(bytes) / std::chrono::duration<double>(elapsed).count(), connectionCap_);
  windowStart_ = now;
  windowBytes_ = Downloaded();
}

void Task::Tick(Clock::time_point now) {
  if (*flushesPending_ == 0) {
    if (state_ == DL_STATE_STOPPING) state_ = DL_STATE_STOPPED;
    if (startWhenFlushed_) {
      startWhenFlushed_ = false;
      Start();
    }
  }
  const std::int64_t bytes = Downloaded();
  if (lastTick_ != Clock::time_point{}) {
    const double dt = std::chrono::duration<double>(now - lastTick_).count();
    if (dt > 0) {
      const double instant = double(bytes - lastDownloaded_) / dt;
      speed_ += std::min(1.0, dt) * (instant - speed_);  // about one second of smoothing
    }
  }
  lastTick_ = now;
  lastDownloaded_ = bytes;
  if (!Active()) {
    speed_ = 0;
    return;
  }
  if (splitting_ && file_.rangeable && file_.total >= 0) MeasureRamp(now);
  if (!OverlapsMatch()) return RestartFromZero();
  Plan(now);
  StartWriteBack();
  if (Active() && now - lastCheckpoint_ >= options_.checkpoint) {
    if (part_.Gone()) return Fail(DL_FAIL_FOLDER);
    Checkpoint();
    lastCheckpoint_ = now;
  }
}

// Starts writing the data out now, so that the flushes of checkpoints and of completion find
// little left to do. Even this start waits on the disk (30-60 ms on a fast download), so it
// runs on the flusher, one at a time.
void Task::StartWriteBack() {
  if (!Active() || !part_.IsOpen() || writeBackQueued_->exchange(true)) return;
  const int fd = part_.Duplicate();
  if (fd < 0) {
    *writeBackQueued_ = false;
    return;
  }
  flusher_.Add([fd, queued = writeBackQueued_] {
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    close(fd);
    *queued = false;
  });
}

// Data first, then the state that claims it: the state file never names a byte that is not
// on disk.
void Task::Checkpoint() {
  if (!part_.IsOpen() || file_.total < 0) return;
  RangeSet onDisk = written_;
  for (auto& c : connections_)
    if (c->pos > c->begin) onDisk.Add({c->begin, c->pos});
  if (onDisk.ranges() == lastSaved_.done.ranges() && file_.etag == lastSaved_.etag && file_.total == lastSaved_.total)
    return;
  // The flusher gets its own descriptor of the file (sharing the lock) and flushes the data
  // before it writes the state that claims it, as before, only not on the engine thread.
  const int fd = part_.Duplicate();
  if (fd < 0) return;
  file_.done = onDisk;
  lastSaved_ = file_;
  ++*flushesPending_;
  flusher_.Add([fd, state = file_, path = ControlPath(), pending = flushesPending_, multi = multi_] {
    if (fdatasync(fd) == 0) WriteControlFile(path, state);
    close(fd);
    --*pending;
    curl_multi_wakeup(multi);  // the task may be waiting for it
  });
}

void Task::Finish() {
  // A state file still on its way would appear beside the complete file: the next tick
  // finishes instead.
  if (*flushesPending_ > 0) return;
  if (!OverlapsMatch()) return RestartFromZero();  // never a file mixed of two versions
  AbortAll();
  if (!part_.FlushAndClose(file_.total)) return Fail(DL_FAIL_DISK_WRITE);
  const std::string chosen = part_.Complete(!order_.disableAutoRename);
  if (chosen.empty()) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = DL_FAIL_DISK_WRITE;
    return;
  }
  savedName_ = chosen;
  state_ = DL_STATE_COMPLETE;
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
  p.speed = Active() ? int(std::min(speed_, 2.0e9)) : 0;
  return p;
}

}  // namespace dlcore
