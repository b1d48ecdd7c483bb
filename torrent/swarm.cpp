#include "swarm.h"

#include <filesystem>
#include <libtorrent/alert_types.hpp>
#include <utility>

#include "contentfolder.h"
#include "pathtext.h"
#include "sources.h"
#include "swarmsession.h"

namespace torrent {

namespace {

// How long nothing may come before a download whose every source failed ends (a tracker's
// first answer, a web seed's first bytes).
constexpr auto kNoSourceGrace = std::chrono::seconds(3);

std::shared_ptr<lt::torrent_info> Parse(std::string_view torrentBytes, std::string& failure) {
  try {
    return std::make_shared<lt::torrent_info>(
        lt::span<const char>(torrentBytes.data(), std::ptrdiff_t(torrentBytes.size())), lt::load_torrent_limits{},
        lt::from_span);
  } catch (const std::exception& e) {
    failure = std::string("不是种子文件：") + e.what();
    return nullptr;
  }
}

// One download of a torrent's content, in a session of its own. Progress is a piece that passed
// its check, nothing else: a source that keeps sending bad data does not keep it going.
class SwarmRun {
 public:
  SwarmRun(lt::session& session, lt::torrent_handle h, const lt::torrent_info& info, const SwarmOptions& options)
      : session_(session),
        h_(std::move(h)),
        info_(info),
        options_(options),
        sources_(info, options.dht || !options.peers.empty()),
        resumePath_(ResumeFilePath(options.folder, info.name())),
        rate_(options.downloadRate ? options.downloadRate() : options.maxDownloadRate) {
    for (const lt::file_index_t f : info.files().file_range()) names_.push_back(info.files().file_path(f));
  }

  SwarmResult Go(const std::function<void(const SwarmStatus&)>& show, const std::function<bool()>& interrupted) {
    for (;;) {
      if (interrupted && interrupted()) return Pause({SwarmEnd::kInterrupted, {}});
      FollowTheLimit();
      if (auto failure = Hear()) return {SwarmEnd::kFailed, *failure};
      const lt::torrent_status s = h_.status();
      if (auto stalled = Stalled(s)) return Pause({SwarmEnd::kFailed, *stalled});
      if (show)
        show({info_.name(), s.progress, s.download_payload_rate, s.upload_payload_rate, s.num_peers, s.num_seeds,
              info_.total_size(), StateName(s.state)});
      AskPeersAgain();
      if (auto end = Seeding(s)) return *end;
    }
  }

 private:
  SwarmResult Pause(SwarmResult r) {
    h_.pause();
    SaveResumeData(session_, h_, resumePath_);
    return r;
  }

  void FollowTheLimit() {
    if (!options_.downloadRate || options_.downloadRate() == rate_) return;  // the user changed the limit
    rate_ = options_.downloadRate();
    lt::settings_pack limit;
    limit.set_int(lt::settings_pack::download_rate_limit, rate_);
    session_.apply_settings(std::move(limit));
  }

  std::optional<std::string> Hear() {
    session_.wait_for_alert(std::chrono::milliseconds(200));
    std::vector<lt::alert*> alerts;
    session_.pop_alerts(&alerts);
    for (lt::alert* a : alerts) {
      if (auto failure = FailureOf(a)) return failure;
      sources_.Hear(a);
      if (lt::alert_cast<lt::hash_failed_alert>(a))
        for (const std::string& seed : sources_.PieceFailed()) h_.remove_url_seed(seed);
    }
    return std::nullopt;
  }

  // Nothing checked for the stall time, or no source left: the sources' own errors say why.
  std::optional<std::string> Stalled(const lt::torrent_status& s) {
    if (s.num_pieces > lastPieces_ || s.state == lt::torrent_status::checking_files) {
      if (s.num_pieces > lastPieces_) sources_.PiecePassed();
      lastPieces_ = s.num_pieces;
      lastProgress_ = Clock::now();
      return std::nullopt;
    }
    const auto still = Clock::now() - lastProgress_;
    const bool noneLeft = still > kNoSourceGrace && sources_.NoneLeft(s.num_peers);
    if (s.is_seeding || (still <= std::chrono::seconds(options_.stallSeconds) && !noneLeft)) return std::nullopt;
    const std::string why =
        noneLeft ? "没有可用的来源" : "没有对端或网络种子提供数据（" + std::to_string(options_.stallSeconds) + " 秒）";
    const std::string errors = sources_.Errors();
    return errors.empty() ? why : why + "：" + errors;
  }

