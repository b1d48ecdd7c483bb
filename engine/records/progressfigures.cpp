#include "progressfigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace records {

std::string TwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", std::round(value * 100.0) / 100.0);
  return text;
}

ProgressFigures FiguresOf(std::int32_t nSpeed, std::int64_t nTotalDownload, std::int64_t nTotalSize, float fPercent) {
  ProgressFigures f;
  f.speed = kSpeedCaption + std::to_string(static_cast<long long>(std::trunc(nSpeed / 1024.0))) + " KB/S";
  f.downloaded = kDownloadedCaption + TwoDecimals(double(nTotalDownload) / 1048576.0) + " MB";
  f.total = kTotalCaption + TwoDecimals(double(nTotalSize) / 1048576.0) + " MB";
  f.percent = kPercentCaption + TwoDecimals(double(fPercent) * 100.0) + " %";
  double bar = std::trunc(double(fPercent) * 100.0);
  f.bar = std::isfinite(bar) ? int(std::clamp(bar, 0.0, 100.0)) : 0;
  return f;
}

}  // namespace records
