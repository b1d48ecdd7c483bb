// quorvel-cli verify ARCHIVE [TORRENT]: the archive against the piece hashes of its torrent.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "commands.h"
#include "pathtext.h"
#include "printable.h"
#include "releasesearch.h"
#include "servers.h"
#include "utf8.h"
#include "verify.h"

namespace cli {

namespace {

// The torrent the window saves beside a release: "V3.2.1.zip" has "V3.2.1.torrent".
std::string TorrentBeside(const std::string& archive) {
  const std::filesystem::path p = common::PathOf(archive);
  return common::Utf8Of(p.parent_path() / p.stem()) + ".torrent";
}

// The release row's torrent, fetched into memory.
std::optional<std::string> FetchTorrent(const std::string& device, const catalogue::Servers& servers) {
  const catalogue::ReleaseSearch found =
      catalogue::SearchRelease(common::Utf8ToUtf16(device), servers, [] { return !gInterrupted; });
  if (found.outcome == catalogue::ReleaseSearch::Outcome::kStopped) return std::nullopt;
  if (found.outcome == catalogue::ReleaseSearch::Outcome::kTooSlow) {
    std::fprintf(stderr, "quorvel-cli: %s\n", catalogue::kTooSlowWords);
    return std::nullopt;
  }
  if (found.outcome == catalogue::ReleaseSearch::Outcome::kFailed) {
    std::fprintf(stderr, "quorvel-cli: 搜索失败：%s\nquorvel-cli: %s\n", common::Printable(found.status).c_str(),
                 core::WhereServerIsChosen(core::Server::kPortal, servers.portal, true).c_str());
    return std::nullopt;
  }
  if (found.outcome != catalogue::ReleaseSearch::Outcome::kFound) {
    std::fprintf(stderr, "quorvel-cli: 查无结果！没有设备号 %s 的主程序。\n", common::Printable(device).c_str());
    return std::nullopt;
  }
  std::string status;
  std::optional<std::string> bytes = torrent::FetchTorrent(found.row.torrentLink, nullptr, &status);
  if (!bytes) std::fprintf(stderr, "quorvel-cli: 种子下载失败：%s\n", common::Printable(status).c_str());
  return bytes;
}

}  // namespace

int Verify(const Arguments& given) {
  Arguments args = given;
  catalogue::Servers servers;
  if (!TakeServerOptions(args, servers)) return 2;
  std::string device;
  if (!TakeValue(args, "--device", device)) return BadArguments("--device 需要一个设备号");
  if (args.empty() || args.size() > 2) return BadArguments("verify 需要一个压缩包，可再加它的种子");
  const std::string& archive = args[0];
  std::optional<std::string> torrentBytes;
  std::string source;
  if (args.size() == 2) {
    source = args[1];
    torrentBytes = torrent::ReadTorrentFile(source);
  } else if (std::filesystem::exists(common::PathOf(TorrentBeside(archive)))) {
    source = TorrentBeside(archive);
    torrentBytes = torrent::ReadTorrentFile(source);
  } else if (!device.empty()) {
    source = "设备号 " + device + " 的主程序行";
    torrentBytes = FetchTorrent(device, servers);
    if (!torrentBytes) return 2;
  } else {
    return BadArguments("没有种子：请给出种子，或把它放在压缩包旁边（" + TorrentBeside(archive) +
                        "），或用 --device 指定设备号来下载它");
  }
  if (!torrentBytes) return BadArguments("种子无法读取：" + source);
  const torrent::Verification v = torrent::VerifyArchive(archive, *torrentBytes);
  if (!v.checked) {
    // The file at fault is named: the torrent when it is none (the arguments swapped, say).
    const std::string& culprit = v.torrentAtFault ? source : archive;
    std::fprintf(stderr, "quorvel-cli: %s：%s\n", common::Printable(culprit).c_str(),
                 common::Printable(v.failure).c_str());
    return 2;
  }
  for (const torrent::BadPiece& bad : v.bad)
    std::printf("坏块 %d：字节 %lld-%lld\n", bad.index, static_cast<long long>(bad.begin),
                static_cast<long long>(bad.end - 1));
  if (!v.Passed()) {
    std::printf("校验失败：%d 块中有 %zu 块损坏（%s）\n", v.pieces, v.bad.size(), archive.c_str());
    return 1;
  }
  std::printf("校验通过：%d 块（%s）\n", v.pieces, archive.c_str());
  return 0;
}

}  // namespace cli
