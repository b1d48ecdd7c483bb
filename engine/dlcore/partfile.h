#pragma once
// The data file of one download ("<name>.part"): opened or made, locked against every other
// download of the same file, reserved, written, and at the end renamed to its name. File
// system work only: what the bytes mean is the task's business.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "ranges.h"

namespace dlcore {

class PartFile {
 public:
  PartFile(std::string folder, std::string name) : folder_(std::move(folder)), name_(std::move(name)) {}
  ~PartFile() { Close(); }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  std::string TargetPath() const { return folder_ + "/" + name_; }
  std::string PartPath() const { return TargetPath() + ".part"; }
  std::string ControlPath() const { return PartPath() + ".ctl"; }
  bool IsOpen() const { return fd_ != platform::kNoFile; }

  // Opens the data file if it exists. Returns 0, or the failure code of an open refused
  // (DL_FAIL_BAD_NAME, DL_FAIL_DISK_FULL, DL_FAIL_FOLDER: also for anything planted at its name
  // that is not a regular file of one link). Not there is not a failure.
  int OpenExisting();
  // Makes it, new (DL_FAIL_TARGET_BUSY when another made it meanwhile). Returns 0 or a failure code.
  int Create();
  // False: another download holds it. Taken once: Windows refuses a second lock of the same
  // file even to its holder.
  bool TryLock();
  enum class Lock {
    kTaken,  // ours now, and still the file its path names
    kBusy,   // another download holds it: let go
    kMoved,  // renamed or removed while we waited (another download completed it): let go
  };
  // Takes the lock and checks that the file is still the one its path names; otherwise lets
  // go of the file. A file renamed to its final name must never be truncated as a part file.
  Lock LockOrLetGo();
  std::int64_t Size() const;
  // Room for `size` bytes, taken now so that a full disk shows at once and not halfway. A
  // size the free space cannot hold is refused before a byte is reserved: the server's word
  // alone never fills a disk. Without an open file only the free space is checked. Returns
  // 0 or DL_FAIL_DISK_FULL.
  int Reserve(std::int64_t size) const;
  // A failed or stopped download keeps its data, not the room reserved for the rest.
  void Release(const std::vector<ByteRange>& gaps) const;
  bool Truncate() const;
  // All of `data` at `offset`, short writes and interruptions retried; false with `error`.
  bool Write(const char* data, size_t size, std::int64_t offset, platform::Fault& error) const;
  bool ReadAt(std::string& into, std::int64_t offset) const;
  // The file has no name any more: its folder (or the file) was deleted under the download.
  bool Gone() const;
  // A second handle sharing the lock, for work on the flusher thread; kNoFile on failure.
  platform::FileHandle Duplicate() const;
  // Flushes the data and checks the size; false when the data may not be on disk.
  bool Flush(std::int64_t expectedSize) const;
  // Renames the data file to its name, or with `numbered` to the first free of
  // "name(1).ext", "name(2).ext"..., removes the state file and flushes the folder, all while
  // the file stays open and locked: no other download can take the file between its last
  // byte and its name. The name used, empty on failure. Close afterwards.
  std::string Complete(bool numbered) const;
  void Remove() const;  // the data file and its state file
  // The data file, its state file and a state file left half written, unless a download (of
  // this process or another) holds the data file's lock. False when one holds it.
  bool RemoveUnlessHeld();
  void Close();

 private:
  bool Planted();  // what was opened is no regular file of one link: closed
  std::string folder_, name_;
  platform::FileHandle fd_ = platform::kNoFile;
  bool locked_ = false;
};

// The longest name whose temporary state file ("<name>.part.ctl.tmp") a file system with
// 255-byte names can hold.
inline constexpr size_t kMaxPartNameBytes = 255 - sizeof(".part.ctl.tmp") + 1;

}  // namespace dlcore
