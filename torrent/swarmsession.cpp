#include "swarmsession.h"

#include <algorithm>
#include <filesystem>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/write_resume_data.hpp>

#include "files.h"
#include "pathtext.h"
#include "platform/fileio.h"
#include "proxy.h"
#include "safename.h"
#include "url.h"

namespace torrent {

namespace {

constexpr std::uintmax_t kMaxResumeBytes = 64 << 20;

}  // namespace

lt::settings_pack Settings(const SwarmOptions& o) {
  lt::settings_pack s;
  s.set_str(lt::settings_pack::listen_interfaces,
            "0.0.0.0:" + std::to_string(o.port) + ",[::]:" + std::to_string(o.port));
  s.set_bool(lt::settings_pack::enable_dht, o.dht);
  s.set_bool(lt::settings_pack::enable_lsd, false);
  s.set_bool(lt::settings_pack::enable_upnp, false);
  s.set_bool(lt::settings_pack::enable_natpmp, false);
  s.set_int(lt::settings_pack::upload_rate_limit, o.maxUploadRate);
  s.set_int(lt::settings_pack::download_rate_limit, o.downloadRate ? o.downloadRate() : o.maxDownloadRate);
  // TCP to peers: uTP's delay-based congestion control (it yields to any other traffic) held a
  // single local seeder's transfer to a seventh of TCP's (bench/swarm_bench.sh).
  s.set_bool(lt::settings_pack::enable_outgoing_utp, false);
  s.set_bool(lt::settings_pack::enable_incoming_utp, false);
  // A web seed that sent a bad piece is asked again (the piece check rejects the bytes), not
  // dropped: for most map data it is the only source.
  s.set_bool(lt::settings_pack::ban_web_seeds, false);
  // Peers given by hand may share an address (a shop's machines, a test's); otherwise one
  // connection an address, so that a peer banned for bad pieces cannot dial back in.
  s.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, !o.peers.empty());
  s.set_int(lt::settings_pack::alert_mask, lt::alert_category::error | lt::alert_category::status |
                                               lt::alert_category::storage | lt::alert_category::tracker);
  return s;
}

std::string StateName(lt::torrent_status::state_t s) {
  switch (s) {
    case lt::torrent_status::checking_files:
    case lt::torrent_status::checking_resume_data: return "校验中";
    case lt::torrent_status::downloading_metadata:
    case lt::torrent_status::downloading: return "下载中";
    case lt::torrent_status::finished: return "已完成";
    case lt::torrent_status::seeding: return "做种中";
    default: return "等待中";
  }
}

bool StaysInside(const lt::torrent_info& info) {
  const lt::file_storage& files = info.files();
  for (const lt::file_index_t f : files.file_range()) {
    const std::filesystem::path p = common::PathOf(files.file_path(f));
    if (p.is_absolute()) return false;
    for (const auto& part : p)
      if (!common::IsSafeFileName(common::Utf8Of(part))) return false;
  }
  return true;
}

lt::add_torrent_params Params(std::shared_ptr<lt::torrent_info> info, const std::string& folder, bool& resumed) {
  lt::add_torrent_params p;
  resumed = false;
  if (auto saved = common::ReadFileUpTo(ResumeFilePath(folder, info->name()), kMaxResumeBytes)) {
    lt::error_code ec;
    lt::add_torrent_params data =
        lt::read_resume_data(lt::span<const char>(saved->data(), std::ptrdiff_t(saved->size())), ec);
    if (!ec && data.info_hashes == info->info_hashes()) p = std::move(data), resumed = true;
  }
  // A file is never written under its own name: a file of that name stays as it is until every
  // piece of the new one is checked, and an unfinished one is always "NAME.part".
  if (!resumed)
    for (const lt::file_index_t f : info->files().file_range())
      p.renamed_files[f] = info->files().file_path(f) + kPartSuffix;
  p.ti = std::move(info);
  p.save_path = folder;
  return p;
}

bool AlreadyComplete(lt::session& session, std::shared_ptr<lt::torrent_info> info, const std::string& folder,
                     const std::function<bool()>& interrupted) {
  for (const lt::file_index_t f : info->files().file_range())
    if (!platform::FactsOfName(folder + "/" + info->files().file_path(f))) return false;
  lt::add_torrent_params p;
  p.ti = std::move(info);
  p.save_path = folder;
  p.flags |= lt::torrent_flags::upload_mode;  // checked, never written
  lt::error_code ec;
  lt::torrent_handle h = session.add_torrent(std::move(p), ec);
  if (ec) return false;
  bool checked = false;
  // The check reads the content once: bounded by a generous time, and by the user.
  for (const auto end = Clock::now() + std::chrono::minutes(30); !checked && Clock::now() < end;) {
    if (interrupted && interrupted()) break;
    session.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session.pop_alerts(&alerts);
    for (lt::alert* a : alerts) checked = checked || lt::alert_cast<lt::torrent_checked_alert>(a) != nullptr;
  }
  const bool complete = checked && h.status().is_seeding;
  session.remove_torrent(h);
  for (const auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
    session.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session.pop_alerts(&alerts);
    for (lt::alert* a : alerts)
      if (lt::alert_cast<lt::torrent_removed_alert>(a)) return complete;
  }
  return complete;
}

