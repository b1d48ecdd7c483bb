#include <windows.h>

#include "platform/sync.h"
#include "platform/wide_windows.h"

namespace platform {

bool FlushFile(FileHandle file) { return FlushFileBuffers(AsHandle(file)); }

bool FlushFileData(FileHandle file) { return FlushFileBuffers(AsHandle(file)); }

void StartWriteBack(FileHandle) {}  // Windows' cache writes behind on its own

// NTFS journals its folders' entries: a rename is on disk once the call returns, and a folder
// cannot be flushed through a handle of its own as on POSIX.
void FlushFolder(const std::string&) {}

}  // namespace platform
