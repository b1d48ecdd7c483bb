#include "progressfigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

const char* StateText(int stat) {
  switch (stat) {
    case 1: return "取消下载！";
    case 2: return "暂停下载...";
    case 3: return "正在下载...";
    case 4: return "下载完毕！";
    case 5: return "发送请求...";
    case 6: return "结束请求...";
    default: return nullptr;
  }
}

std::string TwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", std::round(value * 100.0) / 100.0);
  return text;
}

ProgressFigures FiguresOf(std::int32_t nSpeed, std::int64_t nTotalDownload, std::int64_t nTotalSize, float fPercent) {
  ProgressFigures f;
  f.speed = "即时速度：" + std::to_string(static_cast<long long>(std::trunc(nSpeed / 1024.0))) + " KB/S";
  f.downloaded = "已下载：" + TwoDecimals(double(nTotalDownload) / 1048576.0) + " MB";
  f.total = "总大小：" + TwoDecimals(double(nTotalSize) / 1048576.0) + " MB";
  f.percent = "下载进度：" + TwoDecimals(double(fPercent) * 100.0) + " %";
  double bar = std::trunc(double(fPercent) * 100.0);
  f.bar = std::isfinite(bar) ? int(std::clamp(bar, 0.0, 100.0)) : 0;
  return f;
}

std::string FailureAdvice(int failCode) {
  switch (failCode) {
    case 404: return "服务器上没有这个文件，请确认版本号或图资版本。";
    case 1001: return "请检查网络连接，然后重新开始下载：已下载的部分会保留。";
    case 1002:
    case 1004: return "请确认保存目录存在并且可以写入，或选择另一个保存目录。";
    case 1003: return "请清理磁盘空间或选择另一个保存目录，然后重新开始下载。";
    case 1005:
    case 1008: return "请改短文件名或选择较短的保存目录。";
    case 1006: return "服务器上的文件正在更新，请稍后再试。";
    case 1007: return "请等待正在进行的下载结束。";
    case 1009: return "可能需要先登录所用的网络（如酒店或机场的网络），然后重新开始下载：已下载的部分会保留。";
    default:
      return failCode >= 500 && failCode < 600 ? "服务器暂时出错，请稍后再试。" : "";
  }
}

std::string FailureText(int failCode) {
  std::string why;
  switch (failCode) {
    case 1001: why = "网络连接失败"; break;
    case 1002: why = "写入文件失败"; break;
    case 1003: why = "磁盘空间不足"; break;
    case 1004: why = "无法写入保存目录"; break;
    case 1005: why = "下载地址、文件名或保存目录无效"; break;
    case 1006: why = "服务器上的文件不断变化"; break;
    case 1007: why = "同一文件正在下载"; break;
    case 1008: why = "文件名无效或过长"; break;
    case 1009: why = "服务器返回的不是该文件"; break;
    default:
      why = failCode > 0 && failCode < 1000 ? "服务器返回 " + std::to_string(failCode) : "错误代码 " + std::to_string(failCode);
  }
  return "下载失败：" + why;
}
