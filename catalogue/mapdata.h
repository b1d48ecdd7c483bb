#pragma once
// The map-data catalogue: the 24 kinds of package of 组合框_图资, and from a kind, a map-data
// version, an incremental update identifier and the two check boxes, the address on the
// download server and the file name to save under. Qt-free; texts are UTF-8 (ASCII in practice).
#include <optional>
#include <span>
#include <string>

#include "downloadorder.h"

namespace catalogue {

// How a kind's address and file name are made.
enum class MapDataForm {
  kWholeSet,     // the whole set, one zip in both modes: data_<v>.zip
  kStandard,     // data_<v>/<package>.ndz, or torrent/<package>.torrent
  kIncremental,  // like kStandard, or a datazl_ folder when an update identifier is given
  kOwnFolder,    // <package>_<v>/<package>.ndz in file mode
  kCloud,        // data_<v>/<package>.cld in file mode
  kRegion,       // nvdd_<region>_<v>: two parts in file mode, one zip in BT mode
};

struct MapDataKind {
  const char* caption;  // the combo box's text
  const char* name;     // what quorvel-cli calls it: the package, or "set" for the whole set
  const char* package;  // the package name, or the region code of a regional set
  MapDataForm form;
  const char* hint;  // the note shown when the kind is chosen, lines joined by CR LF; or null
};

// The kinds in the combo box's order.
std::span<const MapDataKind> MapDataKinds();

struct MapDataChoice {
  int row = -1;             // 0 to 23
  std::string version;      // as typed; lowered here
  std::string incremental;  // 编辑框_增量更新, as typed
  bool btMode = false;      // 选择框_下载模式 ticked
  bool secondPart = false;  // 选择框_下载开关 ticked: regional sets in file mode take part 2
};

// `server` is "http://" + the download server's host. Nothing for a row outside 0 to 23.
// The package's order: its address, its name, whether it is a torrent (the BT forms of the
// whole and regional sets are archives), and for a package in file mode the address of its
// torrent to check it against (none for the whole and regional sets).
std::optional<common::DownloadOrder> MapDataAddress(const MapDataChoice& choice, const std::string& server);

// Whether the kind takes an incremental update identifier (编辑框_增量更新 opens for it).
bool TakesUpdateIdentifier(int row);

// The note on the provinces a regional set leaves out, lines joined by CR LF; nothing for
// other rows.
std::optional<std::string> RegionHint(int row);

}  // namespace catalogue
