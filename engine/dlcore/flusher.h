#pragma once
// The engine's one thread that waits on the disk: flushes of data and writes of state files
// run here, in the order they were given, so that the engine thread keeps moving transfers
// and progress while a flush takes its hundreds of milliseconds.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace dlcore {

class Flusher {
 public:
  Flusher();
  ~Flusher();  // runs what was given, then ends
  Flusher(const Flusher&) = delete;
  Flusher& operator=(const Flusher&) = delete;

  void Add(std::function<void()> job);
  void WaitIdle();  // until everything given so far has run

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<std::function<void()>> jobs_;
  bool busy_ = false, quit_ = false;
  std::thread thread_;
};

}  // namespace dlcore
