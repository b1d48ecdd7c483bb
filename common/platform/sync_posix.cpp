#include <fcntl.h>
#include <unistd.h>

#include "platform/sync.h"

namespace platform {

bool FlushFile(int fd) { return fsync(fd) == 0; }

bool FlushFileData(int fd) { return fdatasync(fd) == 0; }

void StartWriteBack(int fd) { sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

void FlushFolder(const std::string& folder) {
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace platform
