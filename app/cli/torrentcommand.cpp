// quorvel-cli torrent FILE.torrent|URL: the torrent's content through the swarm and its web seeds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "decimal.h"
#include "platform/terminal.h"
#include "printable.h"
#include "sizes.h"
#include "swarm.h"
#include "verify.h"

namespace cli {

namespace {

std::optional<std::string> TorrentBytes(const std::string& source) {
  if (source.starts_with("http://") || source.starts_with("https://")) return torrent::FetchTorrent(source);
  return torrent::ReadTorrentFile(source);
}

// One line, redrawn on a terminal; elsewhere a line when the state changes.
class SwarmDisplay {
 public:
  explicit SwarmDisplay(bool terminal) : terminal_(terminal) {}
  void Show(const torrent::SwarmStatus& s) {
    char line[256];
    std::snprintf(line, sizeof line, "%-28s %6.1f%%  %12s  对端 %d  做种 %d  %10s  %s",
                  common::Printable(s.name).c_str(), double(s.progress) * 100.0,
                  common::RateText(s.downloadRate).c_str(), s.peers, s.seeds, common::SizeText(s.total).c_str(),
                  s.state.c_str());
    if (terminal_) {
      std::printf("\r\x1b[2K%s", line);
      std::fflush(stdout);
    } else if (s.state != lastState_) {
      std::printf("%s\n", line);
      std::fflush(stdout);
    }
    lastState_ = s.state;
  }
  void End() {
    if (terminal_) std::printf("\n");
  }

 private:
  bool terminal_;
  std::string lastState_;
};

// Runs the swarm with the live line; the exit status: 0 complete, 1 failed, 130 interrupted.
// libtorrent takes its rates as int.
int SwarmRate(std::int64_t limit) { return int(std::min<std::int64_t>(limit, INT32_MAX)); }

int Swarm(const std::string& bytes, const torrent::SwarmOptions& options) {
  SwarmDisplay display(platform::IsTerminal(stdout));
  const torrent::SwarmResult r = torrent::DownloadContent(
      bytes, options, [&](const torrent::SwarmStatus& s) { display.Show(s); }, [] { return gInterrupted.load(); });
  display.End();
  switch (r.end) {
    case torrent::SwarmEnd::kComplete: std::printf("完成：每一块都已校验\n"); return 0;
    case torrent::SwarmEnd::kInterrupted: std::printf("已暂停：再次运行同一命令继续\n"); return 130;
    case torrent::SwarmEnd::kFailed: break;
  }
  std::fprintf(stderr, "quorvel-cli: %s\n", common::Printable(r.failure).c_str());
  return 1;
}

}  // namespace

int Torrent(const Arguments& given) {
  Arguments args = given;
  torrent::SwarmOptions options;
  options.folder = ".";
  std::string rate, ratio, port, stall;
  std::int64_t limit = 0;
  if (!TakeLimitRate(args, limit)) return 2;
  if (!TakeValue(args, "-o", options.folder) || !TakeValue(args, "--max-upload-rate", rate) ||
      !TakeValue(args, "--seed-ratio", ratio) || !TakeValue(args, "--port", port) || !TakeValue(args, "--stall", stall))
    return BadArguments("-o、--max-upload-rate、--seed-ratio、--port 和 --stall 需要一个值");
  for (std::string peer; TakeValue(args, "--peer", peer) && !peer.empty(); peer.clear()) options.peers.push_back(peer);
  options.dht = TakeFlag(args, "--dht");
  for (const char* server : {"--portal", "--download-server"})
    if (std::find(args.begin(), args.end(), server) != args.end())
      return BadArguments(std::string("torrent 不用 ") + server + "：种子文件或地址已指明一切");
  if (args.size() != 1) return BadArguments("torrent 需要一个种子文件或地址");
  options.maxUploadRate = rate.empty() ? 0 : std::atoi(rate.c_str());
  options.maxDownloadRate = SwarmRate(limit);
  options.seedRatio = ratio.empty() ? 0 : std::atof(ratio.c_str());
  options.port = port.empty() ? 0 : std::atoi(port.c_str());
  if (options.maxUploadRate < 0 || options.seedRatio < 0 || options.port < 0 || options.port > 65535)
    return BadArguments("--max-upload-rate、--seed-ratio 和 --port 取数字（端口最大 65535）");
  if (!stall.empty()) {
    const std::optional<std::int64_t> seconds = common::DecimalNumber(stall, 6);
    if (!seconds || *seconds < 1) return BadArguments("--stall 取 1 到 999999 秒");
    options.stallSeconds = int(*seconds);
  }
  // Anything about the torrent file itself is an argument's fault: exit status 2.
  const std::optional<std::string> bytes = TorrentBytes(args[0]);
  if (!bytes) return BadArguments("种子无法读取：" + common::Printable(args[0]));
  if (!torrent::ContentName(*bytes))
    return BadArguments("不是可用的种子（无法读出，或其中的路径会离开保存目录）：" + common::Printable(args[0]));
  if (!UsableFolder(options.folder)) return 2;
  return Swarm(*bytes, options);
}

int FetchContent(const std::string& torrentFile, const std::string& folder, std::int64_t limit) {
  const std::optional<std::string> bytes = TorrentBytes(torrentFile);
  if (!bytes) {
    std::fprintf(stderr, "quorvel-cli: 种子无法读取：%s\n", common::Printable(torrentFile).c_str());
    return 1;
  }
  torrent::SwarmOptions options;
  options.folder = folder;
  options.maxDownloadRate = SwarmRate(limit);
  return Swarm(*bytes, options);
}

}  // namespace cli
