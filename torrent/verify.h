#pragma once
// An archive checked against the piece hashes of its torrent: read once, front to back, each
// piece hashed as it passes. The torrent is read with libtorrent's torrent_info (v1 and
// hybrid torrents: their SHA-1 piece hashes).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eventpump.h"

namespace torrent {

struct BadPiece {
  int index = 0;
  std::int64_t begin = 0, end = 0;  // the piece's bytes in the archive, end excluded
};

struct Verification {
  bool checked = false;         // false: `failure` says why nothing could be compared
  std::string failure;          // UTF-8, for the user
  bool torrentAtFault = false;  // the failure is the torrent's, not the archive's
  std::string name;             // the file the torrent describes
  std::int64_t size = 0;        // its size by the torrent
  int pieces = 0;
  std::vector<BadPiece> bad;
  bool Passed() const { return checked && bad.empty(); }
};

// `progress` (may be empty) hears the bytes hashed so far, now and then; returning false stops
// the check (a failure "已停止").
Verification VerifyArchive(const std::string& archivePath, std::string_view torrentBytes,
                           const std::function<bool(std::int64_t)>& progress = nullptr);

// A torrent file read from the disk, refused when larger than a torrent may be (64 MiB).
std::optional<std::string> ReadTorrentFile(const std::string& path);

// A torrent fetched from the network into memory; nothing unless the server answered 200.
// `statusText` (may be null) gets the answer's status line or the request's failure text (UTF-8).
std::optional<std::string> FetchTorrent(const std::string& address, const common::EventPump& keepGoing = nullptr,
                                        std::string* statusText = nullptr);

// The torrent fetched from `torrentAddress` into memory, then VerifyArchive. `keepGoing` (may
// be empty) is asked while the torrent is fetched and while the archive is read; false stops
// the check. `read` (may be empty) hears the bytes hashed so far. Safe to run on a thread of
// its own.
Verification VerifyWithTorrentFrom(const std::string& archivePath, const std::string& torrentAddress,
                                   const common::EventPump& keepGoing,
                                   const std::function<void(std::int64_t)>& read = nullptr);

// A single-file v1 torrent of `content` under `name`, with `webSeed` as its url-list when
// given: what the sample download server serves beside its archives.
std::string CreateTorrent(const std::string& name, std::string_view content, int pieceLength = 256 << 10,
                          const std::string& webSeed = {});

}  // namespace torrent
