#include "partfile.h"

#include <cerrno>

#include "dlcore.h"
#include "files.h"
#include "platform/fileio.h"
#include "platform/freespace.h"
#include "platform/sync.h"

namespace dlcore {

namespace {

// What a refused open says about the download.
int OpenFailure(int error) {
  if (error == ENAMETOOLONG || error == EILSEQ || error == EINVAL) return DL_FAIL_BAD_NAME;
  // ELOOP: a symbolic link at the name; ENXIO: a FIFO. Both are the folder's, not ours.
  if (error == ENOSPC || error == EDQUOT) return DL_FAIL_DISK_FULL;
  return DL_FAIL_FOLDER;
}

// "name.ext" → "name(n).ext"
std::string NumberedName(const std::string& name, int n) {
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) return name + "(" + std::to_string(n) + ")";
  return name.substr(0, dot) + "(" + std::to_string(n) + ")" + name.substr(dot);
}

}  // namespace

int PartFile::OpenExisting() {
  Close();
  fd_ = platform::OpenFile(PartPath(), platform::OpenMode::kReadWrite);
  if (fd_ < 0) return errno == ENOENT ? 0 : OpenFailure(errno);
  return Planted() ? DL_FAIL_FOLDER : 0;
}

int PartFile::Create() {
  Close();
  fd_ = platform::OpenFile(PartPath(), platform::OpenMode::kReadWriteCreateNew, 0644);
  if (fd_ < 0) return errno == EEXIST ? DL_FAIL_TARGET_BUSY : OpenFailure(errno);  // another made it meanwhile
  return Planted() ? DL_FAIL_FOLDER : 0;
}

bool PartFile::Planted() {
  // A FIFO, a device or a hard link to a file elsewhere is not the data of this download: it
  // is never written to (a symbolic link was refused by the open).
  if (platform::OnlyRegularFile(fd_)) return false;
  Close();
  return true;
}

bool PartFile::TryLock() {
  if (!locked_) locked_ = platform::TryLockExclusive(fd_);
  return locked_;
}

PartFile::Lock PartFile::LockOrLetGo() {
  if (!TryLock()) {
    Close();
    return Lock::kBusy;
  }
  const auto held = platform::FactsOf(fd_), named = platform::FactsOfPath(PartPath());
  if (!held || !named || !held->SameFileAs(*named)) {
    Close();
    return Lock::kMoved;
  }
  return Lock::kTaken;
}

std::int64_t PartFile::Size() const {
  const auto facts = fd_ >= 0 ? platform::FactsOf(fd_) : std::nullopt;
  return facts ? facts->size : 0;
}

int PartFile::Reserve(std::int64_t size) const {
  const auto available = fd_ >= 0 ? platform::FreeSpaceOf(fd_) : platform::FreeSpaceOfFolder(folder_);
  const auto facts = fd_ >= 0 ? platform::FactsOf(fd_) : std::nullopt;
  const std::int64_t allocated = facts ? facts->allocated : 0;
  if (available && size - allocated > *available) return DL_FAIL_DISK_FULL;
  if (fd_ < 0) return 0;
  const int rc = platform::ReserveRoom(fd_, size);
  return rc == ENOSPC || rc == EDQUOT || rc == EFBIG ? DL_FAIL_DISK_FULL : 0;
}

void PartFile::Release(const std::vector<ByteRange>& gaps) const {
  if (fd_ < 0) return;
  for (const ByteRange& gap : gaps) platform::ReleaseRoom(fd_, gap.begin, gap.size());
}

bool PartFile::Truncate() const { return fd_ >= 0 && platform::TruncateFile(fd_, 0); }

bool PartFile::Write(const char* data, size_t size, std::int64_t offset, int& error) const {
  if (common::WriteAll(fd_, std::string_view(data, size), offset)) return true;
  error = errno;
  return false;
}

bool PartFile::ReadAt(std::string& into, std::int64_t offset) const {
  return fd_ >= 0 && platform::ReadExactlyAt(fd_, into.data(), into.size(), offset);
}

bool PartFile::Gone() const {
  const auto facts = fd_ >= 0 ? platform::FactsOf(fd_) : std::nullopt;
  return facts && facts->links == 0;
}

int PartFile::Duplicate() const { return fd_ >= 0 ? platform::DuplicateFile(fd_) : -1; }

bool PartFile::Flush(std::int64_t expectedSize) const {
  const auto facts = fd_ >= 0 ? platform::FactsOf(fd_) : std::nullopt;
  return facts && platform::FlushFileData(fd_) && facts->size == expectedSize;
}

std::string PartFile::Complete(bool numbered) const {
  std::string chosen = name_;
  bool renamed = false;
  if (!numbered) {
    renamed = platform::RenameFile(PartPath(), TargetPath());
  } else {
    for (int n = 0; n < 1000 && !renamed; ++n) {
      chosen = n == 0 ? name_ : NumberedName(name_, n);
      renamed = common::MoveNoReplace(PartPath(), folder_ + "/" + chosen);
      if (!renamed && errno != EEXIST) break;
    }
  }
  if (!renamed) return {};
  platform::RemoveFile(ControlPath());
  common::SyncFolder(folder_);
  return chosen;
}

void PartFile::Remove() const {
  platform::RemoveFile(PartPath());
  platform::RemoveFile(ControlPath());
}

bool PartFile::RemoveUnlessHeld() {
  if (OpenExisting() == 0 && IsOpen() && !TryLock()) {
    Close();
    return false;
  }
  for (const std::string& path : {PartPath(), ControlPath(), ControlPath() + ".tmp"}) platform::RemoveFile(path);
  Close();
  return true;
}

void PartFile::Close() {
  if (fd_ >= 0) platform::CloseFile(fd_);
  fd_ = -1;
  locked_ = false;
}

}  // namespace dlcore
