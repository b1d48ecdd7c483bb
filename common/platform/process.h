#pragma once
// What a program asks of its system beyond files and sockets: Ctrl-C, its environment, its own
// file and the user's folders. Texts are UTF-8.
#include <atomic>
#include <string>

namespace platform {

// Ctrl-C sets `flag` and the program goes on (to pause its downloads and keep their resume data).
// SIGINT here; on Windows the console's control handler, which runs on a thread of its own.
void CatchInterrupt(std::atomic<bool>& flag);

// The variable for this process and the programs and libraries it starts from now on.
void SetEnvironment(const std::string& name, const std::string& value);

// The path of the running program's own file; empty when unknown.
std::string ProgramFile();

// The user's folders for data and settings, made for them: XDG's (~/.local/share, ~/.config)
// here, %LOCALAPPDATA% and %APPDATA% (the known-folder API) on Windows.
std::string UserDataBase();
std::string UserSettingsBase();

}  // namespace platform
