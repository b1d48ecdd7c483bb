#pragma once
// The map-data catalogue: from a package kind (a row of 组合框_图资), a map-data version, an
// incremental update identifier and the two check boxes, the address on the download server
// and the file name to save under. Qt-free; texts are UTF-8 (ASCII in practice).
#include <optional>
#include <string>

struct MapDataChoice {
  int row = -1;             // 0 to 23
  std::string version;      // as typed; lowered here
  std::string incremental;  // 编辑框_增量更新, as typed
  bool btMode = false;      // 选择框_下载模式 ticked
  bool secondPart = false;  // 选择框_下载开关 ticked: regional sets in file mode take part 2
};

struct MapDataDownload {
  std::string address;
  std::string fileName;
  bool operator==(const MapDataDownload&) const = default;
};

// `server` is "http://" + the download server's host. Nothing for a row outside 0 to 23.
std::optional<MapDataDownload> MapDataAddress(const MapDataChoice& choice, const std::string& server);

// The note on the provinces a regional set leaves out (rows 20 to 23), lines joined by CR LF;
// nothing for other rows.
std::optional<std::string> RegionHint(int row);
