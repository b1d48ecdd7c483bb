#pragma once
// File operations the libraries share.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fileio.h"

namespace common {

// Moves `from` to `to` unless something exists there (false, Fault::kExists). Some file systems
// (NFS among them) refuse a rename that never replaces; a hard link then does the same job, as
// it too fails on an existing name, and the old name is removed after.
bool MoveNoReplace(const std::string& from, const std::string& to);

// Writes all of `data`, going on after short writes and interrupted calls; false (LastFault()
// says why) when the file takes no more. At `offset` when one is given, else at the file position.
bool WriteAll(platform::FileHandle fd, std::string_view data, std::optional<std::int64_t> offset = std::nullopt);

// Flushes a folder's entries (a new or renamed name) to disk; failures are not reported,
// as nothing could be done about them.
void SyncFolder(const std::string& folder);

// The whole content of a regular file of at most `maxBytes` bytes; nothing for a missing,
// unreadable or larger file (a size read from the file system is never trusted for a buffer).
std::optional<std::string> ReadFileUpTo(const std::string& path, std::uintmax_t maxBytes);

// The program's per-user data folder: ${XDG_DATA_HOME:-~/.local/share}/Quorvel here,
// %LOCALAPPDATA%\Quorvel on Windows.
std::string UserDataFolder();

// How WriteFileAtomically treats the file.
struct AtomicWrite {
  std::optional<unsigned> mode;  // none: the old file's mode, or 0600 for a new file
  bool replace = true;           // false: never over an existing file (fails with Fault::kExists)
  std::string tempSuffix;        // empty: a unique temporary name; else path + suffix, for a sole writer
};

// The content goes to a temporary file beside `path`, is flushed to disk, and is then moved
// into place with the folder flushed: a crash or a full disk leaves the old file or the new
// one, never a damaged one. The temporary file is removed when anything fails.
bool WriteFileAtomically(const std::string& path, std::string_view content, const AtomicWrite& how = {});

}  // namespace common
