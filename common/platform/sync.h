#pragma once
// Data on its way to the disk. A failed call returns false and leaves the reason in errno.
#include <string>

namespace platform {

bool FlushFile(int fd);      // the data and every fact of the file
bool FlushFileData(int fd);  // the data and what reading it back needs
// The disk starts writing what the file holds, without waiting for it: a later flush finds
// less to do.
void StartWriteBack(int fd);
// A folder's entries (a new or renamed name); nothing to report when it fails.
void FlushFolder(const std::string& folder);

}  // namespace platform
