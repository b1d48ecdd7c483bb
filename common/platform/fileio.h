#pragma once
// Files and locks, on descriptors. A failed call returns -1 or false and leaves the reason in
// errno.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Every mode that writes refuses a symbolic link at the path (errno ELOOP) and never waits on a
// FIFO put there (ENXIO): a file planted in a save folder leads nowhere else. What was opened is
// still to be checked to be a regular file of one link (`OnlyRegularFile`).
enum class OpenMode {
  kRead,
  kReadNoWait,  // a FIFO put where a file was expected does not wait for a writer
  kReadWrite,
  kReadWriteCreate,     // the file at the name, made when there is none
  kReadWriteCreateNew,  // a new file: fails with EEXIST when anything has the name
  kWriteCreateTruncate,
};

// The descriptor, closed when the program starts another; -1 on failure.
int OpenFile(const std::string& path, OpenMode mode, unsigned permissions = 0644);
// A new file of a unique name: the template's trailing "XXXXXX" replaced. -1 on failure.
int OpenUniqueFile(std::string& pathTemplate);
int CloseFile(int fd);      // 0, or -1 when the last writes failed
int DuplicateFile(int fd);  // a second descriptor of the same open file (sharing its lock)

// What was read, 0 at the end, -1 on failure; an interrupted call is retried.
std::int64_t ReadSome(int fd, char* into, std::size_t size);
// Exactly `size` bytes at `offset`, without moving the file position.
bool ReadExactlyAt(int fd, char* into, std::size_t size, std::int64_t offset);
// What was written (at `offset` when given, else at the file position), -1 on failure.
std::int64_t WriteSome(int fd, const char* data, std::size_t size, std::optional<std::int64_t> offset);

struct FileFacts {
  bool regular = false;
  std::int64_t size = 0;
  std::int64_t allocated = 0;  // bytes of disk the file holds
  std::uint64_t links = 0;     // 0: its last name is gone
  std::uint64_t device = 0, inode = 0;
  unsigned permissions = 0;
  std::int64_t modifiedNs = 0;  // the last change of its bytes, nanoseconds since 1970
  bool SameFileAs(const FileFacts& other) const { return device == other.device && inode == other.inode; }
};
std::optional<FileFacts> FactsOf(int fd);
// A regular file of one name: not a FIFO, a device or a folder, and no hard link elsewhere
// shares its bytes. False also when the facts cannot be read.
bool OnlyRegularFile(int fd);
std::optional<FileFacts> FactsOfPath(const std::string& path);
// Of the name itself: a symbolic link is not followed (and is not `regular`).
std::optional<FileFacts> FactsOfName(const std::string& path);

bool TruncateFile(int fd, std::int64_t size);
bool SetPermissions(int fd, unsigned permissions);
// Room for the first `size` bytes taken on disk now: 0, or the errno of the refusal.
int ReserveRoom(int fd, std::int64_t size);
// The disk room of a range handed back, the file's size unchanged (its bytes read as zeros).
void ReleaseRoom(int fd, std::int64_t begin, std::int64_t size);
// The file will be read from start to end.
void AdviseSequential(int fd);
// An exclusive lock on the whole file, taken without waiting; false when another holds it.
bool TryLockExclusive(int fd);

// The folder lets this user make and open files in it.
bool CanWriteInFolder(const std::string& folder);
// Something has this name, a link that leads nowhere included.
bool NameExists(const std::string& path);
bool MakeFolder(const std::string& path, unsigned permissions);  // its parent must exist

bool RenameFile(const std::string& from, const std::string& to);  // replaces what is at `to`
// Fails with errno EEXIST when something is at `to`; with EINVAL or ENOSYS where the file
// system cannot promise that.
bool RenameNoReplace(const std::string& from, const std::string& to);
bool LinkFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

}  // namespace platform
