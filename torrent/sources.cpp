#include "sources.h"

#include <algorithm>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/torrent_info.hpp>

namespace torrent {

namespace {

// At most this much of a server's own words: a hostile tracker's failure reason is not
// trusted for a text length.
constexpr size_t kMaxWords = 200;

std::string Words(const libtorrent::error_code& error, const char* serverWords) {
  std::string words = serverWords && *serverWords ? serverWords : error.message();
  if (words.empty()) words = "?";
  if (words.size() > kMaxWords) words = words.substr(0, kMaxWords) + "...";
  return words;
}

bool AllFailed(const std::map<std::string, std::string>& sources) {
  return std::all_of(sources.begin(), sources.end(), [](const auto& s) { return !s.second.empty(); });
}

}  // namespace

Sources::Sources(const libtorrent::torrent_info& info, bool others) : others_(others) {
  for (const libtorrent::announce_entry& t : info.trackers()) trackers_[t.url];
  for (const libtorrent::web_seed_entry& w : info.web_seeds()) webSeeds_[w.url];
}

void Sources::Hear(const libtorrent::alert* a) {
  if (const auto* e = libtorrent::alert_cast<libtorrent::tracker_error_alert>(a)) {
    TrackerFailed(e->tracker_url(), e->times_in_row, e->error == libtorrent::errors::announce_skipped,
                  Words(e->error, e->failure_reason()));
  } else if (const auto* r = libtorrent::alert_cast<libtorrent::tracker_reply_alert>(a)) {
    trackers_[r->tracker_url()].clear();
  } else if (const auto* w = libtorrent::alert_cast<libtorrent::url_seed_alert>(a)) {
    webSeeds_[w->server_url()] = Words(w->error, w->error_message());
  }
}

void Sources::TrackerFailed(const std::string& url, int timesInRow, bool skipped, const std::string& words) {
  // An IPv6 listening socket cannot announce to an IPv4 tracker: libtorrent skips that one
  // and says so, while the IPv4 socket's announce may well be answered.
  if (skipped) return;
  // Once may be a loaded machine or a dropped packet; twice in a row is a tracker that fails.
  if (timesInRow >= 2) trackers_[url] = words;
}

bool Sources::NoneLeft(int connectedPeers) const {
  return !others_ && connectedPeers == 0 && AllFailed(trackers_) && AllFailed(webSeeds_);
}

std::string Sources::Errors() const {
  std::string out;
  const auto add = [&out](const char* kind, const std::map<std::string, std::string>& sources) {
    for (const auto& [address, error] : sources) {
      if (error.empty()) continue;
      if (!out.empty()) out += "；";
      out.append(kind).append(" ").append(address).append(" 出错（").append(error).append("）");
    }
  };
  add("tracker", trackers_);
  add("网络种子", webSeeds_);
  if (out.empty() && trackers_.empty() && webSeeds_.empty()) out = "种子里没有 tracker 也没有网络种子";
  return out;
}

}  // namespace torrent
