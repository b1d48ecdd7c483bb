#pragma once
// Keeps a download's state file up with its data, on the flusher thread: the data is flushed
// first, then the state that claims it is written, so the state file never names a byte that
// is not on disk. One save is on its way at a time and the next one is asked for as soon as
// it is done, so however long a flush takes, the state file lags the flushed data by at most
// one flush and the interval.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "controlfile.h"
#include "flusher.h"
#include "options.h"
#include "platform/fileio.h"

namespace dlcore {

class Checkpointer {
 public:
  // `wake` is called on the flusher thread when a save is done (the engine loop may be
  // waiting for it).
  Checkpointer(Flusher& flusher, Clock::duration interval, std::function<void()> wake)
      : flusher_(flusher), interval_(interval), wake_(std::move(wake)) {}
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

  // Whether a save of a changed state should start now: none is on its way, and the interval
  // has passed or `unsaved` bytes written since the last save reach `unsavedLimit`.
  bool Due(Clock::time_point now, std::int64_t unsaved, std::int64_t unsavedLimit) const;
  // Flushes the data of `fd` (a descriptor of its own, closed when done) and then writes
  // `state` to `path`. `state` becomes the last saved one at once.
  void Save(platform::FileHandle fd, const ControlState& state, const std::string& path, Clock::time_point now);
  // Starts writing the data of `fd` out (closed when done), so that the next flush finds
  // little left to do; skipped while the last one is still on its way.
  void StartWriteBack(platform::FileHandle fd);
  bool Busy() const { return *pending_ > 0; }
  const ControlState& lastSaved() const { return lastSaved_; }
  void Forget(ControlState saved = {}) { lastSaved_ = std::move(saved); }

 private:
  Flusher& flusher_;
  Clock::duration interval_;
  std::function<void()> wake_;
  // Shared with the flusher's jobs, which may outlive nothing but must not touch the task.
  std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<bool>> writingBack_ = std::make_shared<std::atomic<bool>>(false);
  ControlState lastSaved_;
  Clock::time_point lastSave_{};
};

}  // namespace dlcore
