#include "platform/process.h"
#include "printable.h"
#include "registryfile.h"
#include "settingsstore.h"
#include "settingstable.h"

namespace core {

std::string SettingsFilePath() { return platform::UserSettingsBase() + "/Quorvel/registry.reg"; }

std::string ReadStoredText(std::string_view path) { return registry::ReadText(SettingsFilePath(), path); }

bool WriteStoredText(std::string_view path, std::string_view text) {
  return registry::WriteText(SettingsFilePath(), path, text);
}

std::string SettingsPlace() { return "设置文件 " + common::Printable(SettingsFilePath()); }

}  // namespace core
