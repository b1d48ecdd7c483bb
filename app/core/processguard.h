#pragma once
// Process-level behaviour around the program's life: the launcher handshake, the guard
// against a second copy started from the same path, and ending the device emulators.
#include <cstdint>
#include <string>

namespace core {

// The shared-memory name of the launcher: "Ruduv-OZ" in full-width characters.
extern const char* const kLauncherMappingName;

// Whether the launcher started this executable: its name ends in ".tmp" (any ASCII case).
bool IsLauncherName(const std::string& exeName);
// For an executable whose name ends in ".tmp" (any case): writes three zero bytes at the
// start of the launcher's shared memory, when it exists.
void LauncherHandshake(const std::string& exeName);

// The instance's name on Windows: the executable's path with every "\" as "/"; a path too long
// for a kernel object's name is named by its digest instead.
std::string InstanceName(const std::string& exePath);
// 128 bits of the whole path as 32 hex digits: a name of fixed length however long the path is.
std::string InstanceDigest(const std::string& exePath);

// True for the first copy started from this executable path; its claim lasts until the
// process ends. `guard` receives what holds the claim, and a second copy's call of
// ShowFirstInstance arrives there (see TakeShowRequest): a listening socket here, the event a
// second copy sets on Windows (whose named instance event is the claim itself).
bool GuardSingleInstance(const std::string& exePath, std::intptr_t& guard);
// A second copy asks the first one from the same path to bring its window forward; true when
// the first one took the request. Never waits: the first copy answers from its event loop.
bool ShowFirstInstance(const std::string& exePath);
// The first copy, when `guard` is readable (signalled): takes one waiting request off it (any
// local process may ask: a request only brings the window forward, and nothing is read from
// it). True when one was waiting.
bool TakeShowRequest(std::intptr_t guard);
// Gives up the claim (at the program's end).
void ReleaseGuard(std::intptr_t guard);

// Whether a process runs this executable (name compared without regard to ASCII case).
bool IsProcessRunning(const std::string& exeName);
// Ends one process: the owner of a top-level window titled exactly `name`, else the first
// process of that executable name. True when it was ended.
bool EndProcessByName(const std::string& name);
// "DeviceEmulator.exe" and "WinCE.exe", one process each.
void EndEmulators();

}  // namespace core
