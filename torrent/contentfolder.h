#pragma once
// The content's place in the save folder while the swarm downloads it. libtorrent opens the
// content's files itself (following links, waiting on FIFOs), so what it will open is checked
// first: a lock beside the content for the whole download (a second download of the same
// content into the same folder fails at once and never writes), names planted where its files
// go refused, and the room for what is missing checked before anything is allocated.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"

namespace torrent {

class ContentLock {
 public:
  // Takes the lock ".NAME.quorvel-lock" in `folder`; `held()` says whether it did.
  ContentLock(const std::string& folder, const std::string& name);
  ~ContentLock();  // the lock file goes while it is still held
  ContentLock(const ContentLock&) = delete;
  ContentLock& operator=(const ContentLock&) = delete;

  bool held() const { return fd_ != platform::kNoFile; }
  const std::string& failure() const { return failure_; }  // why it is not, for the user (UTF-8)

 private:
  std::string path_, failure_;
  platform::FileHandle fd_ = platform::kNoFile;
};

// The first of `paths` whose name holds something else than a regular file of one link (a
// symbolic link, a FIFO, a hard link to a file elsewhere); nothing when none does.
std::optional<std::string> PlantedAmong(const std::vector<std::string>& paths);

// Why `missing` more bytes do not fit where `folder` lies, for the user; nothing when they fit
// or the room cannot be known.
std::optional<std::string> NoRoomFor(const std::string& folder, std::int64_t missing);

}  // namespace torrent
