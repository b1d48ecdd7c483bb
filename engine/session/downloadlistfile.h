#pragma once
// The download list on disk: a text file, one line per download, tab-separated fields with
// tabs, line ends, control characters and "%" percent-escaped (and blanks in the list of
// sources). A file that cannot be read whole (another version, a damaged or hostile file, one
// too large) is never written over: it is moved aside under a name of its own and the user is
// told, and the rows that could be read stay in the list.
#include <string>
#include <vector>

#include "listeddownload.h"

namespace session {

inline constexpr size_t kMaxListedDownloads = 1000;
inline constexpr size_t kMaxListFileBytes = 4 << 20;

std::string ListFileText(const std::vector<ListedDownload>& rows);
// The rows of a list file's text; `complaints` gets one line per line left out.
std::vector<ListedDownload> ParseListFile(const std::string& text, std::vector<std::string>& complaints);

// ${XDG_DATA_HOME:-~/.local/share}/Quorvel/downloads.list
std::string ListFilePath();

struct ListFileRead {
  std::vector<ListedDownload> rows;
  std::vector<std::string> complaints;  // what could not be read
  std::string keptAside;                // where the file was moved because of them; empty when it was not
  bool mayWrite = true;                 // false: it could not be moved aside, and must not be written over
};
// The rows of the file at `path`; none when it is missing. A file that cannot be read whole
// goes to "<path>.bad-<date>-<time>" (`now` is the local time as YYYYMMDD-HHMMSS).
ListFileRead ReadListFile(const std::string& path, const std::string& now);
// Atomically; false when it could not be written.
bool WriteListFile(const std::string& path, const std::vector<ListedDownload>& rows);

}  // namespace session
