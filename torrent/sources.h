#pragma once
// What a download's sources said: the trackers' and web seeds' own errors (for the user, so
// that a tracker that is down or a web seed that answers 404 is named, not a bare stall), and
// whether any source is left to wait for.
#include <map>
#include <string>

namespace libtorrent {
class alert;
class torrent_info;
}  // namespace libtorrent

namespace torrent {

class Sources {
 public:
  // `others`: peers can come without the torrent's trackers and web seeds (DHT, peers given by
  // hand), so the download never runs out of sources.
  Sources(const libtorrent::torrent_info& info, bool others);

  // Tracker replies and errors, web seed errors.
  void Hear(const libtorrent::alert* a);
  // A tracker's failure, `timesInRow` in a row; `skipped` when it was not asked at all (one of
  // our own listening addresses cannot reach it), which says nothing of the tracker.
  void TrackerFailed(const std::string& url, int timesInRow, bool skipped, const std::string& words);

  // Nothing can bring data: no peer connected, and every tracker and web seed has failed
  // since it last answered (or the torrent names none).
  bool NoneLeft(int connectedPeers) const;

  // The errors heard, for the user (UTF-8; the library's words in brackets); empty when none.
  std::string Errors() const;

 private:
  std::map<std::string, std::string> trackers_, webSeeds_;  // address -> its last error, "" if none
  bool others_;
};

}  // namespace torrent