  // Peers added by hand are asked again now and then: a seeder may start after us.
  void AskPeersAgain() {
    if (Clock::now() - lastPeers_ <= std::chrono::seconds(5)) return;
    for (const std::string& peer : options_.peers) AddPeer(h_, peer);
    lastPeers_ = Clock::now();
  }

  // Seeding means every piece passed its check: the files get their own names, then it ends
  // once the seed ratio is reached.
  std::optional<SwarmResult> Seeding(const lt::torrent_status& s) {
    if (!s.is_seeding) return std::nullopt;
    std::string failure;
    if (!named_ && !GiveFilesTheirNames(session_, h_, names_, failure)) return SwarmResult{SwarmEnd::kFailed, failure};
    named_ = true;
    if (options_.seedRatio > 0 && double(s.all_time_upload) < options_.seedRatio * double(info_.total_size()))
      return std::nullopt;
    std::error_code removed;
    std::filesystem::remove(common::PathOf(resumePath_), removed);
    return SwarmResult{SwarmEnd::kComplete, {}};
  }

  lt::session& session_;
  lt::torrent_handle h_;
  const lt::torrent_info& info_;
  const SwarmOptions& options_;
  Sources sources_;
  const std::string resumePath_;
  std::vector<std::string> names_;
  int rate_;
  bool named_ = false;  // every file under its own name
  int lastPieces_ = -1;
  Clock::time_point lastProgress_ = Clock::now(), lastPeers_ = Clock::now();
};

// What stands in the way of a download into the folder before anything is opened there.
std::optional<std::string> Unwritable(const lt::torrent_info& info, const std::string& folder) {
  if (!StaysInside(info)) return "种子里的文件路径会离开保存目录，或是 Windows 不能用的文件名";
  if (auto planted = PlantedAmong(ContentPaths(info, folder)))
    return "保存目录里的 " + *planted + " 不是普通文件（链接、管道或硬链接），不会写入它";
  return std::nullopt;
}

}  // namespace

SwarmResult DownloadContent(std::string_view torrentBytes, const SwarmOptions& options,
                            const std::function<void(const SwarmStatus&)>& show,
                            const std::function<bool()>& interrupted) {
  std::string failure;
  const std::shared_ptr<lt::torrent_info> info = Parse(torrentBytes, failure);
  if (!info) return {SwarmEnd::kFailed, failure};
  if (auto why = Unwritable(*info, options.folder)) return {SwarmEnd::kFailed, *why};
  const ContentLock lock(options.folder, info->name());  // for the whole download
  if (!lock.held()) return {SwarmEnd::kFailed, lock.failure()};
  lt::session session(Settings(options));
  LimitLocalPeersToo(session);
  FollowTheWebSeedsProxy(session, *info);
  bool resumed = false;
  lt::add_torrent_params params = Params(info, options.folder, resumed);
  if (!resumed && AlreadyComplete(session, info, options.folder, interrupted)) return {SwarmEnd::kComplete, {}};
  if (auto room = NoRoomFor(options.folder, Missing(*info, options.folder))) return {SwarmEnd::kFailed, *room};
  lt::error_code ec;
  lt::torrent_handle h = session.add_torrent(std::move(params), ec);
  if (ec) return {SwarmEnd::kFailed, "种子无法加入：" + ec.message()};
  for (const std::string& peer : options.peers)
    if (!AddPeer(h, peer)) return {SwarmEnd::kFailed, "不是 HOST:PORT：" + peer};
  return SwarmRun(session, h, *info, options).Go(show, interrupted);
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
      std::filesystem::remove(common::PathOf(folder + "/" + info.files().file_path(f) + kPartSuffix), ec);
    std::filesystem::remove(common::PathOf(ResumeFilePath(folder, info.name())), ec);
  } catch (const std::exception&) {
    // not a torrent: nothing of it to delete
  }
}

}  // namespace torrent
