#pragma once
// One download: its files, its connections and its state. Runs on the engine thread only;
// the engine copies its Progress out for queries.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checkpointer.h"
#include "connection.h"
#include "controlfile.h"
#include "dlcore.h"
#include "flusher.h"
#include "options.h"
#include "partfile.h"
#include "planner.h"
#include "ranges.h"
#include "ratelimit.h"
#include "recordcodec.h"
#include "response.h"
#include "segments.h"

namespace dlcore {

// What a task is asked to download, as the creation record says it.
struct TaskOrder {
  std::string url;     // UTF-8, escaped for the wire
  std::string folder;  // UTF-8
  std::string name;    // UTF-8
  bool disableAutoRename = false;
  bool resume = true;
  // The record's IsOnlyOriginal: only the file itself, never a web page in its place (the
  // packages of the download servers are archives, never pages).
  bool neverPage = false;
  int failure = 0;  // set when the record could not be used
};

// What a task reports: the progress record's fields.
using Progress = records::Progress;

class Task {
 public:
  // Flushes go to `flusher`; the engine thread never waits on the disk for this task.
  // `limiter`, when given, is the engine's speed limit, shared with every other task.
  Task(CURLM* multi, Flusher& flusher, TaskOrder order, const EngineOptions& options = {},
       RateLimiter* limiter = nullptr);
  ~Task();
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  void Start();
  void Stop();  // pauses: connections closed, state flushed
  void Tick(Clock::time_point now);
  void TransferDone(CURL* easy, CURLcode result);  // a connection's transfer ended
  // Resumes the connections the speed limit held; the engine calls it once the limit allows.
  // True when one is held again (libcurl hands the kept piece back at once).
  bool ReleaseHeld();
  // The speed limit changed: the connections and the count of them follow it at once.
  void LimitChanged(Clock::time_point now);
  bool Holding() const;
  bool Owns(CURL* easy) const;
  bool Active() const { return state_ == DL_STATE_REQUESTING || state_ == DL_STATE_RUNNING; }
  Progress Snapshot() const;
  // Called on the engine thread while data arrives, at most every `kProgressInterval`: a
  // fast link keeps libcurl reading for a hundred milliseconds and more before the engine
  // loop comes round again, and the progress record must not stand still that long.
  void OnProgress(std::function<void()> publish) { publish_ = std::move(publish); }

  std::string PartPath() const { return part_.PartPath(); }
  std::string ControlPath() const { return part_.ControlPath(); }

 private:
  // task.cpp: the files, the answers and the end of the download
  bool OpenFiles();
  bool TakePartFile();    // the existing data file opened and locked, when there is one
  bool TakeSavedState();  // its saved state when it may be resumed, else a fresh start
  bool CreatePartFile(Connection& c);
  void ReleaseUnwrittenSpace();
  void StartFresh();
  // How a connection opens: as the task's only one (whose answer may tell the file's size,
  // validators and range support), without any Range header, or beside others.
  enum class Opening { kSole, kSoleWithoutRange, kExtra };
  void Launch(ByteRange range, Opening opening);
  void Abort(Connection& c);
  void AbortAll();
  void Fail(int code);
  void RestartFromZero();
  size_t OnBody(Connection& c, const char* data, size_t size);
  bool Judged(Connection& c);
  bool AdoptFirstAnswer(const ResponseHead& head, Connection& c, bool restart);
  void AfterVerdict(Verdict verdict, long status, Clock::time_point now);
  void ConnectionFailed(Clock::time_point now, int code = DL_FAIL_NETWORK);
  void Finish();
  void WriteDoneRecord(const std::string& chosen) const;
  void Wrote(Connection& c, size_t bytes);
  ControlState FreshState() const {
    ControlState s;
    s.url = order_.url;
    return s;
  }

  // taskplan.cpp: how many connections, where each goes, and the state file
  void Plan(Clock::time_point now);
  // Whether a connection's range can be handed on: judged, by range, of known size, not done.
  bool Movable(const Connection& c) const;
  // A connection cut before asked the server for more than its range: once the speed limit
  // holds it, its buffers fill with those bytes, thrown away when it reaches its end. It ends
  // while they hold little, and a fresh request asks for its range alone.
  void AskForCutRangesAlone();
  std::vector<ConnectionView> Views(Clock::time_point now) const;
  static std::int64_t FreeBytes(const std::vector<ByteRange>& free);
  double RequestSpeed() const;
  void RequestEnded(const Connection& c, Clock::time_point now);
  void MeasureRamp(Clock::time_point now);
  void Checkpoint(Clock::time_point now, bool final);
  std::int64_t UnsavedLimit() const;
  std::vector<ByteRange> Receiving() const;  // what running connections have received
  std::vector<ByteRange> Owned() const;      // what running connections are asked for
  std::int64_t Downloaded() const { return segments_.Downloaded(Receiving(), file_.total); }
  bool OverlapsMatch();

  CURLM* multi_;
  Flusher& flusher_;
  RateLimiter* limiter_;
  TaskOrder order_;
  EngineOptions options_;
  int state_ = DL_STATE_STOPPED;
  int failCode_ = 0;
  std::string savedName_;  // the name the file ends up with
  ControlState file_;      // what the server said, and the bytes flushed to disk
  Segments segments_;
  std::vector<std::unique_ptr<Connection>> connections_;
  PartFile part_;
  Checkpointer checkpointer_;
  std::int64_t unsaved_ = 0;     // bytes written since the last save began
  bool startWhenSaved_ = false;  // a start waits for the last stop's state to reach the disk
  int restarts_ = 0;
  int failuresInRow_ = 0;
  int lastNetworkFailure_ = DL_FAIL_NETWORK;
  int connectionCap_;
  bool splitting_ = true;
  bool confirmed_ = false;      // an answer of this start was the file the task knows
  double requestSpeed_ = 0;     // bytes per second of one request, its wait for the answer included
  std::int64_t duplicate_ = 0;  // bytes received twice: overlaps and the ends of shared ranges
  Clock::time_point retryAt_{};
  std::function<void()> publish_;
  Clock::time_point lastPublished_{};
  SpeedMeter speed_;
  Clock::duration roundTrip_{};  // the shortest measured; zero until one is
  // ramp: how many connections, measured over windows
  Clock::time_point windowStart_{};
  std::int64_t windowBytes_ = 0;
  bool heldInWindow_ = false;  // the speed limit held one of its connections in this window
  bool warmedUp_ = false;
  Ramp ramp_;
  size_t releaseTurn_ = 0;  // the connection the speed limit releases first next time
};

}  // namespace dlcore
