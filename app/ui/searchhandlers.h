#pragma once
#include "releasesearch.h"

class MainWindow;

namespace ui {

// The window's side of the release search and of the map-data catalogue.

void SearchReleases(MainWindow& w);     // 按钮_渠道主程序搜索 clicked
void SelectMapDataKind(MainWindow& w);  // 组合框_图资 selection changed
void DownloadMapData(MainWindow& w);    // 按钮_图资下载 clicked
// A found release: a row of 超级列表框, and the release itself for what a double-click downloads.
void AppendReleaseRow(MainWindow& w, const catalogue::ReleaseRow& r);

}  // namespace ui
