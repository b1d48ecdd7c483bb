#include "task.h"

#include "files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

struct Connection {
  Task* task = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::int64_t begin = 0, pos = 0, end = -1;  // end -1: to the end of an unknown size
  std::int64_t requestedEnd = -1;             // end may shrink when another connection takes over
  bool sole = false;   // the task's only connection when it was opened
  bool plain = false;  // no Range header at all
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
  int writeError = 0;
  int failCode = 0;  // the task fails with this, decided while judging the answer

  ~Connection() {
    if (easy) curl_easy_cleanup(easy);
    if (headers) curl_slist_free_all(headers);
  }
};

namespace {

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
  ParseHeaderLine(static_cast<Connection*>(user)->head, std::string_view(data, size * count));
  return size * count;
}

size_t BodyCallback(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Connection*>(user);
  return c->task->OnBody(*c, data, size * count);
}

bool PwriteAll(int fd, const char* data, size_t size, std::int64_t offset, int& error) {
  while (size > 0) {
    ssize_t n = pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      return false;
    }
    data += n, size -= size_t(n), offset += n;
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

// The longest name whose temporary state file ("<name>.part.ctl.tmp") a file system with
// 255-byte names can hold.
constexpr size_t kMaxNameBytes = 255 - std::char_traits<char>::length(".part.ctl.tmp");

// What a refused open says about the task.
int OpenFailure(int error) {
  if (error == ENAMETOOLONG || error == EILSEQ || error == EINVAL) return DL_FAIL_BAD_NAME;
  if (error == ENOSPC || error == EDQUOT) return DL_FAIL_DISK_FULL;
  return DL_FAIL_FOLDER;
}

// "name.ext" → "name(n).ext"
std::string NumberedName(const std::string& name, int n) {
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) return name + "(" + std::to_string(n) + ")";
  return name.substr(0, dot) + "(" + std::to_string(n) + ")" + name.substr(dot);
}

}  // namespace

Task::Task(CURLM* multi, Flusher& flusher, TaskSpec order, TaskTuning tuning)
    : multi_(multi), flusher_(flusher), spec_(std::move(order)), tuning_(tuning), connectionCap_(tuning.maxConnections) {
  if (spec_.failure) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = spec_.failure;
  }
}

Task::~Task() {
  AbortAll();
  if (fd_ >= 0) close(fd_);
}

bool Task::Owns(CURL* easy) const {
  return std::any_of(connections_.begin(), connections_.end(), [easy](auto& c) { return c->easy == easy; });
}

void Task::Start() {
  if (state_ == DL_STATE_COMPLETE || Active()) return;
  if (*flushesPending_ > 0) {  // the last stop's state is still on its way to the disk
    startWhenFlushed_ = true;
    return;
  }
  if (spec_.failure) return Fail(spec_.failure);
  failCode_ = 0;
  failuresInRow_ = 0;
  restarts_ = 0;
  settled_ = false;
  splitting_ = true;
  connectionCap_ = tuning_.maxConnections;
  previousCount_ = 0;
  windowStart_ = {};
  retryAt_ = {};
  overlaps_.clear();
  if (!OpenFiles()) return;
  if (fd_ >= 0 && file_.total > 0) {
    if (int code = Reserve(file_.total)) return Fail(code);
  }
  state_ = DL_STATE_REQUESTING;
  lastCheckpoint_ = Clock::now();
  std::vector<ByteRange> gaps = file_.done.Gaps(file_.total);
  if (file_.total < 0 || gaps.empty()) {
    if (file_.total >= 0) return Finish();  // everything was on disk already
    return StartFresh();
  }
  Launch(gaps.front(), true);
  windowStart_ = Clock::now();
  windowBytes_ = Downloaded();
}

