#pragma once
// A torrent's content through the BitTorrent swarm and its web seeds, with libtorrent (we write
// no BitTorrent client): every piece checked against the torrent, resume data kept beside the
// content so a rerun continues, a stop that saves it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "swarmoptions.h"

namespace torrent {

struct SwarmStatus {
  std::string name;
  float progress = 0;  // 0 to 1, of the pieces checked good
  int downloadRate = 0, uploadRate = 0;
  int peers = 0, seeds = 0;
  std::int64_t total = 0;
  std::string state;  // for the user: "校验中", "下载中", "做种中", ...
};

enum class SwarmEnd { kComplete, kFailed, kInterrupted };

struct SwarmResult {
  SwarmEnd end = SwarmEnd::kFailed;
  std::string failure;  // UTF-8, for the user
};

// `show` hears the status about five times a second; `interrupted` is asked as often, and when
// it says so the download pauses with its resume data. While a file is incomplete it lies
// under its name with kPartSuffix, and gets its own name once every piece of it is checked.
SwarmResult DownloadContent(std::string_view torrentBytes, const SwarmOptions& options,
                            const std::function<void(const SwarmStatus&)>& show,
                            const std::function<bool()>& interrupted);

// The content's name in a torrent (its file, or its folder); nothing when it is no torrent.
std::optional<std::string> ContentName(std::string_view torrentBytes);
// Deletes what an unfinished download of the torrent left in `folder`: its files under their
// temporary names and its resume data. Complete files stay.
void DiscardContent(std::string_view torrentBytes, const std::string& folder);

}  // namespace torrent
