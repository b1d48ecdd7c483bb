#pragma once
// What the progress display shows for one answer of the engine: Qt-free, UTF-8 texts.
#include <cstdint>
#include <string>

namespace records {

// The captions of the progress display's three figures; alone while nothing downloads.
inline constexpr const char* kSpeedCaption = "即时速度：";
inline constexpr const char* kDownloadedCaption = "已下载：";
inline constexpr const char* kTotalCaption = "总大小：";
inline constexpr const char* kPercentCaption = "下载进度：";

// Rounded to two decimals, halves away from zero, with a point and exactly two digits.
std::string TwoDecimals(double value);

struct ProgressFigures {
  std::string speed;       // "即时速度：0 KB/S"
  std::string downloaded;  // "已下载：1.50 MB"
  std::string total;       // "总大小：10.00 MB"
  std::string percent;     // "下载进度：50.00 %"
  int bar = 0;             // whole percent, cut toward zero, kept within 0..100
};
ProgressFigures FiguresOf(std::int32_t nSpeed, std::int64_t nTotalDownload, std::int64_t nTotalSize, float fPercent);

}  // namespace records