// The data file when there is one, locked, and what the state file says of it when it can
// be trusted: same address, a resumable answer, and a data file as long as the bytes it
// claims. Without a data file nothing is made yet: the first good answer makes it.
bool Task::OpenFiles() {
  std::error_code ec;
  std::filesystem::create_directories(spec_.folder, ec);
  if (!std::filesystem::is_directory(spec_.folder, ec) || access(spec_.folder.c_str(), W_OK | X_OK) != 0) {
    Fail(DL_FAIL_FOLDER);
    return false;
  }
  if (spec_.name.size() > kMaxNameBytes) {
    Fail(DL_FAIL_BAD_NAME);
    return false;
  }
  fd_ = open(PartPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0 && errno != ENOENT) {
    Fail(OpenFailure(errno));
    return false;
  }
  // A flush of an earlier task of this engine may still hold the file: let it finish first.
  if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) flusher_.WaitIdle();
  if (fd_ >= 0 && !LockPartFile()) {
    Fail(DL_FAIL_TARGET_BUSY);  // another process downloads into this file: its files stay as they are
    return false;
  }
  std::optional<ControlState> saved = fd_ >= 0 && spec_.resume ? ReadControlFile(ControlPath()) : std::nullopt;
  struct stat st {};
  if (fd_ >= 0) fstat(fd_, &st);
  bool usable = saved && saved->url == spec_.url && saved->total >= 0 && saved->rangeable &&
                (saved->done.ranges().empty() || saved->done.ranges().back().end <= st.st_size);
  if (usable) {
    file_ = *saved;
    written_ = saved->done;
    lastSaved_ = file_;
  } else {
    file_ = FreshState();
    written_.Clear();
    lastSaved_ = ControlState{};
    if (fd_ >= 0 && ftruncate(fd_, 0) != 0) {
      Fail(DL_FAIL_DISK_WRITE);
      return false;
    }
    unlink(ControlPath().c_str());
  }
  return true;
}

// Made, and locked, only once an answer has been judged to be the file.
bool Task::CreatePartFile(Connection& c) {
  fd_ = open(PartPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    c.failCode = OpenFailure(errno);
    return false;
  }
  if (!LockPartFile()) {  // another process made it in the meantime
    c.failCode = DL_FAIL_TARGET_BUSY;
    return false;
  }
  return true;
}

// Takes the data file's lock; when another download holds it, lets go of the file instead.
bool Task::LockPartFile() {
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  close(fd_);
  fd_ = -1;
  return false;
}

// Room for the whole file, taken now so that a full disk shows at once and not halfway. A
// size the free space cannot hold is refused before a byte is reserved: the server's word
// alone never fills a disk. Returns a failure code, 0 when the room is there.
int Task::Reserve(std::int64_t size) {
  struct statvfs vfs {};
  struct stat st {};
  const bool known = (fd_ >= 0 ? fstatvfs(fd_, &vfs) : statvfs(spec_.folder.c_str(), &vfs)) == 0;
  const std::int64_t allocated = fd_ >= 0 && fstat(fd_, &st) == 0 ? std::int64_t(st.st_blocks) * 512 : 0;
  const double available = double(vfs.f_bavail) * double(vfs.f_frsize);
  if (known && double(size - allocated) > available) return DL_FAIL_DISK_FULL;
  if (fd_ < 0) return 0;
  int rc = posix_fallocate(fd_, 0, size);
  return rc == ENOSPC || rc == EDQUOT || rc == EFBIG ? DL_FAIL_DISK_FULL : 0;
}

// A failed or stopped task keeps its data, not the room reserved for the rest.
void Task::ReleaseUnwrittenSpace() {
  if (fd_ < 0 || file_.total <= 0) return;
  for (const ByteRange& gap : written_.Gaps(file_.total))
    fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, gap.begin, gap.end - gap.begin);
}

// The data file has no name any more: its folder (or the file) was deleted under the task.
bool Task::PartFileGone() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

void Task::StartFresh() {
  file_ = FreshState();
  written_.Clear();
  overlaps_.clear();
  if (fd_ >= 0 && ftruncate(fd_, 0) != 0) return Fail(DL_FAIL_DISK_WRITE);
  Launch({0, -1}, true);
  windowStart_ = Clock::now();  // the measurement of one stream counts its start-up
  windowBytes_ = 0;
  previousCount_ = 0;
  connectionTarget_ = 1;
}

void Task::RestartFromZero() {
  if (++restarts_ > 3) return Fail(DL_FAIL_UNSTABLE);
  AbortAll();
  unlink(ControlPath().c_str());
  lastSaved_ = ControlState{};
  state_ = DL_STATE_REQUESTING;
  StartFresh();
}

