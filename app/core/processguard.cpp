// What the process guard does alike on every system.
#include "processguard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "ascii.h"

namespace core {

bool IsLauncherName(const std::string& exeName) {
  return common::AsciiLower(exeName.size() > 4 ? exeName.substr(exeName.size() - 4) : exeName) == ".tmp";
}

// Two 64-bit passes of FNV-1a with different starting values. Written here, not taken from a
// library, because only a stable spread is needed, not a cryptographic hash.
std::string InstanceDigest(const std::string& exePath) {
  std::string hex;
  for (std::uint64_t hash : {std::uint64_t(14695981039346656037ull), std::uint64_t(0x6a09e667f3bcc908ull)}) {
    for (unsigned char c : exePath) hash = (hash ^ c) * 1099511628211ull;
    char part[17];
    std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(hash));
    hex += part;
  }
  return hex;
}

std::string InstanceName(const std::string& exePath) {
  // Kernel object names stop at MAX_PATH (260) characters; a UTF-8 byte count bounds them.
  if (exePath.size() > 250) return "Quorvel/" + InstanceDigest(exePath);
  std::string name = exePath;
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

void EndEmulators() {
  for (const char* name : {"DeviceEmulator.exe", "WinCE.exe"})
    if (IsProcessRunning(name)) EndProcessByName(name);
}

}  // namespace core
