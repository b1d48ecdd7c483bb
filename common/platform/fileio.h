#pragma once
// Files and locks, on handles. A failed call returns kNoFile, -1 or false; LastFault() says why.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/fault.h"

namespace platform {

// A file descriptor here, a HANDLE on Windows; never inherited by a program started later.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Every mode that writes refuses a symbolic link at the path and never waits on a FIFO put
// there (both Fault::kPlanted): a file planted in a save folder leads nowhere else. What was opened is
// still to be checked to be a regular file of one link (`OnlyRegularFile`).
enum class OpenMode {
  kRead,
  kReadNoWait,  // a FIFO put where a file was expected does not wait for a writer
  kReadWrite,
  kReadWriteCreate,     // the file at the name, made when there is none
  kReadWriteCreateNew,  // a new file: fails (kExists) when anything has the name
  kWriteCreateTruncate,
};

// Paths are UTF-8. `permissions` are POSIX's; Windows keeps only whether the owner may write.
FileHandle OpenFile(const std::string& path, OpenMode mode, unsigned permissions = 0644);
// A new file of a unique name: the template's trailing "XXXXXX" replaced. kNoFile on failure.
FileHandle OpenUniqueFile(std::string& pathTemplate);
bool CloseFile(FileHandle file);            // false when the last writes failed
FileHandle DuplicateFile(FileHandle file);  // a second handle of the same open file (sharing its lock)

// What was read, 0 at the end, -1 on failure; an interrupted call is retried.
std::int64_t ReadSome(FileHandle file, char* into, std::size_t size);
// Exactly `size` bytes at `offset`, without moving the file position.
bool ReadExactlyAt(FileHandle file, char* into, std::size_t size, std::int64_t offset);
// What was written (at `offset` when given, else at the file position), -1 on failure.
std::int64_t WriteSome(FileHandle file, const char* data, std::size_t size, std::optional<std::int64_t> offset);

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
std::optional<FileFacts> FactsOf(FileHandle file);
// A regular file of one name: not a FIFO, a device or a folder, and no hard link elsewhere
// shares its bytes. False also when the facts cannot be read.
bool OnlyRegularFile(FileHandle file);
std::optional<FileFacts> FactsOfPath(const std::string& path);
// Of the name itself: a symbolic link is not followed (and is not `regular`).
std::optional<FileFacts> FactsOfName(const std::string& path);

bool TruncateFile(FileHandle file, std::int64_t size);
bool SetPermissions(FileHandle file, unsigned permissions);
// Room for the first `size` bytes taken on disk now: kNone, or why it was refused.
Fault ReserveRoom(FileHandle file, std::int64_t size);
// The disk room of a range handed back, the file's size unchanged (its bytes read as zeros).
void ReleaseRoom(FileHandle file, std::int64_t begin, std::int64_t size);
// The file will be read from start to end.
void AdviseSequential(FileHandle file);
// An exclusive lock on the whole file, taken without waiting; false when another holds it.
bool TryLockExclusive(FileHandle file);

// The folder lets this user make and open files in it.
bool CanWriteInFolder(const std::string& folder);
// Something has this name, a link that leads nowhere included.
bool NameExists(const std::string& path);
bool MakeFolder(const std::string& path, unsigned permissions);  // its parent must exist

bool RenameFile(const std::string& from, const std::string& to);  // replaces what is at `to`
// Fails with kExists when something is at `to`; with kUnsupported where the file system cannot
// promise that.
bool RenameNoReplace(const std::string& from, const std::string& to);
bool LinkFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

}  // namespace platform
