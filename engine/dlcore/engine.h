#pragma once
// The engine: one thread that drives every task's connections on a libcurl multi handle.
// Calls from the program are carried out on that thread and waited for (they take
// milliseconds); progress is copied out of a snapshot and never waits for the thread.
#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "flusher.h"
#include "ratelimit.h"
#include "task.h"

namespace dlcore {

class Engine {
 public:
  // Handles count up from `firstId`, so that an engine started after another never hands
  // out a handle the first one did.
  explicit Engine(EngineOptions options = {}, std::uintptr_t firstId = 1);
  ~Engine();  // stops every task, flushing its state
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  std::uintptr_t Create(TaskOrder order);
  void Start(std::uintptr_t id);
  void Stop(std::uintptr_t id);
  void Delete(std::uintptr_t id);
  void DeleteTempFiles(const TaskOrder& order);
  bool Query(std::uintptr_t id, Progress& out) const;
  // The speed limit of all downloads together, in bytes per second; 0: none.
  void SetDownloadLimit(std::int64_t bytesPerSecond);
  std::uintptr_t NextId();

 private:
  void Run();
  void Call(std::function<void()> work);  // runs `work` on the engine thread and waits for it
  void Post(std::function<void()> work);  // runs `work` on the engine thread, later
  void Publish(std::uintptr_t id, const Task& task);
  Clock::duration ReleaseHeld(Clock::time_point now);

  EngineOptions options_;
  CURLM* multi_;
  Flusher flusher_;
  std::thread thread_;
  std::mutex queueMutex_;
  std::condition_variable done_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;

  // engine thread only
  std::map<std::uintptr_t, std::unique_ptr<Task>> tasks_;
  std::uintptr_t nextId_ = 1;
  RateLimiter limiter_;
  std::uintptr_t lastReleased_ = 0;  // the task released first last time

  mutable std::mutex snapshotMutex_;
  std::map<std::uintptr_t, Progress> snapshots_;
  // Stops asked for and not yet carried out: until then a task's own progress reports (still
  // "running") must not hide the "stopping" the caller was promised.
  std::map<std::uintptr_t, int> stopsAsked_;
};

// The task a creation record describes; a record with unterminated or unusable texts gives
// an order whose `failure` is set.
TaskOrder OrderFromRecord(const std::uint8_t* record);
// The most connections per download, for those who must be gentle to a server: read from
// the environment when the engine starts (1 to 16; anything else leaves `otherwise`). A
// process setting, as the C interface has no place for it; dlget's --connections sets it.
inline constexpr const char* kConnectionsVariable = "QUORVEL_DLCORE_CONNECTIONS";
int ConnectionCapFromEnvironment(int otherwise);

// The engine's name towards servers, with the partner and version of its installation from
// the id.dat text ("[partner]", "id=...", "ver = ..."); the plain name without one.
std::string UserAgentFromIdDat(const std::string& idDat);
// id.dat of the installation: ".download/id.dat" beside the engine library, or for the installed
// library the one in the installed data folder (<datadir>/quorvel/id.dat).
std::string ReadInstalledIdDat();

}  // namespace dlcore
