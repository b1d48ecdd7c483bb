#include "swarm.h"

#include "files.h"
#include "sources.h"
#include "url.h"

#include <chrono>
#include <filesystem>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/write_resume_data.hpp>
#include <optional>
#include <thread>

namespace torrent {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uintmax_t kMaxResumeBytes = 64 << 20;
// How long nothing may come before a download whose every source failed ends (a tracker's
// first answer, a web seed's first bytes).
constexpr auto kNoSourceGrace = std::chrono::seconds(3);

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

// Every file of the torrent stays inside the folder: no absolute path, no "..".
bool StaysInside(const lt::torrent_info& info) {
  const lt::file_storage& files = info.files();
  for (const lt::file_index_t f : files.file_range()) {
    const std::filesystem::path p = files.file_path(f);
    if (p.is_absolute()) return false;
    for (const auto& part : p)
      if (part == "..") return false;
  }
  return true;
}

// The torrent to add: its resume data when a usable one lies beside the content (with the
// names its files lie under). Without it, a file not there yet starts under its temporary name;
// one that is there is checked where it lies.
lt::add_torrent_params Params(std::shared_ptr<lt::torrent_info> info, const std::string& folder) {
  lt::add_torrent_params p;
  bool resumed = false;
  if (auto saved = common::ReadFileUpTo(ResumeFilePath(folder, info->name()), kMaxResumeBytes)) {
    lt::error_code ec;
    lt::add_torrent_params data =
        lt::read_resume_data(lt::span<const char>(saved->data(), std::ptrdiff_t(saved->size())), ec);
    if (!ec && data.info_hashes == info->info_hashes()) p = std::move(data), resumed = true;
  }
  if (!resumed) {
    const lt::file_storage& files = info->files();
    for (const lt::file_index_t f : files.file_range()) {
      std::error_code ec;
      if (!std::filesystem::exists(std::filesystem::path(folder) / files.file_path(f), ec))
        p.renamed_files[f] = files.file_path(f) + kPartSuffix;
    }
  }
  p.ti = std::move(info);
  p.save_path = folder;
  return p;
}

// Every file under its own name, once every piece is checked; false (with `failure`) when a
// rename failed. The wait is bounded.
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

// HOST:PORT, an IPv6 address in brackets; nothing before or after it.
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

// Asks for the resume data and writes it beside the content (bounded wait).
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

// The failure an alert reports for the torrent, if it is one.
std::optional<std::string> FailureOf(lt::alert* a) {
  if (auto* e = lt::alert_cast<lt::torrent_error_alert>(a)) return "种子下载失败：" + e->error.message();
  if (auto* e = lt::alert_cast<lt::file_error_alert>(a)) return "写入失败：" + e->error.message();
  return std::nullopt;
}

}  // namespace

std::string ResumeFilePath(const std::string& folder, const std::string& name) {
  return folder + "/." + name + ".quorvel-resume";
}

