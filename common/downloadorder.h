#pragma once
// A download as the program orders it: what the catalogue and the release search hand to the
// download list, and what the list keeps of each row. Texts are UTF-8.
#include <string>
#include <vector>

namespace common {

// What the file is: it says what may follow its completion.
enum class DownloadKind {
  kFile,            // any other file (the boxes filled by hand)
  kRelease,         // a main-program archive: checked against its torrent once complete
  kReleaseTorrent,  // a main-program archive's torrent
  kMapData,         // a map-data package: checked against its torrent once complete, when it has one
  kMapDataTorrent,  // a map-data package's torrent
  kContent,         // a torrent's content, through the swarm
};

struct DownloadOrder {
  std::vector<std::string> sources;  // addresses of the same file, the first tried first
  std::string folder;                // absolute; the save folder the download goes into
  std::string name;                  // one path component inside `folder`
  DownloadKind kind = DownloadKind::kFile;
  // The torrent beside it: a release archive's or map-data package's torrent (an address) to
  // check and repair it against; the torrent file in `folder` whose content a kContent
  // download is.
  std::string torrent;

  // A torrent file: by its kind, or by its name when it is of no known kind.
  bool IsTorrent() const {
    return kind == DownloadKind::kReleaseTorrent || kind == DownloadKind::kMapDataTorrent ||
           (kind == DownloadKind::kFile && name.ends_with(".torrent"));
  }
  // An archive that `torrent` describes, checked against it.
  bool IsArchive() const { return kind == DownloadKind::kRelease || kind == DownloadKind::kMapData; }
  // The first source, or empty text when there is none.
  const std::string& address() const {
    static const std::string none;
    return sources.empty() ? none : sources.front();
  }
  bool operator==(const DownloadOrder&) const = default;
};

}  // namespace common
