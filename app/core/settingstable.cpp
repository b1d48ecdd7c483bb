#include "settingstable.h"

#include <algorithm>
#include <cstdlib>

#include "decimal.h"
#include "settingsstore.h"

namespace core {

const Setting kDeviceNumber{"设备号", SettingType::kText, "3261"};
const Setting kMapDataVersion{"图资", SettingType::kText, "3m21j27"};
const Setting kSaveFolder{"保存目录", SettingType::kText, ""};  // the window's default is the desktop
const Setting kPortal{"门户", SettingType::kText, QUORVEL_PORTAL_HOST};
const Setting kDownloadServer{"下载服务器", SettingType::kText, QUORVEL_DOWNLOAD_HOST};
const Setting kResumeAtStart{"启动时继续下载", SettingType::kSwitch, "1"};
const Setting kSpeedLimit{"限速", SettingType::kNumber, "0", 0, 1 << 20};  // KB a second for all; 0: none
const Setting kAtOnce{"同时下载", SettingType::kNumber, "3", 1, 8};
const Setting kSwarmAfterTorrent{"种子自动下载内容", SettingType::kSwitch, "0"};
const Setting kCheckNewRelease{"检查新版本", SettingType::kSwitch, "1"};
const Setting kReleaseCheckDay{"检查新版本日期", SettingType::kText, ""};  // yyyyMMdd of the last check
const Setting kLastReleaseSeen{"最近主程序", SettingType::kText, ""};      // device|version|date

namespace {

std::string PathOf(const Setting& setting) { return std::string("Quorvel\\") + setting.name; }

int FallbackNumber(const Setting& setting) { return int(common::DecimalNumber(setting.fallback, 9).value_or(0)); }

}  // namespace

std::string ReadSetting(const Setting& setting) {
  std::string text = ReadStoredText(PathOf(setting));
  return text.empty() ? setting.fallback : text;
}

int ReadNumber(const Setting& setting) {
  const auto value = common::DecimalNumber(ReadSetting(setting), 9);
  return value && *value >= setting.min && *value <= setting.max ? int(*value) : FallbackNumber(setting);
}

bool ReadSwitch(const Setting& setting) {
  const std::string text = ReadSetting(setting);
  return text == "1" || text == "0" ? text == "1" : std::string_view(setting.fallback) == "1";
}

bool WriteSetting(const Setting& setting, std::string_view text) { return WriteStoredText(PathOf(setting), text); }

bool WriteNumber(const Setting& setting, int value) {
  return WriteSetting(setting, std::to_string(std::clamp(value, setting.min, setting.max)));
}

bool WriteSwitch(const Setting& setting, bool on) { return WriteSetting(setting, on ? "1" : "0"); }

}  // namespace core
