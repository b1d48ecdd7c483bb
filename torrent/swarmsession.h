#pragma once
// The libtorrent session of one swarm download and what it is asked: its settings, the torrent
// added under temporary names, the files given their own names at the end, peers by hand, the
// resume data, and a read-only check of content that lies complete already. Inside torrent/.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>

#include "swarmoptions.h"

namespace torrent {

using Clock = std::chrono::steady_clock;

lt::settings_pack Settings(const SwarmOptions& options);
// libtorrent exempts peers of the local network from the rate limits (its local peer class):
// every address is of the global class here, so that the limit holds for a LAN peer and a web
// seed on the same network.
void LimitLocalPeersToo(lt::session& session);
// The web seeds follow the proxy variables as every other request of ours does (the first web
// seed that has a proxy names it). libtorrent has one proxy for all payload connections, so
// peers then go through it too; trackers go direct.
void FollowTheWebSeedsProxy(lt::session& session, const lt::torrent_info& info);

// Every file of the torrent stays inside the folder, under names both Windows and Linux take:
// no absolute path, no "..", no device name, no ':' stream.
bool StaysInside(const lt::torrent_info& info);
// The paths the session will open for the content in `folder`: each file under its own name and
// its temporary one, and the resume data.
std::vector<std::string> ContentPaths(const lt::torrent_info& info, const std::string& folder);
// Bytes of the content that the download may still allocate: all but what its temporary files
// hold on disk.
std::int64_t Missing(const lt::torrent_info& info, const std::string& folder);

// The torrent to add: its resume data when a usable one lies beside the content (with the names
// its files lie under), else every file under its temporary name.
lt::add_torrent_params Params(std::shared_ptr<lt::torrent_info> info, const std::string& folder, bool& resumed);
// Whether every file lies complete under its own name already: checked read-only (upload mode,
// nothing is written), and the torrent taken out of the session again.
bool AlreadyComplete(lt::session& session, std::shared_ptr<lt::torrent_info> info, const std::string& folder,
                     const std::function<bool()>& interrupted);
// Every file under its own name, once every piece is checked; false (with `failure`) when a
// rename failed. The wait is bounded.
bool GiveFilesTheirNames(lt::session& session, lt::torrent_handle& h, const std::vector<std::string>& names,
                         std::string& failure);
// HOST:PORT, an IPv6 address in brackets; nothing before or after it.
bool AddPeer(lt::torrent_handle& h, const std::string& hostPort);
// Asks for the resume data and writes it beside the content (bounded wait).
void SaveResumeData(lt::session& session, lt::torrent_handle& h, const std::string& path);
// The failure an alert reports for the torrent, if it is one.
std::optional<std::string> FailureOf(lt::alert* a);
std::string StateName(lt::torrent_status::state_t s);

}  // namespace torrent
