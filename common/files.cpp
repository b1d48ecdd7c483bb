#include "files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace common {

bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

bool WriteAll(int fd, std::string_view data, std::optional<std::int64_t> offset) {
  while (!data.empty()) {
    const ssize_t n = offset ? pwrite(fd, data.data(), data.size(), *offset) : write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // a file that takes nothing would loop for ever
      return false;
    }
    data.remove_prefix(size_t(n));
    if (offset) *offset += n;
  }
  return true;
}

std::string UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = (data && *data == '/') ? std::string(data) : std::string(home ? home : "") + "/.local/share";
  return base + "/Quorvel";
}

std::optional<std::string> ReadFileUpTo(const std::string& path, std::uintmax_t maxBytes) {
  // Not blocking: opening a FIFO put where a file was expected would wait for a writer for ever.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> content;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::uintmax_t(st.st_size) <= maxBytes) {
    content.emplace();
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || content->size() + size_t(n) > maxBytes) {  // unreadable, or grew meanwhile
        content.reset();
        break;
      }
      if (n == 0) break;
      content->append(buffer, size_t(n));
    }
  }
  close(fd);
  return content;
}

void SyncFolder(const std::string& folder) {
  int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

int OpenTemporary(const std::string& path, const AtomicWrite& how, std::string& temp) {
  if (how.tempSuffix.empty()) {
    temp = path + ".XXXXXX";
    return mkostemp(temp.data(), O_CLOEXEC);
  }
  temp = path + how.tempSuffix;
  return open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, const AtomicWrite& how) {
  std::string temp;
  const int fd = OpenTemporary(path, how, temp);
  if (fd < 0) return false;
  struct stat old {};
  if (how.mode) {
    fchmod(fd, *how.mode);
  } else if (stat(path.c_str(), &old) == 0) {
    fchmod(fd, old.st_mode & 07777);
  }
  bool ok = WriteAll(fd, content) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = how.replace ? rename(temp.c_str(), path.c_str()) == 0 : MoveNoReplace(temp, path);
  if (!ok) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

}  // namespace common
