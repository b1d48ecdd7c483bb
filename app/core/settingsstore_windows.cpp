// The settings in the current user's registry, as the Windows program has always kept them.
#include <windows.h>

#include <vector>

#include "platform/wide_windows.h"
#include "settingsstore.h"

namespace core {

namespace {

// Any program of the user may write these values: a text longer than this is no setting of ours.
constexpr DWORD kMaxBytes = 64 * 1024;

struct KeyAndName {
  std::wstring key, name;
};

KeyAndName Split(std::string_view path) {
  const size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) return {{}, platform::Wide(path)};
  return {platform::Wide(path.substr(0, cut)), platform::Wide(path.substr(cut + 1))};
}

}  // namespace

std::string ReadStoredText(std::string_view path) {
  const KeyAndName at = Split(path);
  // REG_EXPAND_SZ comes expanded, as REG_SZ (with RRF_RT_REG_EXPAND_SZ the call is refused).
  const DWORD types = RRF_RT_REG_SZ;
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, at.key.c_str(), at.name.c_str(), types, nullptr, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      bytes == 0 || bytes > kMaxBytes)
    return {};
  // The value may grow between the two calls: the second one then fails and reads as empty.
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = DWORD(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, at.key.c_str(), at.name.c_str(), types, nullptr, text.data(), &bytes) !=
      ERROR_SUCCESS)
    return {};
  return platform::Narrow(std::wstring_view(text.data()));  // up to the first NUL
}

bool WriteStoredText(std::string_view path, std::string_view text) {
  const KeyAndName at = Split(path);
  const std::wstring wide = platform::Wide(text);
  // Text that is not UTF-8, or holds a NUL, would read back as another text.
  if (platform::Narrow(wide) != text || wide.find(L'\0') != std::wstring::npos || at.key.empty()) return false;
  const DWORD bytes = DWORD((wide.size() + 1) * sizeof(wchar_t));
  if (bytes > kMaxBytes) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, at.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const bool stored = RegSetValueExW(key, at.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                     bytes) == ERROR_SUCCESS;
  RegCloseKey(key);
  return stored;
}

std::string SettingsPlace() { return "注册表 HKEY_CURRENT_USER\\Quorvel"; }

}  // namespace core