void Task::Launch(ByteRange range, bool sole, bool plain) {
  auto c = std::make_unique<Connection>();
  c->task = this;
  c->begin = c->pos = range.begin;
  c->end = c->requestedEnd = range.end;
  c->sole = sole;
  c->plain = plain;
  c->easy = curl_easy_init();
  if (!c->easy) return ConnectionFailed(Clock::now());
  CURL* e = c->easy;
  const bool secure = spec_.url.size() > 5 && (spec_.url[4] == 's' || spec_.url[4] == 'S');
  curl_easy_setopt(e, CURLOPT_URL, spec_.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1024L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, tuning_.lowSpeedTime);
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 1024L * 1024);  // fewer, larger writes
  curl_easy_setopt(e, CURLOPT_USERAGENT, tuning_.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, c.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, BodyCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, c.get());
  curl_easy_setopt(e, CURLOPT_PRIVATE, c.get());
  if (!plain) {
    c->overlapLength = std::min<std::int64_t>(kOverlapBytes, range.begin);
    std::string bytes = std::to_string(range.begin - c->overlapLength) + "-" + (range.end >= 0 ? std::to_string(range.end - 1) : "");
    curl_easy_setopt(e, CURLOPT_RANGE, bytes.c_str());
  }
  // A sole request resumes only the same file (anything else answers 200 with all of it);
  // an extra connection is refused (412) when the file has changed.
  const std::string& validator = file_.etag.empty() ? file_.lastModified : file_.etag;
  if (!plain && !validator.empty()) {
    std::string line = sole ? "If-Range: " + validator
                            : file_.etag.empty() ? "If-Unmodified-Since: " + validator : "If-Match: " + validator;
    c->headers = curl_slist_append(nullptr, line.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, c->headers);
  }
  curl_multi_add_handle(multi_, e);
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
  if (fd_ >= 0) {
    if (written_.Covered() == 0 && lastSaved_.done.ranges().empty()) {
      // Nothing was kept: nothing is left behind (the lock says the files are ours).
      unlink(PartPath().c_str());
      unlink(ControlPath().c_str());
    } else {
      Checkpoint();  // what is on disk stays resumable
      ReleaseUnwrittenSpace();
    }
    close(fd_);
    fd_ = -1;
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
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (*flushesPending_ == 0) state_ = DL_STATE_STOPPED;  // else when the flush is done (Tick)
}

