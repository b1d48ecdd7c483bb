#include "downloadlistfile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include "ascii.h"
#include "decimal.h"
#include "files.h"
#include "pathtext.h"
#include "percent.h"
#include "safename.h"
#include "utf8.h"

namespace session {

namespace {

constexpr const char* kFirstLine = "Quorvel download list 2";
constexpr const char* kFirstLineV1 = "Quorvel download list 1";  // read, never written
constexpr size_t kMaxText = 4096, kMaxName = 255, kMaxWords = 1000, kMaxSources = 8;

const char* const kStates[] = {"waiting", "running", "paused", "completed", "failed"};
const char* const kVerdicts[] = {"none", "checking", "passed", "failed"};
const char* const kKinds[] = {"file", "release", "release-torrent", "mapdata", "mapdata-torrent", "content"};

std::string Escaped(std::string_view text, bool blanks = false) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == '%' || (blanks && c == ' ')) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

// The fields of a line as written (still escaped).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

template <size_t N>
int IndexOf(const char* const (&words)[N], const std::string& word) {
  for (size_t i = 0; i < N; ++i)
    if (word == words[i]) return int(i);
  return -1;
}

bool HasControls(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

bool WebAddress(std::string_view url) {
  const std::string lower = common::AsciiLower(url.substr(0, 8));
  return (lower.starts_with("http://") || lower.starts_with("https://")) && url.size() <= kMaxText && !HasControls(url);
}

bool FileName(const std::string& name) { return name.size() <= kMaxName && common::IsSafeFileName(name); }

// A line of the first version, as the second writes it: its source ("server" or "swarm") and
// the link or file of a torrent become a kind and the torrent beside the file.
std::vector<std::string> AsSecondVersion(const std::vector<std::string>& f) {
  if (f.size() != 13) return f;
  const bool swarm = f[6] == "swarm";
  const std::string name = common::PercentDecoded(f[9]);
  const char* kind = swarm ? "content" : !f[10].empty() ? "release" : "file";
  if (f[6] != "server" && !swarm) kind = "unknown";
  return {f[0],
          f[1],
          f[2],
          f[3],
          f[4],
          f[5],
          kind,
          Escaped(common::PercentDecoded(f[7]), true),
          f[8],
          f[9],
          swarm ? f[12] : f[10],
          f[11],
          ""};
}

std::vector<std::string> Sources(const std::string& field) {
  std::vector<std::string> sources;
  size_t start = 0;
  for (size_t blank; (blank = field.find(' ', start)) != std::string::npos; start = blank + 1)
    sources.push_back(common::PercentDecoded(field.substr(start, blank - start)));
  sources.push_back(common::PercentDecoded(field.substr(start)));
  return sources;
}

// Why a line is not a row; empty when it is one. Paths from the file are used to delete
// temporary files and to open folders: only an absolute folder and a plain name pass.
std::string Read(const std::vector<std::string>& raw, ListedDownload& d) {
  if (raw.size() != 13) return "wrong number of fields";
  std::vector<std::string> f(raw.size());
  std::transform(raw.begin(), raw.end(), f.begin(),
                 [](const std::string& field) { return common::PercentDecoded(field); });
  const auto id = common::DecimalNumber(f[0], 9), code = common::DecimalNumber(f[2], 9);
  const auto total = common::DecimalNumber(f[4]), done = common::DecimalNumber(f[5]);
  const int state = IndexOf(kStates, f[1]), verdict = IndexOf(kVerdicts, f[3]), kind = IndexOf(kKinds, f[6]);
  if (!id || *id == 0 || !code || !total || !done || state < 0 || verdict < 0) return "bad figures";
  if (kind < 0 || (!f[12].empty() && f[12] != "there")) return "unknown kind";
  const std::vector<std::string> sources = Sources(raw[7]);
  for (const std::string& s : sources)
    if (!WebAddress(s) || sources.size() > kMaxSources) return "not a web address";
  const bool content = common::DownloadKind(kind) == common::DownloadKind::kContent;
  const std::string &folder = f[8], &name = f[9], &torrent = f[10];
  if (!common::IsAbsolutePath(folder) || folder.size() > kMaxText || HasControls(folder))
    return "not an absolute folder";
  if (!FileName(name) || (content && !FileName(torrent))) return "not a file name";
  if (!content && !torrent.empty() && !WebAddress(torrent)) return "not a web address";
  for (const std::string& text : f)
    if (!common::IsUtf8(text)) return "not UTF-8";
  if (f[11].size() > kMaxWords) return "verdict too long";
  d.id = int(*id);
  d.state = ListState(state);
  d.failCode = int(*code);
  d.verdict = CheckVerdict(verdict);
  d.total = *total;
  d.done = *done;
  d.order = {sources, folder, name, common::DownloadKind(kind), torrent};
  d.verdictText = f[11];
  d.alreadyThere = f[12] == "there";
  return {};
}

std::string JoinedSources(const std::vector<std::string>& sources) {
  std::string out;
  for (const std::string& s : sources) {
    if (!out.empty()) out += ' ';
    out += Escaped(s, true);
  }
  return out;
}

}  // namespace

std::string ListFileText(const std::vector<ListedDownload>& rows) {
  std::string text = std::string(kFirstLine) + "\n";
  for (const ListedDownload& d : rows) {
    const std::string fields[] = {
        std::to_string(d.id),         kStates[int(d.state)],          std::to_string(d.failCode),
        kVerdicts[int(d.verdict)],    std::to_string(d.total),        std::to_string(d.done),
        kKinds[int(d.order.kind)],    JoinedSources(d.order.sources), Escaped(d.order.folder),
        Escaped(d.order.name),        Escaped(d.order.torrent),       Escaped(d.verdictText),
        d.alreadyThere ? "there" : ""};
    for (size_t i = 0; i < std::size(fields); ++i) text += (i ? "\t" : "") + fields[i];
    text += "\n";
  }
  return text;
}

std::vector<ListedDownload> ParseListFile(const std::string& text, std::vector<std::string>& complaints) {
  std::vector<ListedDownload> rows;
  std::istringstream lines(text);
  std::string line;
  // Lines may end in CR LF (a file edited or copied on Windows).
  auto next = [&] { return std::getline(lines, line) && (!line.ends_with('\r') || (line.pop_back(), true)); };
  const bool first = next() && line == kFirstLine, old = !first && line == kFirstLineV1;
  if (!first && !old) {
    if (!text.empty()) complaints.push_back("not a download list of this version");
    return rows;
  }
  std::set<int> ids;
  for (int number = 2; next(); ++number) {
    ListedDownload d;
    std::string why = Read(old ? AsSecondVersion(Fields(line)) : Fields(line), d);
    if (why.empty() && !ids.insert(d.id).second) why = "a second row with its number";
    if (why.empty() && rows.size() >= kMaxListedDownloads) why = "more rows than the list keeps";
    if (!why.empty()) {
      complaints.push_back("line " + std::to_string(number) + " left out: " + why);
      continue;
    }
    rows.push_back(std::move(d));
  }
  return rows;
}

std::string ListFilePath() { return common::UserDataFolder() + "/downloads.list"; }

ListFileRead ReadListFile(const std::string& path, const std::string& now) {
  ListFileRead read;
  std::error_code ec;
  if (!std::filesystem::exists(common::PathOf(path), ec) && !ec) return read;
  const std::optional<std::string> text = common::ReadFileUpTo(path, kMaxListFileBytes);
  if (text) {
    read.rows = ParseListFile(*text, read.complaints);
  } else {
    read.complaints.push_back("cannot be read, or larger than " + std::to_string(kMaxListFileBytes >> 20) + " MiB");
  }
  if (read.complaints.empty()) return read;
  // What could not be read stays whole in a file of its own; the list goes on without it.
  for (int n = 1; n < 100 && read.keptAside.empty(); ++n) {
    std::string aside = path;
    aside.append(".bad-").append(now);
    if (n > 1) aside.append("-").append(std::to_string(n));
    if (common::MoveNoReplace(path, aside)) {
      read.keptAside = aside;
    } else if (platform::LastFault() != platform::Fault::kExists) {
      break;
    }
  }
  read.mayWrite = !read.keptAside.empty();  // else it would be written over
  for (const std::string& c : read.complaints) std::fprintf(stderr, "quorvel: %s: %s\n", path.c_str(), c.c_str());
  return read;
}

bool WriteListFile(const std::string& path, const std::vector<ListedDownload>& rows) {
  std::error_code ec;
  std::filesystem::create_directories(common::PathOf(common::FolderOf(path)), ec);
  return common::WriteFileAtomically(path, ListFileText(rows));
}

}  // namespace session