std::optional<std::string> ContentName(std::string_view torrentBytes) {
  try {
    const lt::torrent_info info(lt::span<const char>(torrentBytes.data(), std::ptrdiff_t(torrentBytes.size())),
                                lt::load_torrent_limits{}, lt::from_span);
    if (!StaysInside(info)) return std::nullopt;
    return info.name();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void DiscardContent(std::string_view torrentBytes, const std::string& folder) {
  try {
    const lt::torrent_info info(lt::span<const char>(torrentBytes.data(), std::ptrdiff_t(torrentBytes.size())),
                                lt::load_torrent_limits{}, lt::from_span);
    if (!StaysInside(info)) return;
    std::error_code ec;
    for (const lt::file_index_t f : info.files().file_range())
      std::filesystem::remove(std::filesystem::path(folder) / (info.files().file_path(f) + kPartSuffix), ec);
    std::filesystem::remove(ResumeFilePath(folder, info.name()), ec);
  } catch (const std::exception&) {
    // not a torrent: nothing of it to delete
  }
}

SwarmResult DownloadContent(std::string_view torrentBytes, const SwarmOptions& options,
                            const std::function<void(const SwarmStatus&)>& show,
                            const std::function<bool()>& interrupted) {
  std::shared_ptr<lt::torrent_info> info;
  try {
    info = std::make_shared<lt::torrent_info>(
        lt::span<const char>(torrentBytes.data(), std::ptrdiff_t(torrentBytes.size())), lt::load_torrent_limits{},
        lt::from_span);
  } catch (const std::exception& e) {
    return {SwarmEnd::kFailed, std::string("不是种子文件：") + e.what()};
  }
  if (!StaysInside(*info)) return {SwarmEnd::kFailed, "种子里的文件路径会离开保存目录"};
  const std::string resumePath = ResumeFilePath(options.folder, info->name());
  std::vector<std::string> names;
  for (const lt::file_index_t f : info->files().file_range()) names.push_back(info->files().file_path(f));
  lt::session session(Settings(options));
  lt::error_code ec;
  lt::torrent_handle h = session.add_torrent(Params(info, options.folder), ec);
  if (ec) return {SwarmEnd::kFailed, "种子无法加入：" + ec.message()};
  for (const std::string& peer : options.peers)
    if (!AddPeer(h, peer)) return {SwarmEnd::kFailed, "不是 HOST:PORT：" + peer};
  Sources sources(*info, options.dht || !options.peers.empty());
  int rate = options.downloadRate ? options.downloadRate() : options.maxDownloadRate;
  auto lastPeers = Clock::now(), lastProgress = Clock::now();
  bool named = false;  // every file under its own name
  std::int64_t lastDone = -1;
  for (;;) {
    if (interrupted && interrupted()) {
      h.pause();
      SaveResumeData(session, h, resumePath);
      return {SwarmEnd::kInterrupted, {}};
    }
    if (options.downloadRate && options.downloadRate() != rate) {  // the user changed the limit
      rate = options.downloadRate();
      lt::settings_pack limit;
      limit.set_int(lt::settings_pack::download_rate_limit, rate);
      session.apply_settings(std::move(limit));
    }
    session.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session.pop_alerts(&alerts);
    for (lt::alert* a : alerts) {
      if (auto failure = FailureOf(a)) return {SwarmEnd::kFailed, *failure};
      sources.Hear(a);
    }
    const lt::torrent_status s = h.status();
    const auto still = Clock::now() - lastProgress;
    if (s.total_wanted_done != lastDone || s.state == lt::torrent_status::checking_files) {
      lastDone = s.total_wanted_done;
      lastProgress = Clock::now();
    } else if (!s.is_seeding && (still > std::chrono::seconds(options.stallSeconds) ||
                                 (still > kNoSourceGrace && sources.NoneLeft(s.num_peers)))) {
      // Nothing came for the stall time, or no source is left: the sources' own errors say why.
      h.pause();
      SaveResumeData(session, h, resumePath);
      const std::string errors = sources.Errors();
      const std::string why = sources.NoneLeft(s.num_peers)
                                  ? "没有可用的来源"
                                  : "没有对端或网络种子提供数据（" + std::to_string(options.stallSeconds) + " 秒）";
      return {SwarmEnd::kFailed, errors.empty() ? why : std::string(why).append("：").append(errors)};
    }
    if (show)
      show({info->name(), s.progress, s.download_payload_rate, s.upload_payload_rate, s.num_peers, s.num_seeds,
            info->total_size(), StateName(s.state)});
    // Peers added by hand are asked again now and then: a seeder may start after us.
    if (Clock::now() - lastPeers > std::chrono::seconds(5)) {
      for (const std::string& peer : options.peers) AddPeer(h, peer);
      lastPeers = Clock::now();
    }
    // Seeding means every piece passed its hash check.
    if (s.is_seeding && !named) {
      std::string failure;
      if (!GiveFilesTheirNames(session, h, names, failure)) return {SwarmEnd::kFailed, failure};
      named = true;
    }
    if (s.is_seeding) {
      const bool ratioReached =
          options.seedRatio <= 0 || double(s.all_time_upload) >= options.seedRatio * double(info->total_size());
      if (ratioReached) {
        std::error_code removed;
        std::filesystem::remove(resumePath, removed);
        return {SwarmEnd::kComplete, {}};
      }
    }
  }
}

}  // namespace torrent
