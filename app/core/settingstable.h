#pragma once
// Every value of the settings file in one table: its name under the key "Quorvel", its type,
// what stands for it when it is missing or unusable, and a number's range. The window and
// quorvel-cli read and write the settings only through it.
#include <string>
#include <string_view>

namespace core {

enum class SettingType { kText, kNumber, kSwitch };

struct Setting {
  const char* name;  // the value's name under the key "Quorvel" (HKEY_CURRENT_USER\Quorvel)
  SettingType type;
  const char* fallback;  // what a missing, empty or unusable value reads as
  int min = 0, max = 0;  // a number's range
};

// The table (settingstable.cpp).
extern const Setting kDeviceNumber, kMapDataVersion, kSaveFolder;               // the main window's boxes
extern const Setting kPortal, kDownloadServer;                                  // the two servers: host[:port]
extern const Setting kResumeAtStart, kSpeedLimit, kAtOnce, kSwarmAfterTorrent;  // the download list's
extern const Setting kCheckNewRelease, kReleaseCheckDay, kLastReleaseSeen;      // the new-release check

// ${XDG_CONFIG_HOME:-~/.config}/Quorvel/registry.reg, where the settings live on Linux (on
// Windows they are in the registry: settingsstore.h).
std::string SettingsFilePath();

// A setting's text as stored, or its fallback when it is missing or empty.
std::string ReadSetting(const Setting& setting);
// A number within its range, else the fallback; a switch stored as "1" or "0", else the fallback.
int ReadNumber(const Setting& setting);
bool ReadSwitch(const Setting& setting);

// Stored at once; false when the file could not be written (the old one stays as it was).
bool WriteSetting(const Setting& setting, std::string_view text);
bool WriteNumber(const Setting& setting, int value);
bool WriteSwitch(const Setting& setting, bool on);

}  // namespace core
