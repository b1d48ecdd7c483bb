// quorvel-cli verify ARCHIVE [TORRENT] [--repair]: the archive against the piece hashes of its
// torrent, and its bad pieces fetched again.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "commands.h"
#include "pathtext.h"
#include "printable.h"
#include "releasesearch.h"
#include "repair.h"
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

// The release row's torrent, fetched into memory; `archiveLink` gets the row's archive.
std::optional<std::string> FetchTorrent(const std::string& device, const catalogue::Servers& servers,
                                        std::string& archiveLink) {
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
  archiveLink = found.row.programLink;
  std::string status;
  std::optional<std::string> bytes = torrent::FetchTorrent(found.row.torrentLink, nullptr, &status);
  if (!bytes) std::fprintf(stderr, "quorvel-cli: 种子下载失败：%s\n", common::Printable(status).c_str());
  return bytes;
}

void PrintBadPieces(const torrent::Verification& v) {
  for (const torrent::BadPiece& bad : v.bad)
    std::printf("坏块 %d：字节 %lld-%lld\n", bad.index, static_cast<long long>(bad.begin),
                static_cast<long long>(bad.end - 1));
}

// The bad pieces fetched again from `from`; the exit status.
int Repair(const std::string& archive, const std::string& torrentBytes, const std::string& from) {
  const torrent::RepairResult r =
      torrent::RepairArchive(archive, torrentBytes, from, [](const torrent::RepairProgress&) { return !gInterrupted; });
  if (!r.before.checked) {
    std::fprintf(stderr, "quorvel-cli: %s：%s\n", common::Printable(archive).c_str(),
                 common::Printable(r.failure).c_str());
    return 2;
  }
  PrintBadPieces(r.before);
  if (r.before.Passed()) {
    std::printf("校验通过：%d 块（%s），无需修复\n", r.before.pieces, archive.c_str());
    return 0;
  }
  std::printf("已修复 %d 块，从 %s 取回 %lld 字节\n", r.repaired, common::Printable(from).c_str(),
              static_cast<long long>(r.fetched));
  if (!r.failure.empty()) std::fprintf(stderr, "quorvel-cli: %s\n", common::Printable(r.failure).c_str());
  if (gInterrupted) return 130;
  if (r.Passed()) {
    std::printf("修复完成，校验通过：%d 块（%s）\n", r.after.pieces, archive.c_str());
    return 0;
  }
  const size_t left = r.after.checked ? r.after.bad.size() : r.before.bad.size();
  std::printf("修复未完成：%d 块中仍有 %zu 块损坏（%s）\n", r.before.pieces, left, archive.c_str());
  return 1;
}

}  // namespace

int Verify(const Arguments& given) {
  Arguments args = given;
  catalogue::Servers servers;
  if (!TakeServerOptions(args, servers)) return 2;
  std::string device, from, releaseLink;
  if (!TakeValue(args, "--device", device) || !TakeValue(args, "--from", from))
    return BadArguments("--device 需要一个设备号，--from 需要一个地址");
  const bool repair = TakeFlag(args, "--repair");
  if (!from.empty() && !repair) return BadArguments("--from 与 --repair 一起用：修复时取块的地址");
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
    torrentBytes = FetchTorrent(device, servers, releaseLink);
    if (!torrentBytes) return 2;
  } else {
    return BadArguments("没有种子：请给出种子，或把它放在压缩包旁边（" + TorrentBeside(archive) +
                        "），或用 --device 指定设备号来下载它");
  }
  if (!torrentBytes) return BadArguments("种子无法读取：" + source);
  if (repair) {
    if (from.empty()) from = torrent::WebSeedOf(*torrentBytes).value_or(releaseLink);
    if (from.empty()) return BadArguments("不知道从哪里取块：种子没有网络种子，请用 --from 给出压缩包的地址");
    if (!from.starts_with("http://") && !from.starts_with("https://"))
      return BadArguments("--from 需要 http:// 或 https:// 地址");
    return Repair(archive, *torrentBytes, from);
  }
  const torrent::Verification v = torrent::VerifyArchive(archive, *torrentBytes);
  if (!v.checked) {
    // The file at fault is named: the torrent when it is none (the arguments swapped, say).
    const std::string& culprit = v.torrentAtFault ? source : archive;
    std::fprintf(stderr, "quorvel-cli: %s：%s\n", common::Printable(culprit).c_str(),
                 common::Printable(v.failure).c_str());
    return 2;
  }
  PrintBadPieces(v);
  if (!v.Passed()) {
    std::printf("校验失败：%d 块中有 %zu 块损坏（%s）\n", v.pieces, v.bad.size(), archive.c_str());
    return 1;
  }
  std::printf("校验通过：%d 块（%s）\n", v.pieces, archive.c_str());
  return 0;
}

}  // namespace cli
