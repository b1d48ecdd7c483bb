#include "downloadlistfile.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include "ascii.h"
#include "decimal.h"
#include "files.h"
#include "percent.h"
#include "utf8.h"

namespace session {

namespace {

constexpr const char* kFirstLine = "Quorvel download list 1";
constexpr size_t kMaxText = 4096, kMaxName = 255, kMaxWords = 1000;

const char* const kStates[] = {"waiting", "running", "paused", "completed", "failed"};
const char* const kVerdicts[] = {"none", "checking", "passed", "failed"};

std::string Escaped(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(common::PercentDecoded(line.substr(start, tab - start)));
  fields.push_back(common::PercentDecoded(line.substr(start)));
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

bool FileName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxName && name != "." && name != ".." &&
         name.find('/') == std::string::npos && !HasControls(name);
}

// Why a line is not a row; empty when it is one. Paths from the file are used to delete
// temporary files and to open folders: only an absolute folder and a plain name pass.
std::string Read(const std::vector<std::string>& f, ListedDownload& d) {
  if (f.size() != 13) return "wrong number of fields";
  const auto id = common::DecimalNumber(f[0], 9), code = common::DecimalNumber(f[2], 9);
  const auto total = common::DecimalNumber(f[4]), done = common::DecimalNumber(f[5]);
  const int state = IndexOf(kStates, f[1]), verdict = IndexOf(kVerdicts, f[3]);
  if (!id || *id == 0 || !code || !total || !done || state < 0 || verdict < 0) return "bad figures";
  if (f[6] != "server" && f[6] != "swarm") return "unknown source";
  if (!WebAddress(f[7]) || (!f[10].empty() && !WebAddress(f[10]))) return "not a web address";
  const std::string &folder = f[8], &name = f[9], &torrentFile = f[12];
  if (!folder.starts_with('/') || folder.size() > kMaxText || HasControls(folder)) return "not an absolute folder";
  if (!FileName(name) || (!torrentFile.empty() && !FileName(torrentFile))) return "not a file name";
  for (const std::string& text : f)
    if (!common::IsUtf8(text)) return "not UTF-8";
  if (f[11].size() > kMaxWords) return "verdict too long";
  d.id = int(*id);
  d.state = ListState(state);
  d.failCode = int(*code);
  d.verdict = CheckVerdict(verdict);
  d.total = *total;
  d.done = *done;
  d.swarm = f[6] == "swarm";
  d.url = f[7];
  d.folder = folder;
  d.name = name;
  d.torrentLink = f[10];
  d.verdictText = f[11];
  d.torrentFile = torrentFile;
  return {};
}

}  // namespace

std::string ListFileText(const std::vector<ListedDownload>& rows) {
  std::string text = std::string(kFirstLine) + "\n";
  for (const ListedDownload& d : rows) {
    const std::string fields[] = {
        std::to_string(d.id),    kStates[int(d.state)],  std::to_string(d.failCode),   kVerdicts[int(d.verdict)],
        std::to_string(d.total), std::to_string(d.done), d.swarm ? "swarm" : "server", Escaped(d.url),
        Escaped(d.folder),       Escaped(d.name),        Escaped(d.torrentLink),       Escaped(d.verdictText),
        Escaped(d.torrentFile)};
    for (size_t i = 0; i < std::size(fields); ++i) text += (i ? "\t" : "") + fields[i];
    text += "\n";
  }
  return text;
}

std::vector<ListedDownload> ParseListFile(const std::string& text, std::vector<std::string>& complaints) {
  std::vector<ListedDownload> rows;
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kFirstLine) {
    if (!text.empty()) complaints.push_back("not a download list of this version: left as it is");
    return rows;
  }
  std::set<int> ids;
  for (int number = 2; std::getline(lines, line); ++number) {
    ListedDownload d;
    std::string why = Read(Fields(line), d);
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

std::vector<ListedDownload> ReadListFile(const std::string& path) {
  const std::optional<std::string> text = common::ReadFileUpTo(path, kMaxListFileBytes);
  if (!text) return {};
  std::vector<std::string> complaints;
  std::vector<ListedDownload> rows = ParseListFile(*text, complaints);
  for (const std::string& c : complaints) std::fprintf(stderr, "quorvel: %s: %s\n", path.c_str(), c.c_str());
  return rows;
}

bool WriteListFile(const std::string& path, const std::vector<ListedDownload>& rows) {
  const std::string folder = path.substr(0, path.rfind('/'));
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return common::WriteFileAtomically(path, ListFileText(rows));
}

}  // namespace session
