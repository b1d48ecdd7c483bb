#include "partfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "dlcore.h"
#include "files.h"

namespace dlcore {

namespace {

// What a refused open says about the download.
int OpenFailure(int error) {
  if (error == ENAMETOOLONG || error == EILSEQ || error == EINVAL) return DL_FAIL_BAD_NAME;
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
  fd_ = open(PartPath().c_str(), O_RDWR | O_CLOEXEC);
  return fd_ < 0 && errno != ENOENT ? OpenFailure(errno) : 0;
}

int PartFile::Create() {
  Close();
  fd_ = open(PartPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd_ < 0 ? OpenFailure(errno) : 0;
}

bool PartFile::TryLock() const { return flock(fd_, LOCK_EX | LOCK_NB) == 0; }

PartFile::Lock PartFile::LockOrLetGo() {
  if (!TryLock()) {
    Close();
    return Lock::kBusy;
  }
  struct stat held {
  }, named{};
  if (fstat(fd_, &held) != 0 || stat(PartPath().c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    Close();
    return Lock::kMoved;
  }
  return Lock::kTaken;
}

std::int64_t PartFile::Size() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 ? std::int64_t(st.st_size) : 0;
}

int PartFile::Reserve(std::int64_t size) const {
  struct statvfs vfs {};
  struct stat st {};
  const bool known = (fd_ >= 0 ? fstatvfs(fd_, &vfs) : statvfs(folder_.c_str(), &vfs)) == 0;
  const std::int64_t allocated = fd_ >= 0 && fstat(fd_, &st) == 0 ? std::int64_t(st.st_blocks) * 512 : 0;
  const double available = double(vfs.f_bavail) * double(vfs.f_frsize);
  if (known && double(size - allocated) > available) return DL_FAIL_DISK_FULL;
  if (fd_ < 0) return 0;
  int rc = posix_fallocate(fd_, 0, size);
  return rc == ENOSPC || rc == EDQUOT || rc == EFBIG ? DL_FAIL_DISK_FULL : 0;
}

void PartFile::Release(const std::vector<ByteRange>& gaps) const {
  if (fd_ < 0) return;
  for (const ByteRange& gap : gaps) fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, gap.begin, gap.size());
}

bool PartFile::Truncate() const { return fd_ >= 0 && ftruncate(fd_, 0) == 0; }

bool PartFile::Write(const char* data, size_t size, std::int64_t offset, int& error) const {
  if (common::WriteAll(fd_, std::string_view(data, size), offset)) return true;
  error = errno;
  return false;
}

bool PartFile::ReadAt(std::string& into, std::int64_t offset) const {
  return fd_ >= 0 && pread(fd_, into.data(), into.size(), offset) == ssize_t(into.size());
}

bool PartFile::Gone() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

int PartFile::Duplicate() const { return fd_ >= 0 ? fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1; }

bool PartFile::Flush(std::int64_t expectedSize) const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 && fdatasync(fd_) == 0 && st.st_size == expectedSize;
}

std::string PartFile::Complete(bool numbered) const {
  std::string chosen = name_;
  bool renamed = false;
  if (!numbered) {
    renamed = rename(PartPath().c_str(), TargetPath().c_str()) == 0;
  } else {
    for (int n = 0; n < 1000 && !renamed; ++n) {
      chosen = n == 0 ? name_ : NumberedName(name_, n);
      renamed = common::MoveNoReplace(PartPath(), folder_ + "/" + chosen);
      if (!renamed && errno != EEXIST) break;
    }
  }
  if (!renamed) return {};
  unlink(ControlPath().c_str());
  common::SyncFolder(folder_);
  return chosen;
}

void PartFile::Remove() const {
  unlink(PartPath().c_str());
  unlink(ControlPath().c_str());
}

bool PartFile::RemoveUnlessHeld() {
  if (OpenExisting() == 0 && IsOpen() && !TryLock()) {
    Close();
    return false;
  }
  for (const std::string& path : {PartPath(), ControlPath(), ControlPath() + ".tmp"}) unlink(path.c_str());
  Close();
  return true;
}

void PartFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace dlcore
