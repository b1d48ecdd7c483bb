#pragma once
// What a download's sources said: the trackers' and web seeds' own errors (for the user, so
// that a tracker that is down or a web seed that answers 404 is named, not a bare stall), and
// whether any source is left to wait for.
#include <map>
#include <string>
#include <vector>

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

  // The errors heard, for the user (UTF-8; the library's words in brackets); empty when none. A
  // web seed given as a folder is named by the address asked of it.
  std::string Errors() const;

  // A piece failed its check. After kBadInRow of them with none passing, the web seeds are taken
  // for their senders and count as failed: their addresses, to be dropped from the download.
  std::vector<std::string> PieceFailed();
  void PiecePassed() { badInRow_ = 0; }
  static constexpr int kBadInRow = 8;

 private:
  std::string WebSeedOf(const std::string& address) const;  // the seed an address was asked of

  std::map<std::string, std::string> trackers_, webSeeds_;  // address -> its last error, "" if none
  std::map<std::string, std::string> asked_;                // a web seed -> the address asked of it
  bool others_;
  int badInRow_ = 0;
};

}  // namespace torrent
