#pragma once
// The download list on disk: a text file, one line per download, tab-separated fields with
// tabs, line ends, control characters and "%" percent-escaped. A line that cannot be read
// (another version, a damaged or hostile file) is left out with a line on stderr; the rest
// of the list stays.
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
// The rows of the file at `path`; none when it is missing. What is left out is said on stderr.
std::vector<ListedDownload> ReadListFile(const std::string& path);
// Atomically; false when it could not be written.
bool WriteListFile(const std::string& path, const std::vector<ListedDownload>& rows);

}  // namespace session
