#include "processguard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../../fixtures/scratch.h"
#include "carried.h"

using namespace core;

namespace fs = std::filesystem;
extern char** environ;

namespace {

pid_t Spawn(const std::string& path, std::vector<std::string> args, const std::vector<std::string>& env = {}) {
  std::vector<char*> argv;
  args.insert(args.begin(), path);
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  envStore.insert(envStore.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data()) == 0 ? pid : -1;
}

// The exit status of a child, waiting at most `ms`; -1 when it is still running.
int WaitExit(pid_t pid, int ms) {
  for (int i = 0; i < ms / 10; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(10000);
  }
  return -1;
}

// Gives an ended process a moment to be reaped.
bool Alive(pid_t pid) { return WaitExit(pid, 300) == -1; }

TEST(ProcessGuard, LauncherHandshakeForTmpNamesOnly) {
  shm_unlink(kLauncherMappingName);
  LauncherHandshake("TOOL.TMP");  // no mapping: nothing happens
  int fd = shm_open(kLauncherMappingName, O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 16), 0);
  auto* view = static_cast<unsigned char*>(mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(view, MAP_FAILED);
  std::memset(view, 0xFF, 16);
  LauncherHandshake("tool.tmp.exe");
  EXPECT_EQ(view[0], 0xFF);
  LauncherHandshake("TOOL.TMP");
  EXPECT_EQ(view[0] | view[1] | view[2], 0);
  EXPECT_EQ(view[3], 0xFF) << "three bytes, no more";
  munmap(view, 16);
  close(fd);
  shm_unlink(kLauncherMappingName);
  EXPECT_STREQ(kLauncherMappingName,
               "/\xEF\xBC\xB2\xEF\xBD\x95\xEF\xBD\x84\xEF\xBD\x95\xEF\xBD\x96\xEF\xBC\x8D\xEF\xBC\xAF\xEF\xBC\xBA");
}

TEST(ProcessGuard, ExactlyOneEmulatorProcessIsEnded) {
  ScratchConfig scratch;
  const fs::path exe = scratch.folder() / "WinCE.exe";
  fs::copy_file("/bin/sleep", exe);
  pid_t a = Spawn(exe.string(), {"30"}), b = Spawn(exe.string(), {"30"});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("wince.EXE"); }, 2000));
  EXPECT_FALSE(IsProcessRunning("DeviceEmulator.exe"));
  EndEmulators();
  const bool aAlive = Alive(a), bAlive = Alive(b);
  EXPECT_NE(aAlive, bAlive) << "exactly one of the two is ended";
  EXPECT_TRUE(IsProcessRunning("WinCE.exe"));
  EXPECT_TRUE(EndProcessByName("WinCE.exe"));
  EXPECT_FALSE(Alive(aAlive ? a : b));
  EXPECT_FALSE(EndProcessByName("WinCE.exe")) << "nothing left to end";
}

// A program run by an emulator shows its own name only as its first argument, perhaps as a
// Windows path.
TEST(ProcessGuard, AProcessIsAlsoKnownByItsFirstArgument) {
  std::string argv0 = "C:\\Emu\\DeviceEmulator.exe", seconds = "30";
  char* argv[] = {argv0.data(), seconds.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv, environ), 0);
  EXPECT_TRUE(WaitUntil([] { return IsProcessRunning("deviceemulator.EXE"); }, 2000));
  EXPECT_TRUE(EndProcessByName("DeviceEmulator.exe"));
  EXPECT_EQ(WaitExit(pid, 2000), 128 + SIGKILL);
}

// A private X server for the test's lifetime (Xvfb picks a free display itself).
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 3);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "320x240x24", "-nolisten", "tcp", (char*)nullptr);
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the number and its line end in two writes: the pipe stays open until the
    // line end came, or Xvfb dies of the broken pipe.
    std::string number;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos && number.size() < 16 && std::chrono::steady_clock::now() < end) {
      pollfd p{fds[0], POLLIN, 0};
      char byte = 0;
      if (poll(&p, 1, 1000) <= 0) continue;
      if (read(fds[0], &byte, 1) != 1) break;
      number += byte;
    }
    if (number.find('\n') != std::string::npos) display_ = ":" + number.substr(0, number.find('\n'));
    close(fds[0]);
  }
  ~PrivateXServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A window titled `title` that names `pid` and `machine` as its owner, listed in the root
// window's client list as a window manager would.
void LyingWindow(xcb_connection_t* c, const std::string& title, std::int32_t pid, const std::string& machine) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  auto atom = [c](const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r->atom;
    free(r);
    return a;
  };
  xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, 0, nullptr);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, uint32_t(title.size()),
                      title.data());
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                      uint32_t(machine.size()), machine.data());
  xcb_change_property(c, XCB_PROP_MODE_APPEND, screen->root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, 1, &w);
  xcb_flush(c);
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // the server has it all
}

