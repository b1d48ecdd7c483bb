// The window's Windows facilities under wine: the guard ends only a process that runs under the
// name sought (never a stranger whose window carries that title, never itself), and the carried
// files go to %LOCALAPPDATA%, never beside the program.
#include <windows.h>
//
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "carriedfiles.h"
#include "files.h"
#include "pathtext.h"
#include "platform/wide_windows.h"
#include "processguard.h"

namespace fs = std::filesystem;

namespace {

std::wstring gSelf;  // this program, copied under other names to play the emulators

// A copy of this program under `name`, started to hold a window titled `title` for 60 s at most.
struct Helper {
  Helper(const fs::path& folder, const std::wstring& name, const std::wstring& title) {
    const fs::path exe = folder / name;
    fs::copy_file(gSelf, exe, fs::copy_options::skip_existing);  // two may run from one file
    std::wstring command = L"\"" + exe.wstring() + L"\" --hold-window \"" + title + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(exe.wstring().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info))
      CloseHandle(info.hThread);
  }
  ~Helper() {
    if (!info.hProcess) return;
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hProcess);
  }
  bool Ended(DWORD ms = 5000) const { return info.hProcess && WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0; }
  PROCESS_INFORMATION info{};
};

fs::path Scratch() {
  const fs::path folder = fs::temp_directory_path() / (L"quorvel-guard-" + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(folder);
  return folder;
}

bool WaitForWindow(const std::wstring& title) {
  for (int i = 0; i < 200; ++i, Sleep(50))
    if (FindWindowW(nullptr, title.c_str())) return true;
  return false;
}

TEST(WindowsGuard, AStrangersWindowOfThatTitleIsNotEnded) {
  const fs::path folder = Scratch();
  Helper stranger(folder, L"stranger.exe", L"WinCE.exe");
  ASSERT_TRUE(WaitForWindow(L"WinCE.exe"));
  EXPECT_FALSE(core::IsProcessRunning("WinCE.exe"));
  EXPECT_FALSE(core::EndProcessByName("WinCE.exe")) << "its window's title is all it has of the name";
  EXPECT_FALSE(stranger.Ended(300));
  Helper emulator(folder, L"WinCE.exe", L"emulator");
  ASSERT_TRUE(WaitForWindow(L"emulator"));
  EXPECT_TRUE(core::IsProcessRunning("wince.EXE"));
  core::EndEmulators();
  EXPECT_TRUE(emulator.Ended());
  EXPECT_FALSE(stranger.Ended(300)) << "the stranger lives on";
}

TEST(WindowsGuard, ExactlyOneEmulatorIsEndedAndNeverThisProcess) {
  const fs::path folder = Scratch();
  Helper a(folder, L"DeviceEmulator.exe", L"a"), b(folder, L"DeviceEmulator.exe", L"b");
  ASSERT_TRUE(WaitForWindow(L"a") && WaitForWindow(L"b"));
  core::EndEmulators();
  EXPECT_NE(a.Ended(2000), b.Ended(2000));
  // The first process of this program's own name is this one: asked to end it, the guard refuses.
  EXPECT_FALSE(core::EndProcessByName(platform::Narrow(fs::path(gSelf).filename().wstring())));
}

// The launcher's file mapping gets three zero bytes, only from a program named *.tmp.
TEST(WindowsGuard, TheLauncherHandshakeWritesThreeZeroBytes) {
  core::LauncherHandshake("TOOL.TMP");  // no mapping yet: nothing happens
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16,
                                      platform::Wide(core::kLauncherMappingName).c_str());
  ASSERT_TRUE(mapping);
  auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 16));
  ASSERT_TRUE(view);
  std::fill(view, view + 16, 0xFF);
  core::LauncherHandshake("tool.tmp.exe");
  EXPECT_EQ(view[0], 0xFF);
  core::LauncherHandshake("TOOL.TMP");
  EXPECT_EQ(view[0] | view[1] | view[2], 0);
  EXPECT_EQ(view[3], 0xFF) << "three bytes, no more";
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  EXPECT_EQ(platform::Wide(core::kLauncherMappingName),
            std::wstring(L"\xFF32\xFF55\xFF44\xFF55\xFF56\xFF0D\xFF2F\xFF3A"));
}

TEST(WindowsCarriedFiles, NeverBesideTheProgram) {
  const fs::path folder = Scratch() / L"程序";
  fs::remove_all(folder);  // a folder of an earlier run (wine reuses process ids)
  fs::create_directories(folder);
  const std::string program = common::Utf8Of(folder);
  EXPECT_EQ(core::DeploymentFolder(program), common::UserDataFolder()) << "a folder the user may write is no exception";
  EXPECT_FALSE(core::InstalledLibraryFolder(program)) << "no engine library beside it";
  std::FILE* dll = _wfopen((folder / L"libdlcore.dll").c_str(), L"wb");
  ASSERT_TRUE(dll);
  std::fclose(dll);
  EXPECT_EQ(core::InstalledLibraryFolder(program), program) << "installed: its libraries are beside it";
  const std::string deploy = core::DeploymentFolder(program);
  core::DeploySkinLibrary(deploy);
  core::DeployEngineFiles(deploy);
  EXPECT_TRUE(fs::exists(common::PathOf(core::EngineLibraryPath(deploy))));
  EXPECT_TRUE(fs::exists(common::PathOf(core::SkinLibraryPath(deploy))));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "only what we put there";
}

// Plays an emulator: a top-level window with the given title, for a minute at most.
int HoldWindow(const wchar_t* title) {
  HWND window =
      CreateWindowW(L"STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  if (!window) return 2;
  const ULONGLONG end = GetTickCount64() + 60000;
  MSG msg;
  while (GetTickCount64() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide && count == 3 && std::wstring(wide[1]) == L"--hold-window") return HoldWindow(wide[2]);
  wchar_t self[MAX_PATH * 4];
  gSelf.assign(self, GetModuleFileNameW(nullptr, self, DWORD(std::size(self))));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
