#include "processguard.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "testsupport.h"

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

TEST(ProcessGuard, OneClaimPerExecutablePath) {
  int first = -1, second = -1, other = -1;
  const std::string path = "/opt/guard-test-" + std::to_string(getpid()) + "/quorvel";
  EXPECT_TRUE(GuardSingleInstance(path, first));
  EXPECT_FALSE(GuardSingleInstance(path, second));
  EXPECT_EQ(second, -1);
  EXPECT_TRUE(GuardSingleInstance(path + "2", other)) << "another folder or name is another instance";
  close(first);
  EXPECT_TRUE(GuardSingleInstance(path, second)) << "the claim ends with its holder";
  close(second);
  close(other);
}

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
  EXPECT_STREQ(kLauncherMappingName, "/\xEF\xBC\xB2\xEF\xBD\x95\xEF\xBD\x84\xEF\xBD\x95\xEF\xBD\x96\xEF\xBC\x8D\xEF\xBC\xAF\xEF\xBC\xBA");
}

TEST(ProcessGuard, ExactlyOneEmulatorProcessIsEnded) {
  ScratchConfig scratch;
  const fs::path exe = scratch.folder() / "WinCE.exe";
  fs::copy_file("/bin/sleep", exe);
  pid_t a = Spawn(exe.string(), {"30"}), b = Spawn(exe.string(), {"30"});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_TRUE(WaitFor([] { return IsProcessRunning("wince.EXE"); }, 2000));
  EXPECT_FALSE(IsProcessRunning("DeviceEmulator.exe"));
  EndEmulators();
  const bool aAlive = Alive(a), bAlive = Alive(b);
  EXPECT_NE(aAlive, bAlive) << "exactly one of the two is ended";
  EXPECT_TRUE(IsProcessRunning("WinCE.exe"));
  EXPECT_TRUE(EndProcessByName("WinCE.exe"));
  EXPECT_FALSE(Alive(aAlive ? a : b));
  EXPECT_FALSE(EndProcessByName("WinCE.exe")) << "nothing left to end";
}

// The real program: a second start from the same path ends with 0 before it deploys
// anything; a copy in another folder runs.
TEST(ProcessGuard, SecondStartOfTheProgramEndsQuietly) {
  ScratchConfig scratch;
  const fs::path one = scratch.folder() / "one", two = scratch.folder() / "two";
  fs::create_directories(one);
  fs::create_directories(two);
  fs::copy_file(QUORVEL_BIN, one / "quorvel");
  fs::copy_file(QUORVEL_BIN, two / "quorvel");
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen"};
  pid_t first = Spawn((one / "quorvel").string(), {}, env);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(one / ".download/id.dat"); }, 10000)) << "the first start deploys";
  fs::remove(one / ".download/id.dat");
  pid_t second = Spawn((one / "quorvel").string(), {}, env);
  EXPECT_EQ(WaitExit(second, 10000), 0);
  EXPECT_FALSE(fs::exists(one / ".download/id.dat")) << "the second copy wrote nothing";
  pid_t elsewhere = Spawn((two / "quorvel").string(), {}, env);
  EXPECT_TRUE(WaitFor([&] { return fs::exists(two / ".download/id.dat"); }, 10000));
  EXPECT_EQ(WaitExit(elsewhere, 300), -1) << "a copy from another folder runs";
  kill(first, SIGKILL);
  kill(elsewhere, SIGKILL);
  WaitExit(first, 2000);
  WaitExit(elsewhere, 2000);
}

}  // namespace
