#include <shlobj.h>
#include <stdlib.h>
#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/wide_windows.h"

namespace platform {

namespace {

// The one flag Ctrl-C may set: the console's handler belongs to the process, not to an object
// of ours.
std::atomic<bool>* gInterruptFlag = nullptr;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing: the default
  if (gInterruptFlag) gInterruptFlag->store(true);
  return TRUE;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) folder = Narrow(path);
  CoTaskMemFree(path);
  return folder;
}

}  // namespace

void CatchInterrupt(std::atomic<bool>& flag) {
  gInterruptFlag = &flag;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  // The C runtime's copy (getenv) and the process's own (for libraries and programs started).
  _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
}

std::string ProgramFile() {
  std::vector<wchar_t> path(32768);
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
  return n == 0 || n >= path.size() ? std::string() : Narrow(std::wstring_view(path.data(), n));
}

std::string UserDataBase() { return KnownFolder(FOLDERID_LocalAppData); }

std::string UserSettingsBase() { return KnownFolder(FOLDERID_RoamingAppData); }

}  // namespace platform
