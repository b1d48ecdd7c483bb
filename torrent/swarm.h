#pragma once
// A torrent's content through the BitTorrent swarm and its web seeds, with libtorrent (we write
// no BitTorrent client): every piece checked against the torrent, resume data kept beside the
// content so a rerun continues, a stop that saves it.
#include <csignal>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torrent {

struct SwarmOptions {
  std::string folder;                 // where the content goes; nothing of it leaves this folder
  bool dht = false;                   // ask the DHT for peers
  std::vector<std::string> peers;     // "host:port", added by hand
  int maxUploadRate = 0;              // bytes per second, 0 for no limit
  int maxDownloadRate = 0;            // bytes per second from peers and web seeds together, 0 for no limit
  std::function<int()> downloadRate;  // when set, asked as it runs: the download limit now (replaces the above)
  double seedRatio = 0;               // seed until uploaded / size reaches it; 0: stop when complete
  int port = 0;                       // listening port, 0: the system chooses
  int stallSeconds = 300;             // give up (resume data kept) when no byte came for this long
};

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
inline constexpr const char* kPartSuffix = ".part";

// The content's name in a torrent (its file, or its folder); nothing when it is no torrent.
std::optional<std::string> ContentName(std::string_view torrentBytes);
// Deletes what an unfinished download of the torrent left in `folder`: its files under their
// temporary names and its resume data. Complete files stay.
void DiscardContent(std::string_view torrentBytes, const std::string& folder);

// The resume data's file for a torrent's content in `folder` (hidden, beside the content).
std::string ResumeFilePath(const std::string& folder, const std::string& name);

}  // namespace torrent
