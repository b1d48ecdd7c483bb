#include <fcntl.h>
#include <unistd.h>

#include "platform/sync.h"

namespace platform {

bool FlushFile(FileHandle file) { return fsync(static_cast<int>(file)) == 0; }

bool FlushFileData(FileHandle file) { return fdatasync(static_cast<int>(file)) == 0; }

void StartWriteBack(FileHandle file) { sync_file_range(static_cast<int>(file), 0, 0, SYNC_FILE_RANGE_WRITE); }

void FlushFolder(const std::string& folder) {
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace platform
