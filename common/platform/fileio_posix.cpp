#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fileio.h"

namespace platform {

namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }

int Flags(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead: return O_RDONLY;
    case OpenMode::kReadNoWait: return O_RDONLY | O_NONBLOCK;
    case OpenMode::kReadWrite: return O_RDWR | O_NOFOLLOW | O_NONBLOCK;
    case OpenMode::kReadWriteCreate: return O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK;
    case OpenMode::kReadWriteCreateNew: return O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK;
    case OpenMode::kWriteCreateTruncate: return O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK;
  }
  return O_RDONLY;
}

FileFacts FactsOfStat(const struct stat& st) {
  FileFacts f;
  f.regular = S_ISREG(st.st_mode);
  f.size = st.st_size;
  f.allocated = std::int64_t(st.st_blocks) * 512;  // st_blocks counts 512-byte units everywhere
  f.links = st.st_nlink;
  f.device = st.st_dev;
  f.inode = st.st_ino;
  f.permissions = st.st_mode & 07777;
#if defined(__linux__)
  f.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
  f.modifiedNs = std::int64_t(st.st_mtime) * 1000000000;
#endif
  return f;
}

}  // namespace

FileHandle OpenFile(const std::string& path, OpenMode mode, unsigned permissions) {
  return open(path.c_str(), Flags(mode) | O_CLOEXEC, mode_t(permissions));
}

FileHandle OpenUniqueFile(std::string& pathTemplate) { return mkostemp(pathTemplate.data(), O_CLOEXEC); }

bool CloseFile(FileHandle file) { return close(Fd(file)) == 0; }

FileHandle DuplicateFile(FileHandle file) { return fcntl(Fd(file), F_DUPFD_CLOEXEC, 0); }

std::int64_t ReadSome(FileHandle file, char* into, std::size_t size) {
  for (;;) {
    const ssize_t n = read(Fd(file), into, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool ReadExactlyAt(FileHandle file, char* into, std::size_t size, std::int64_t offset) {
  return pread(Fd(file), into, size, offset) == ssize_t(size);
}

std::int64_t WriteSome(FileHandle file, const char* data, std::size_t size, std::optional<std::int64_t> offset) {
  return offset ? pwrite(Fd(file), data, size, *offset) : write(Fd(file), data, size);
}

std::optional<FileFacts> FactsOf(FileHandle file) {
  struct stat st {};
  if (fstat(Fd(file), &st) != 0) return std::nullopt;
  return FactsOfStat(st);
}

bool OnlyRegularFile(FileHandle file) {
  const std::optional<FileFacts> facts = FactsOf(file);
  return facts && facts->regular && facts->links == 1;
}

std::optional<FileFacts> FactsOfPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FactsOfStat(st);
}

std::optional<FileFacts> FactsOfName(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  return FactsOfStat(st);
}

bool TruncateFile(FileHandle file, std::int64_t size) { return ftruncate(Fd(file), size) == 0; }

bool SetPermissions(FileHandle file, unsigned permissions) { return fchmod(Fd(file), mode_t(permissions)) == 0; }

Fault ReserveRoom(FileHandle file, std::int64_t size) {
  const int refused = posix_fallocate(Fd(file), 0, size);  // the error itself, not errno
  if (refused == 0) return Fault::kNone;
  errno = refused;
  return LastFault();
}

void ReleaseRoom(FileHandle file, std::int64_t begin, std::int64_t size) {
  fallocate(Fd(file), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, begin, size);
}

void AdviseSequential(FileHandle file) { posix_fadvise(Fd(file), 0, 0, POSIX_FADV_SEQUENTIAL); }

bool TryLockExclusive(FileHandle file) { return flock(Fd(file), LOCK_EX | LOCK_NB) == 0; }

bool CanWriteInFolder(const std::string& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

bool NameExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool MakeFolder(const std::string& path, unsigned permissions) { return mkdir(path.c_str(), mode_t(permissions)) == 0; }

bool RenameFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL) errno = ENOSYS;  // NFS and others: the flag itself is refused
  return false;
}

bool LinkFile(const std::string& from, const std::string& to) { return link(from.c_str(), to.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

}  // namespace platform