bool GiveFilesTheirNames(lt::session& session, lt::torrent_handle& h, const std::vector<std::string>& names,
                         std::string& failure) {
  const std::shared_ptr<const lt::torrent_info> now = h.torrent_file();
  int waiting = 0;
  for (const lt::file_index_t f : now->files().file_range()) {
    if (now->files().file_path(f) == names[size_t(static_cast<int>(f))]) continue;
    h.rename_file(f, names[size_t(static_cast<int>(f))]);
    ++waiting;
  }
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (waiting > 0 && Clock::now() < end) {
    session.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session.pop_alerts(&alerts);
    for (lt::alert* a : alerts) {
      if (lt::alert_cast<lt::file_renamed_alert>(a)) --waiting;
      if (auto* e = lt::alert_cast<lt::file_rename_failed_alert>(a)) {
        failure = "文件无法改回原名：" + e->error.message();
        return false;
      }
    }
  }
  if (waiting > 0) failure = "文件改名超时";
  return waiting == 0;
}

bool AddPeer(lt::torrent_handle& h, const std::string& hostPort) {
  const std::optional<common::Url> peer = common::ParseUrl("peer://" + hostPort);
  if (!peer || !peer->port || !peer->userInfo.empty() || !peer->path.empty() ||
      hostPort.find_first_of("?#") != std::string::npos)
    return false;
  lt::error_code ec;
  const lt::address address = lt::make_address(peer->host, ec);
  if (ec) return false;
  h.connect_peer({address, std::uint16_t(peer->port)});
  return true;
}

void SaveResumeData(lt::session& session, lt::torrent_handle& h, const std::string& path) {
  h.save_resume_data(lt::torrent_handle::save_info_dict);
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < end) {
    session.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session.pop_alerts(&alerts);
    for (lt::alert* a : alerts) {
      if (auto* saved = lt::alert_cast<lt::save_resume_data_alert>(a)) {
        const std::vector<char> bytes = lt::write_resume_data_buf(saved->params);
        // Not written (a full disk, a folder gone): the next run checks the files instead.
        common::WriteFileAtomically(path, std::string_view(bytes.data(), bytes.size()),
                                    {.mode = 0644, .replace = true, .tempSuffix = {}});
        return;
      }
      if (lt::alert_cast<lt::save_resume_data_failed_alert>(a)) return;
    }
  }
}

std::optional<std::string> FailureOf(lt::alert* a) {
  if (auto* e = lt::alert_cast<lt::torrent_error_alert>(a)) return "种子下载失败：" + e->error.message();
  if (auto* e = lt::alert_cast<lt::file_error_alert>(a)) return "写入失败：" + e->error.message();
  return std::nullopt;
}

void LimitLocalPeersToo(lt::session& session) {
  lt::ip_filter classes;
  const std::uint32_t global = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
  classes.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
  classes.add_rule(lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), global);
  session.set_peer_class_filter(classes);
}

void FollowTheWebSeedsProxy(lt::session& session, const lt::torrent_info& info) {
  for (const lt::web_seed_entry& seed : info.web_seeds()) {
    const std::optional<http::Proxy> proxy = http::EnvironmentProxy(seed.url);
    const std::optional<common::Url> at = proxy ? common::ParseUrl("http://" + proxy->hostAndPort) : std::nullopt;
    if (!at) continue;
    lt::settings_pack s;
    s.set_int(lt::settings_pack::proxy_type,
              proxy->user.empty() ? lt::settings_pack::http : lt::settings_pack::http_pw);
    s.set_str(lt::settings_pack::proxy_hostname, at->host);
    s.set_int(lt::settings_pack::proxy_port, at->PortOrDefault());
    s.set_str(lt::settings_pack::proxy_username, proxy->user);
    s.set_str(lt::settings_pack::proxy_password, proxy->password);
    // libtorrent has one proxy for all payload: web seeds are peer connections to it.
    s.set_bool(lt::settings_pack::proxy_peer_connections, true);
    s.set_bool(lt::settings_pack::proxy_tracker_connections, false);
    s.set_bool(lt::settings_pack::proxy_hostnames, true);
    session.apply_settings(std::move(s));
    return;
  }
}

std::vector<std::string> ContentPaths(const lt::torrent_info& info, const std::string& folder) {
  std::vector<std::string> paths{ResumeFilePath(folder, info.name())};
  for (const lt::file_index_t f : info.files().file_range()) {
    paths.push_back(folder + "/" + info.files().file_path(f));
    paths.push_back(paths.back() + kPartSuffix);
  }
  return paths;
}

std::int64_t Missing(const lt::torrent_info& info, const std::string& folder) {
  std::int64_t onDisk = 0;
  for (const lt::file_index_t f : info.files().file_range())
    if (auto facts = platform::FactsOfName(folder + "/" + info.files().file_path(f) + kPartSuffix))
      onDisk += std::min(facts->allocated, info.files().file_size(f));
  return std::max<std::int64_t>(info.total_size() - onDisk, 0);
}

}  // namespace torrent
