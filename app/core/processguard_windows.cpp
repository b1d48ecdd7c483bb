// The process guard on Windows: the named instance event, the launcher's named file mapping,
// processes through a tool-help snapshot and windows through FindWindow.
#include <windows.h>
//
#include <tlhelp32.h>

#include <optional>
#include <vector>

#include "ascii.h"
#include "platform/wide_windows.h"
#include "processguard.h"

namespace core {

const char* const kLauncherMappingName = "Ｒｕｄｕｖ－ＯＺ";

namespace {

struct ProcessEntry {
  DWORD pid;
  std::string name;  // the executable's file name
};

std::vector<ProcessEntry> Processes() {
  std::vector<ProcessEntry> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID != 0) found.push_back({entry.th32ProcessID, platform::Narrow(entry.szExeFile)});
  CloseHandle(snapshot);
  return found;
}

std::optional<DWORD> FirstNamed(const std::vector<ProcessEntry>& processes, const std::string& name) {
  for (const ProcessEntry& p : processes)
    if (common::EqualIgnoringAsciiCase(p.name, name)) return p.pid;
  return std::nullopt;
}

bool Runs(const std::vector<ProcessEntry>& processes, DWORD pid, const std::string& name) {
  for (const ProcessEntry& p : processes)
    if (p.pid == pid) return common::EqualIgnoringAsciiCase(p.name, name);
  return false;
}

// The process of a top-level window titled exactly `title`. Any program may title a window so:
// its process is taken only when it is not ours and itself runs under the name sought.
std::optional<DWORD> WindowOwner(const std::string& title, const std::vector<ProcessEntry>& processes) {
  HWND window = FindWindowW(nullptr, platform::Wide(title).c_str());
  DWORD pid = 0;
  if (!window || !GetWindowThreadProcessId(window, &pid) || pid == 0) return std::nullopt;
  if (pid == GetCurrentProcessId() || !Runs(processes, pid, title)) return std::nullopt;
  return pid;
}

}  // namespace

void LauncherHandshake(const std::string& exeName) {
  if (!IsLauncherName(exeName)) return;
  const DWORD access = FILE_MAP_READ | FILE_MAP_WRITE;  // 6
  HANDLE mapping = OpenFileMappingW(access, FALSE, platform::Wide(kLauncherMappingName).c_str());
  if (!mapping) return;
  void* view = MapViewOfFile(mapping, access, 0, 0, 0);
  MEMORY_BASIC_INFORMATION region{};
  // The view stays mapped for the process's life, as the launcher expects.
  if (view && VirtualQuery(view, &region, sizeof region) == sizeof region && region.RegionSize >= 3)
    ZeroMemory(view, 3);
  CloseHandle(mapping);
}

bool GuardSingleInstance(const std::string& exePath, std::intptr_t& guard) {
  const std::wstring name = platform::Wide(InstanceName(exePath));
  if (HANDLE first = OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str())) {
    CloseHandle(first);
    return false;
  }
  // Auto-reset, not signalled: a second copy's signal is one request, taken once.
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
  if (!event) return true;                       // no guard possible: run unprotected
  if (GetLastError() == ERROR_ALREADY_EXISTS) {  // a copy started at the same moment won
    CloseHandle(event);
    return false;
  }
  guard = platform::FromHandle(event);
  return true;
}

bool ShowFirstInstance(const std::string& exePath) {
  HANDLE first = OpenEventW(EVENT_MODIFY_STATE, FALSE, platform::Wide(InstanceName(exePath)).c_str());
  if (!first) return false;
  // The copy the user just started may hand the foreground on; the first copy takes it.
  AllowSetForegroundWindow(ASFW_ANY);
  const bool sent = SetEvent(first) != 0;
  CloseHandle(first);
  return sent;
}

bool TakeShowRequest(std::intptr_t guard) {
  return guard != -1 && WaitForSingleObject(platform::AsHandle(guard), 0) == WAIT_OBJECT_0;
}

void ReleaseGuard(std::intptr_t guard) {
  if (guard != -1) CloseHandle(platform::AsHandle(guard));
}

bool IsProcessRunning(const std::string& exeName) { return FirstNamed(Processes(), exeName).has_value(); }

bool EndProcessByName(const std::string& name) {
  const std::vector<ProcessEntry> processes = Processes();
  std::optional<DWORD> target = WindowOwner(name, processes);
  if (!target) target = FirstNamed(processes, name);
  if (!target || *target == GetCurrentProcessId()) return false;
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, *target);
  if (!process) return false;
  const bool ended = TerminateProcess(process, 0) != 0;
  CloseHandle(process);
  return ended;
}

}  // namespace core
