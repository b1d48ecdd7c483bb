#pragma once
// Process-level behaviour around the program's life: the launcher handshake, the guard
// against a second copy started from the same path, and ending the device emulators.
#include <string>

namespace core {

// The shared-memory name of the launcher: "Ruduv-OZ" in full-width characters.
extern const char* const kLauncherMappingName;

// For an executable whose name ends in ".tmp" (any case): writes three zero bytes at the
// start of the launcher's shared memory, when it exists.
void LauncherHandshake(const std::string& exeName);

// True for the first copy started from this executable path; its claim lasts until the
// process ends. `guardFd` receives the socket that holds the claim; it listens, and a second
// copy's call of ShowFirstInstance arrives there as a connection (see TakeShowRequest).
bool GuardSingleInstance(const std::string& exePath, int& guardFd);
// A second copy asks the first one from the same path to bring its window forward; true when
// the first one took the request. Never waits: the first copy answers from its event loop.
bool ShowFirstInstance(const std::string& exePath);
// The first copy, when `guardFd` is readable: takes one waiting request off it (any local
// process may connect: a request only brings the window forward, and nothing is read from
// it). True when one was waiting.
bool TakeShowRequest(int guardFd);

// Whether a process runs this executable (name compared without regard to ASCII case).
bool IsProcessRunning(const std::string& exeName);
// Ends one process: the owner of a top-level window titled exactly `name`, else the first
// process of that executable name. True when it was ended.
bool EndProcessByName(const std::string& name);
// "DeviceEmulator.exe" and "WinCE.exe", one process each.
void EndEmulators();

}  // namespace core
