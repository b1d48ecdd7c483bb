#include "progressfigures.h"

#include "dlcore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace records {

const char* StateText(int stat) {
  switch (stat) {
    case DL_STATE_CANCELLED: return "取消下载！";
    case DL_STATE_STOPPED: return "暂停下载...";
    case DL_STATE_RUNNING: return "正在下载...";
    case DL_STATE_COMPLETE: return "下载完毕！";
    case DL_STATE_REQUESTING: return "发送请求...";
    case DL_STATE_STOPPING: return "结束请求...";
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
  f.speed = kSpeedCaption + std::to_string(static_cast<long long>(std::trunc(nSpeed / 1024.0))) + " KB/S";
  f.downloaded = kDownloadedCaption + TwoDecimals(double(nTotalDownload) / 1048576.0) + " MB";
  f.total = kTotalCaption + TwoDecimals(double(nTotalSize) / 1048576.0) + " MB";
  f.percent = kPercentCaption + TwoDecimals(double(fPercent) * 100.0) + " %";
  double bar = std::trunc(double(fPercent) * 100.0);
  f.bar = std::isfinite(bar) ? int(std::clamp(bar, 0.0, 100.0)) : 0;
  return f;
}

bool UnreachableServer(int failCode) {
  return failCode == DL_FAIL_NETWORK || failCode == DL_FAIL_RESOLVE || failCode == DL_FAIL_REFUSED ||
         failCode == DL_FAIL_TIMEOUT;
}

std::string FailureAdvice(int failCode) {
  switch (failCode) {
    case 404: return "服务器上没有这个文件，请确认版本号或图资版本。";
    case DL_FAIL_NETWORK:
    case DL_FAIL_RESOLVE:
    case DL_FAIL_REFUSED:
    case DL_FAIL_TIMEOUT: return "请检查网络连接，然后重新开始下载：已下载的部分会保留。";
    case DL_FAIL_CERTIFICATE:
      return "服务器的证书不受信任：请确认网络没有被拦截（如酒店或公司的代理），或联系服务器的管理员。";
    case DL_FAIL_REDIRECT:
    case DL_FAIL_PROTOCOL: return "服务器的回应无法使用，请稍后再试或联系服务器的管理员。";
    case DL_FAIL_DISK_WRITE:
    case DL_FAIL_FOLDER: return "请确认保存目录存在并且可以写入，或选择另一个保存目录。";
    case DL_FAIL_DISK_FULL: return "请清理磁盘空间或选择另一个保存目录，然后重新开始下载。";
    case DL_FAIL_BAD_TASK:
    case DL_FAIL_BAD_NAME: return "请改短文件名或选择较短的保存目录。";
    case DL_FAIL_UNSTABLE: return "服务器上的文件正在更新，请稍后再试。";
    case DL_FAIL_TARGET_BUSY: return "请等待正在进行的下载结束。";
    case DL_FAIL_FOREIGN:
      return "可能需要先登录所用的网络（如酒店或机场的网络），然后重新开始下载：已下载的部分会保留。";
    default: return failCode >= 500 && failCode < 600 ? "服务器暂时出错，请稍后再试。" : "";
  }
}

std::string FailureText(int failCode) {
  std::string why;
  switch (failCode) {
    case DL_FAIL_NETWORK: why = "网络连接失败"; break;
    case DL_FAIL_DISK_WRITE: why = "写入文件失败"; break;
    case DL_FAIL_DISK_FULL: why = "磁盘空间不足"; break;
    case DL_FAIL_FOLDER: why = "无法写入保存目录"; break;
    case DL_FAIL_BAD_TASK: why = "下载地址、文件名或保存目录无效"; break;
    case DL_FAIL_UNSTABLE: why = "服务器上的文件不断变化"; break;
    case DL_FAIL_TARGET_BUSY: why = "同一文件正在下载"; break;
    case DL_FAIL_BAD_NAME: why = "文件名无效或过长"; break;
    case DL_FAIL_FOREIGN: why = "服务器返回的不是该文件"; break;
    case DL_FAIL_CERTIFICATE: why = "服务器的证书不受信任"; break;
    case DL_FAIL_REDIRECT: why = "服务器转向了不能使用的地址"; break;
    case DL_FAIL_PROTOCOL: why = "服务器的回应不是有效的 HTTP"; break;
    case DL_FAIL_RESOLVE: why = "找不到服务器（域名解析失败）"; break;
    case DL_FAIL_REFUSED: why = "服务器拒绝连接"; break;
    case DL_FAIL_TIMEOUT: why = "服务器没有回应"; break;
    default:
      why = failCode > 0 && failCode < 1000 ? "服务器返回 " + std::to_string(failCode)
                                            : "错误代码 " + std::to_string(failCode);
  }
  return "下载失败：" + why;
}

}  // namespace records
