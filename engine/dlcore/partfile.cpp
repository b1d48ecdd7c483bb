#include "partfile.h"

#include "dlcore.h"
#include "files.h"
#include "platform/fileio.h"
#include "platform/freespace.h"
#include "platform/sync.h"

namespace dlcore {

namespace {

// What a refused open says about the download. A link or a FIFO at the name is the folder's,
// not ours.
int OpenFailure(platform::Fault fault) {
  if (fault == platform::Fault::kBadName) return DL_FAIL_BAD_NAME;
  if (fault == platform::Fault::kDiskFull) return DL_FAIL_DISK_FULL;
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
  if (fd_ == platform::kNoFile) {
    const platform::Fault fault = platform::LastFault();
    return fault == platform::Fault::kNotFound ? 0 : OpenFailure(fault);
  }
  return Planted() ? DL_FAIL_FOLDER : 0;
}

int PartFile::Create() {
  Close();
  fd_ = platform::OpenFile(PartPath(), platform::OpenMode::kReadWriteCreateNew, 0644);
  if (fd_ == platform::kNoFile) {
    const platform::Fault fault = platform::LastFault();
    return fault == platform::Fault::kExists ? DL_FAIL_TARGET_BUSY : OpenFailure(fault);  // another made it meanwhile
  }
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
  const auto facts = IsOpen() ? platform::FactsOf(fd_) : std::nullopt;
  return facts ? facts->size : 0;
}

int PartFile::Reserve(std::int64_t size) const {
  const auto available = IsOpen() ? platform::FreeSpaceOf(fd_) : platform::FreeSpaceOfFolder(folder_);
  const auto facts = IsOpen() ? platform::FactsOf(fd_) : std::nullopt;
  const std::int64_t allocated = facts ? facts->allocated : 0;
  if (available && size - allocated > *available) return DL_FAIL_DISK_FULL;
  if (!IsOpen()) return 0;
  const platform::Fault refused = platform::ReserveRoom(fd_, size);
  return refused == platform::Fault::kDiskFull || refused == platform::Fault::kTooLarge ? DL_FAIL_DISK_FULL : 0;
}

void PartFile::Release(const std::vector<ByteRange>& gaps) const {
  if (!IsOpen()) return;
  for (const ByteRange& gap : gaps) platform::ReleaseRoom(fd_, gap.begin, gap.size());
}

bool PartFile::Truncate() const { return IsOpen() && platform::TruncateFile(fd_, 0); }

bool PartFile::Write(const char* data, size_t size, std::int64_t offset, platform::Fault& error) const {
  if (common::WriteAll(fd_, std::string_view(data, size), offset)) return true;
  error = platform::LastFault();
  return false;
}

bool PartFile::ReadAt(std::string& into, std::int64_t offset) const {
  return IsOpen() && platform::ReadExactlyAt(fd_, into.data(), into.size(), offset);
}

bool PartFile::Gone() const {
  const auto facts = IsOpen() ? platform::FactsOf(fd_) : std::nullopt;
  return facts && facts->links == 0;
}

platform::FileHandle PartFile::Duplicate() const { return IsOpen() ? platform::DuplicateFile(fd_) : platform::kNoFile; }

bool PartFile::Flush(std::int64_t expectedSize) const {
  const auto facts = IsOpen() ? platform::FactsOf(fd_) : std::nullopt;
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
      if (!renamed && platform::LastFault() != platform::Fault::kExists) break;
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
  if (IsOpen()) platform::CloseFile(fd_);
  fd_ = platform::kNoFile;
  locked_ = false;
}

}  // namespace dlcore
