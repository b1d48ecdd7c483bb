#include "checkpointer.h"

#include <fcntl.h>
#include <unistd.h>

namespace dlcore {

bool Checkpointer::Due(Clock::time_point now, std::int64_t unsaved, std::int64_t unsavedLimit) const {
  return !Busy() && (now - lastSave_ >= interval_ || unsaved >= unsavedLimit);
}

void Checkpointer::Save(int fd, const ControlState& state, const std::string& path, Clock::time_point now) {
  lastSaved_ = state;
  lastSave_ = now;
  ++*pending_;
  flusher_.Add([fd, state, path, pending = pending_, wake = wake_] {
    if (fdatasync(fd) == 0) WriteControlFile(path, state);
    close(fd);
    --*pending;
    if (wake) wake();
  });
}

void Checkpointer::StartWriteBack(int fd) {
  if (writingBack_->exchange(true)) {
    close(fd);
    return;
  }
  flusher_.Add([fd, busy = writingBack_] {
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    close(fd);
    *busy = false;
  });
}

}  // namespace dlcore
