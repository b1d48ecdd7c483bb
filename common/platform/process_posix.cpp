#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/process.h"

namespace platform {

namespace {

// The one flag a signal may set: signals belong to the process, not to an object of ours.
std::atomic<bool>* gInterruptFlag = nullptr;

void OnInterrupt(int) {
  if (gInterruptFlag) gInterruptFlag->store(true);
}

// An absolute XDG folder from the environment, else HOME's `fallback`.
std::string XdgFolder(const char* variable, const char* fallback) {
  const char* set = getenv(variable);
  if (set && *set == '/') return set;
  const char* home = getenv("HOME");
  return std::string(home ? home : "") + fallback;
}

}  // namespace

void CatchInterrupt(std::atomic<bool>& flag) {
  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
  gInterruptFlag = &flag;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
}

void SetEnvironment(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }

std::string ProgramFile() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string UserDataBase() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string UserSettingsBase() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace platform