// A window's properties are any client's to write: a "WinCE.exe" window that names process
// group 0, our own process, an innocent process or another host ends nothing; one that names a
// real WinCE.exe process of this host ends that process.
TEST(ProcessGuard, LyingWindowsEndNothing) {
  PrivateXServer x;
  if (x.display().empty()) GTEST_SKIP() << "no Xvfb";
  ScratchConfig scratch;
  // Names of this test's own, so that tests running beside it (which end "WinCE.exe"
  // processes) and this one never end each other's processes.
  const std::string wince = "WinCE-" + std::to_string(getpid()) + ".exe",
                    absent = "Absent-" + std::to_string(getpid()) + ".exe";
  const fs::path emulator = scratch.folder() / wince;
  fs::copy_file("/bin/sleep", emulator);
  pid_t innocent = Spawn("/bin/sleep", {"30"});
  std::vector<pid_t> emulators;
  for (int i = 0; i < 3; ++i) emulators.push_back(Spawn(emulator.string(), {"30"}));
  std::sort(emulators.begin(), emulators.end());
  ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(wince); }, 2000));
  char host[256] = {};
  gethostname(host, sizeof host - 1);

  // In a child of its own process group, so that a kill of "group 0" could end only the child.
  pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    setenv("DISPLAY", x.display().c_str(), 1);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) _exit(3);
    LyingWindow(c, absent, 0, host);
    LyingWindow(c, absent, getpid(), host);
    LyingWindow(c, absent, innocent, host);
    if (EndProcessByName(absent)) _exit(4);  // no such process runs
    // A window of another host is not taken at its word: the first process of the name goes.
    LyingWindow(c, wince, emulators[2], "elsewhere");
    if (!EndProcessByName(wince)) _exit(5);
    auto running = [](pid_t pid) {  // not ended (an ended child of the test stays a zombie)
      char exe[256];
      return readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe) > 0;
    };
    for (int i = 0; i < 100 && running(emulators[0]); ++i) usleep(10000);  // SIGKILL takes a moment
    if (running(emulators[0])) _exit(7);
    if (!running(emulators[2])) _exit(8);
    // A window of this host that names a real process of the name: that process goes.
    LyingWindow(c, wince, emulators[2], host);
    if (!EndProcessByName(wince)) _exit(6);
    xcb_disconnect(c);
    _exit(0);
  }
  EXPECT_EQ(WaitExit(child, 10000), 0) << "the child was ended (a kill of its group) or a step failed";
  EXPECT_TRUE(Alive(innocent)) << "a process the window named but is not the emulator lives";
  EXPECT_FALSE(Alive(emulators[0])) << "the other host's window was passed over";
  EXPECT_TRUE(Alive(emulators[1]));
  EXPECT_FALSE(Alive(emulators[2])) << "the window of this host named it";
  for (pid_t pid : emulators) kill(pid, SIGKILL);
  kill(innocent, SIGKILL);
  for (pid_t pid : emulators) WaitExit(pid, 2000);
  WaitExit(innocent, 2000);
}

// The real program: a second start from the same path ends with 0 before it deploys
// anything; a copy in another folder runs.
TEST(ProcessGuard, SecondStartOfTheProgramEndsQuietly) {
  // The first start is seen by what it deploys, which a build without carried libraries never does.
  if (!payload::CarriesLibraries()) GTEST_SKIP() << "this build carries no libraries";
  ScratchConfig scratch;
  const fs::path one = scratch.folder() / "one", two = scratch.folder() / "two";
  fs::create_directories(one);
  fs::create_directories(two);
  fs::copy_file(QUORVEL_BIN, one / "quorvel");
  fs::copy_file(QUORVEL_BIN, two / "quorvel");
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen"};
  pid_t first = Spawn((one / "quorvel").string(), {}, env);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(one / ".download/id.dat"); }, 10000)) << "the first start deploys";
  fs::remove(one / ".download/id.dat");
  pid_t second = Spawn((one / "quorvel").string(), {}, env);
  EXPECT_EQ(WaitExit(second, 10000), 0);
  EXPECT_FALSE(fs::exists(one / ".download/id.dat")) << "the second copy wrote nothing";
  pid_t elsewhere = Spawn((two / "quorvel").string(), {}, env);
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(two / ".download/id.dat"); }, 10000));
  EXPECT_EQ(WaitExit(elsewhere, 300), -1) << "a copy from another folder runs";
  kill(first, SIGKILL);
  kill(elsewhere, SIGKILL);
  WaitExit(first, 2000);
  WaitExit(elsewhere, 2000);
}

}  // namespace
