#pragma once
// What a swarm download is asked to do, and the names its content lies under in the folder.
#include <functional>
#include <string>
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

// While a file is incomplete it lies under its name with this suffix.
inline constexpr const char* kPartSuffix = ".part";

// The resume data's file for a torrent's content in `folder` (hidden, beside the content).
inline std::string ResumeFilePath(const std::string& folder, const std::string& name) {
  return folder + "/." + name + ".quorvel-resume";
}

}  // namespace torrent
