#pragma once
// Where the settings live: the current user's registry on Windows (HKEY_CURRENT_USER\Quorvel);
// on Linux the settings file, which stands in for it (registryfile.h). Values are addressed by
// "key\name" paths ("Quorvel\设备号"); texts are UTF-8.
#include <string>
#include <string_view>

namespace core {

// The value's text, expanded when it is REG_EXPAND_SZ; empty text when the key or the value is
// missing, the value is not text or is too long to be a setting.
std::string ReadStoredText(std::string_view path);
// Stores `text` as REG_SZ, creating the key when missing; false when nothing was stored (also for
// a text that would not read back as written).
bool WriteStoredText(std::string_view path, std::string_view text);
// Where that is, for messages: "设置文件 PATH" or "注册表 HKEY_CURRENT_USER\Quorvel".
std::string SettingsPlace();

}  // namespace core
