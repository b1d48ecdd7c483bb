// quorvel-cli verify ARCHIVE [TORRENT]: the archive against the piece hashes of its torrent.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "commands.h"
#include "printable.h"
#include "releasesearch.h"
#include "utf8.h"
#include "verify.h"

namespace cli {

namespace {

// The torrent the window saves beside a release: "V3.2.1.zip" has "V3.2.1.torrent".
std::string TorrentBeside(const std::string& archive) {
  std::filesystem::path p(archive);
  return (p.parent_path() / p.stem()).string() + ".torrent";
}

// The release row's torrent, fetched into memory.
std::optional<std::string> FetchTorrent(const std::string& device, const ServerOptions& servers) {
  const catalogue::ReleaseSearch found =
      catalogue::SearchRelease(common::Utf8ToUtf16(device), {servers.portal, servers.download}, nullptr);
  if (found.outcome != catalogue::ReleaseSearch::Outcome::kFound) {
    std::fprintf(stderr, "quorvel-cli: no release row for device %s: %s\n", device.c_str(),
                 common::Printable(found.status).c_str());
    return std::nullopt;
  }
  std::string status;
  std::optional<std::string> bytes = torrent::FetchTorrent(found.row.torrentLink, nullptr, &status);
  if (!bytes)
    std::fprintf(stderr, "quorvel-cli: the torrent could not be fetched: %s\n", common::Printable(status).c_str());
  return bytes;
}

}  // namespace

int Verify(const Arguments& given) {
  Arguments args = given;
  ServerOptions servers;
  if (!TakeServerOptions(args, servers)) return 2;
  std::string device;
  if (!TakeValue(args, "--device", device)) return BadArguments("--device takes a device number");
  if (args.empty() || args.size() > 2) return BadArguments("verify takes an archive and, optionally, its torrent");
  const std::string& archive = args[0];
  std::optional<std::string> torrentBytes;
  std::string source;
  if (args.size() == 2) {
    source = args[1];
    torrentBytes = torrent::ReadTorrentFile(source);
  } else if (std::filesystem::exists(TorrentBeside(archive))) {
    source = TorrentBeside(archive);
    torrentBytes = torrent::ReadTorrentFile(source);
  } else if (!device.empty()) {
    source = "the release row of " + device;
    torrentBytes = FetchTorrent(device, servers);
    if (!torrentBytes) return 2;
  } else {
    return BadArguments("no torrent: give one, put it beside the archive as " + TorrentBeside(archive) +
                        ", or name the device (--device) to fetch it");
  }
  if (!torrentBytes) return BadArguments("the torrent cannot be read: " + source);
  const torrent::Verification v = torrent::VerifyArchive(archive, *torrentBytes);
  if (!v.checked) {
    std::fprintf(stderr, "quorvel-cli: %s: %s\n", archive.c_str(), common::Printable(v.failure).c_str());
    return 2;
  }
  for (const torrent::BadPiece& bad : v.bad)
    std::printf("bad piece %d: bytes %lld-%lld\n", bad.index, static_cast<long long>(bad.begin),
                static_cast<long long>(bad.end - 1));
  if (!v.Passed()) {
    std::printf("校验失败：%zu / %d pieces bad (%s)\n", v.bad.size(), v.pieces, archive.c_str());
    return 1;
  }
  std::printf("校验通过：%d pieces (%s)\n", v.pieces, archive.c_str());
  return 0;
}

}  // namespace cli
