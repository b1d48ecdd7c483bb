#pragma once
// How a package stands in the save folder, for the map-data picker: complete and checked against
// its torrent, complete, partly there (with how far, when the list knows), or missing. Read from
// the folder and the list's rows only: nothing is asked of a server.
#include <string>
#include <vector>

#include "downloadorder.h"
#include "listeddownload.h"

namespace session {

enum class PackageState { kMissing, kPartial, kComplete, kChecked };

struct PackageInFolder {
  PackageState state = PackageState::kMissing;
  int percent = -1;  // a partial file's, when a row of the list knows it
};

// `order.folder` and `order.name` say where the file is; `rows` are the list's.
PackageInFolder StateInFolder(const common::DownloadOrder& order, const std::vector<ListedDownload>& rows);

// "已完成，校验通过", "已完成", "未完成 35%", "未完成", "没有".
std::string PackageWords(const PackageInFolder& p);

}  // namespace session
