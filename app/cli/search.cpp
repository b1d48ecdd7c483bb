// quorvel-cli search DEVICE: the portal's release row, as text or JSON, and its download.

#include <algorithm>
#include <cstdio>
#include <optional>

#include "batch.h"
#include "commands.h"
#include "platform/terminal.h"
#include "printable.h"
#include "progressfigures.h"
#include "releasesearch.h"
#include "servers.h"
#include "utf8.h"
#include "words.h"

namespace cli {

namespace {

std::string JsonText(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

struct Field {
  const char* key;
  const std::string* value;
};

std::vector<Field> FieldsOf(const catalogue::ReleaseRow& r) {
  return {{"version", &r.version},         {"date", &r.releaseDate},    {"size", &r.size},
          {"torrentSize", &r.torrentSize}, {"program", &r.programLink}, {"torrent", &r.torrentLink},
          {"maps", &r.companionMaps},      {"mapName", &r.mapName},     {"mapLink", &r.mapLink}};
}

void PrintJson(const catalogue::ReleaseRow& r) {
  std::string out = "{";
  for (const Field& f : FieldsOf(r)) out += (out.size() > 1 ? ", " : "") + JsonText(f.key) + ": " + JsonText(*f.value);
  std::printf("%s}\n", out.c_str());
}

// One field a line; the companion maps (CR LF lines) each on a line of their own, below the
// first one. Each line is shown with its terminal controls escaped; one pass over the text.
void PrintText(const catalogue::ReleaseRow& r) {
  std::string out;
  for (const Field& f : FieldsOf(r)) {
    std::string_view value = *f.value;
    while (value.ends_with("\r\n")) value.remove_suffix(2);
    char key[16];
    std::snprintf(key, sizeof key, "%-12s ", f.key);
    out += key;
    for (size_t start = 0;;) {
      const size_t end = value.find("\r\n", start);
      out += common::Printable(value.substr(start, end == std::string_view::npos ? end : end - start));
      if (end == std::string_view::npos) break;
      out += "\n             ";
      start = end + 2;
    }
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

int Download(const catalogue::ReleaseRow& row, bool torrent, const std::string& folder, std::int64_t limit,
             const std::string& downloadServer) {
  common::DownloadOrder order = catalogue::DownloadOf(row, torrent);
  order.folder = folder;
  Display display(platform::IsTerminal(stdout));
  const BatchResult result = RunBatch({order}, 1, limit, display, gInterrupted);
  if (result.interrupted) return 130;
  if (result.AllDone()) return 0;
  std::fprintf(stderr, "quorvel-cli: 下载失败：%s\n", common::Printable(session::FailureWords(result.rows[0])).c_str());
  if (records::UnreachableServer(result.rows[0].failCode))
    std::fprintf(stderr, "quorvel-cli: %s\n",
                 core::WhereServerIsChosen(core::Server::kDownload, downloadServer, true).c_str());
  return 2;
}

// What a search that found no row says, and its exit status.
int NotFound(const catalogue::ReleaseSearch& found, const std::string& portal) {
  switch (found.outcome) {
    case catalogue::ReleaseSearch::Outcome::kStopped: std::fprintf(stderr, "quorvel-cli: 已中断\n"); return 130;
    case catalogue::ReleaseSearch::Outcome::kTooSlow:
      std::fprintf(stderr, "quorvel-cli: %s\n", catalogue::kTooSlowWords);
      return 2;
    case catalogue::ReleaseSearch::Outcome::kFailed:
      std::fprintf(stderr, "quorvel-cli: 搜索失败：%s\nquorvel-cli: %s\n", common::Printable(found.status).c_str(),
                   core::WhereServerIsChosen(core::Server::kPortal, portal, true).c_str());
      return 2;
    default: std::fprintf(stderr, "quorvel-cli: 查无结果！没有这个设备号的主程序。\n"); return 1;
  }
}

}  // namespace

int Search(const Arguments& given) {
  Arguments args = given;
  catalogue::Servers servers;
  if (!TakeServerOptions(args, servers)) return 2;
  const bool json = TakeFlag(args, "--json");
  std::string folder = ".";
  if (!TakeValue(args, "-o", folder)) return BadArguments("-o 需要一个目录");
  std::int64_t limit = 0;
  if (!TakeLimitRate(args, limit)) return 2;
  std::optional<bool> torrent;
  if (auto at = std::find(args.begin(), args.end(), "--download"); at != args.end()) {
    torrent = false;
    if (at + 1 != args.end() && (at[1] == "file" || at[1] == "bt")) {
      torrent = at[1] == "bt";
      args.erase(at + 1);
    }
    args.erase(at);
  }
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return BadArguments("search 需要一个设备号");
  if (torrent && !UsableFolder(folder)) return 2;
  // Ctrl-C ends the search at once, as it ends a download.
  const catalogue::ReleaseSearch found =
      catalogue::SearchRelease(common::Utf8ToUtf16(args[0]), servers, [] { return !gInterrupted; });
  if (found.outcome != catalogue::ReleaseSearch::Outcome::kFound) return NotFound(found, servers.portal);
  if (json) {
    PrintJson(found.row);
  } else {
    PrintText(found.row);
  }
  std::fflush(stdout);
  return torrent ? Download(found.row, *torrent, folder, limit, servers.download) : 0;
}

}  // namespace cli