// Decides once per answer whether its body may be written, before the first byte.
bool Task::Judged(Connection& c) {
  if (!c.judged) {
    c.judged = true;
    KnownFile known{file_.total, file_.etag, file_.lastModified};
    if (c.plain) {
      c.verdict = c.head.conflictingLength ? Verdict::Foreign : c.head.status == 200 ? Verdict::Restart : c.head.status == 429 || c.head.status == 503 ? Verdict::Retry : Verdict::Fail;
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
  if (fd_ < 0) {
    // A size the disk cannot hold is refused before a file is made.
    const std::int64_t size = restart ? head.contentLength : head.range->total;
    if (int code = size > 0 ? Reserve(size) : 0) {
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
    if (ftruncate(fd_, 0) != 0) {
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
    if (int code = Reserve(file_.total)) {
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
  if (allowed && !PwriteAll(fd_, data, allowed, c.pos, c.writeError)) return 0;
  c.pos += std::int64_t(allowed);
  if (allowed) {
    state_ = DL_STATE_RUNNING;
    c.lastData = Clock::now();
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
    if (!onDisk.Contains(range) || fd_ < 0) {
      ++it;
      continue;
    }
    std::string there(it->second.size(), '\0');
    if (pread(fd_, there.data(), there.size(), range.begin) != ssize_t(there.size()) || there != it->second) return false;
    it = overlaps_.erase(it);
  }
  return true;
}

void Task::ConnectionFailed(Clock::time_point now, int code) {
  if (++failuresInRow_ >= tuning_.maxFailures) return Fail(code);
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
  const bool unknownSizeDone = result == CURLE_OK && c.end < 0 && c.judged &&
                               (c.verdict == Verdict::Accept || c.verdict == Verdict::Restart);
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
        if (fd_ >= 0 && ftruncate(fd_, 0) != 0) return Fail(DL_FAIL_DISK_WRITE);
        Launch({0, -1}, true, true);
      }
      return;
    case Verdict::Refuse:
      connectionCap_ = std::max<int>(1, int(connections_.size()));
      settled_ = true;
      return;
    case Verdict::Retry:
      if (++failuresInRow_ >= tuning_.maxFailures) return Fail(int(status));
      retryAt_ = now + std::chrono::milliseconds(500 << std::min(failuresInRow_, 4));
      return;
    case Verdict::Accept:
    case Verdict::Restart:
      break;
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
  const int wanted = splitting_ ? std::min(connectionTarget_, connectionCap_) : 1;
  while (int(connections_.size()) < wanted || connections_.empty()) {
    std::vector<ByteRange> inFlight;
    for (auto& c : connections_) inFlight.push_back({c->pos, c->end});
    auto plan = PlanConnection(free, inFlight, connections_.empty() ? 1 : tuning_.minSplit);
    if (!plan && RecycleStalledTail(now)) {
      free = Covered().Gaps(file_.total);
      continue;
    }
    if (!plan) break;
    if (plan->splitFrom) connections_[*plan->splitFrom]->end = plan->range.begin;
    Launch(plan->range, connections_.empty());
    free = Covered().Gaps(file_.total);
  }
}

// At the tail, a connection that has had no data for a while (a server that serves each
// connection in time slots, or a slow path) hands its small remainder back, so that a
// fresh connection fetches it while others stand idle.
bool Task::RecycleStalledTail(Clock::time_point now) {
  for (auto& c : connections_)
    if (c->end - c->pos > 0 && c->end - c->pos <= 2 * tuning_.minSplit && now - c->lastData > tuning_.window) {
      Abort(*c);
      return true;
    }
  return false;
}

// One stream runs alone for a window, its start-up included, to measure it; then all the
// connections run for a window. When they do not raise the speed by half, the trial is
// taken back and the single stream goes on alone: one stream that fills the line is not
// slowed by splitting, and a server that limits each connection gets all of them at once.
void Task::Ramp(Clock::time_point now) {
  if (now - windowStart_ < tuning_.window || Downloaded() == windowBytes_) return;
  const double seconds = std::chrono::duration<double>(now - windowStart_).count();
  const double speed = double(Downloaded() - windowBytes_) / seconds;
  const int count = int(connections_.size());
  if (previousCount_ == 0) {
    previousWindowSpeed_ = speed;
    previousCount_ = count;
    connectionTarget_ = connectionCap_;
  } else {
    if (speed < previousWindowSpeed_ * 1.5) {
      connectionTarget_ = previousCount_;
      while (int(connections_.size()) > connectionTarget_) Abort(*connections_.back());
    }
    settled_ = true;
  }
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
  if (splitting_ && file_.rangeable && !settled_ && file_.total >= 0) Ramp(now);
  if (!OverlapsMatch()) return RestartFromZero();
  Plan(now);
  StartWriteBack();
  if (Active() && now - lastCheckpoint_ >= tuning_.checkpoint) {
    if (PartFileGone()) return Fail(DL_FAIL_FOLDER);
    Checkpoint();
    lastCheckpoint_ = now;
  }
}

// Starts writing the data out now, so that the flushes of checkpoints and of completion find
// little left to do. Even this start waits on the disk (30-60 ms on a fast download), so it
// runs on the flusher, one at a time.
void Task::StartWriteBack() {
  if (!Active() || fd_ < 0 || writeBackQueued_->exchange(true)) return;
  const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
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
  if (fd_ < 0 || file_.total < 0) return;
  RangeSet onDisk = written_;
  for (auto& c : connections_)
    if (c->pos > c->begin) onDisk.Add({c->begin, c->pos});
  if (onDisk.ranges() == lastSaved_.done.ranges() && file_.etag == lastSaved_.etag && file_.total == lastSaved_.total)
    return;
  // The flusher gets its own descriptor of the file (sharing the lock) and flushes the data
  // before it writes the state that claims it, as before, only not on the engine thread.
  const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
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
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0 || fdatasync(fd_) != 0 || st.st_size != file_.total) return Fail(DL_FAIL_DISK_WRITE);
  close(fd_);
  fd_ = -1;
  std::string chosen = spec_.name;
  bool renamed = false;
  if (spec_.disableAutoRename) {
    renamed = rename(PartPath().c_str(), TargetPath().c_str()) == 0;
  } else {
    for (int n = 0; n < 1000 && !renamed; ++n) {
      chosen = n == 0 ? spec_.name : NumberedName(spec_.name, n);
      std::string target = spec_.folder + "/" + chosen;
      renamed = MoveNoReplace(PartPath(), target);
      if (!renamed && errno != EEXIST) break;
    }
  }
  if (!renamed) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = DL_FAIL_DISK_WRITE;
    return;
  }
  unlink(ControlPath().c_str());
  SyncFolder(spec_.folder);
  savedName_ = chosen;
  state_ = DL_STATE_COMPLETE;
}

Progress Task::Snapshot() const {
  Progress p;
  p.stat = state_;
  p.failCode = failCode_;
  p.name = savedName_.empty() ? spec_.name : savedName_;
  p.total = std::max<std::int64_t>(file_.total, 0);
  p.downloaded = state_ == DL_STATE_COMPLETE ? p.total : Downloaded();
  p.percent = state_ == DL_STATE_COMPLETE ? 1.0f : p.total > 0 ? float(double(p.downloaded) / double(p.total)) : 0.0f;
  p.sources = int(connections_.size());
  p.sourcesInUse = int(std::count_if(connections_.begin(), connections_.end(), [](auto& c) { return c->pos > c->begin; }));
  p.speed = Active() ? int(std::min(speed_, 2.0e9)) : 0;
  return p;
}
