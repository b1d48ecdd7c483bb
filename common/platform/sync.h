#pragma once
// Data on its way to the disk. A failed call returns false; LastFault() says why.
#include <string>

#include "platform/fileio.h"

namespace platform {

bool FlushFile(FileHandle file);      // the data and every fact of the file
bool FlushFileData(FileHandle file);  // the data and what reading it back needs
// The disk starts writing what the file holds, without waiting for it: a later flush finds
// less to do.
void StartWriteBack(FileHandle file);
// A folder's entries (a new or renamed name); nothing to report when it fails.
void FlushFolder(const std::string& folder);

}  // namespace platform
