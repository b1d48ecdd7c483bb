#include "checkpointer.h"

#include "platform/fileio.h"
#include "platform/sync.h"

namespace dlcore {

bool Checkpointer::Due(Clock::time_point now, std::int64_t unsaved, std::int64_t unsavedLimit) const {
  return !Busy() && (now - lastSave_ >= interval_ || unsaved >= unsavedLimit);
}

void Checkpointer::Save(platform::FileHandle fd, const ControlState& state, const std::string& path,
                        Clock::time_point now) {
  lastSaved_ = state;
  lastSave_ = now;
  ++*pending_;
  flusher_.Add([fd, state, path, pending = pending_, wake = wake_] {
    if (platform::FlushFileData(fd)) WriteControlFile(path, state);
    platform::CloseFile(fd);
    --*pending;
    if (wake) wake();
  });
}

void Checkpointer::StartWriteBack(platform::FileHandle fd) {
  if (writingBack_->exchange(true)) {
    platform::CloseFile(fd);
    return;
  }
  flusher_.Add([fd, busy = writingBack_] {
    platform::StartWriteBack(fd);
    platform::CloseFile(fd);
    *busy = false;
  });
}

}  // namespace dlcore
