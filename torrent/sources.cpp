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
  // A web seed given as a folder is asked for the file's path below it (BEP 19).
  const std::string path = info.num_files() == 1 ? info.files().file_path(libtorrent::file_index_t(0)) : info.name();
  for (const libtorrent::web_seed_entry& w : info.web_seeds()) {
    webSeeds_[w.url];
    asked_[w.url] = w.url.ends_with('/') ? w.url + path : w.url;
  }
}

std::string Sources::WebSeedOf(const std::string& address) const {
  for (const auto& [seed, asked] : asked_)
    if (address == seed || address == asked || (seed.ends_with('/') && address.starts_with(seed))) return seed;
  return address;
}

std::vector<std::string> Sources::PieceFailed() {
  std::vector<std::string> dropped;
  if (++badInRow_ < kBadInRow) return dropped;
  for (auto& [seed, error] : webSeeds_) {
    if (!error.empty()) continue;
    error = "发来的数据与种子不符（" + std::to_string(badInRow_) + " 块）";
    dropped.push_back(seed);
  }
  return dropped;
}

void Sources::Hear(const libtorrent::alert* a) {
  if (const auto* e = libtorrent::alert_cast<libtorrent::tracker_error_alert>(a)) {
    TrackerFailed(e->tracker_url(), e->times_in_row, e->error == libtorrent::errors::announce_skipped,
                  Words(e->error, e->failure_reason()));
  } else if (const auto* r = libtorrent::alert_cast<libtorrent::tracker_reply_alert>(a)) {
    trackers_[r->tracker_url()].clear();
  } else if (const auto* w = libtorrent::alert_cast<libtorrent::url_seed_alert>(a)) {
    webSeeds_[WebSeedOf(w->server_url())] = Words(w->error, w->error_message());
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
  const auto add = [&](const char* kind, const std::map<std::string, std::string>& sources) {
    for (const auto& [address, error] : sources) {
      if (error.empty()) continue;
      if (!out.empty()) out += "；";
      const auto asked = asked_.find(address);
      out.append(kind).append(" ").append(asked == asked_.end() ? address : asked->second);
      out.append(" 出错（").append(error).append("）");
    }
  };
  add("tracker", trackers_);
  add("网络种子", webSeeds_);
  if (out.empty() && trackers_.empty() && webSeeds_.empty()) out = "种子里没有 tracker 也没有网络种子";
  return out;
}

}  // namespace torrent
