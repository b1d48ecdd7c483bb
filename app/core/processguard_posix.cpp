// The process guard on Linux: windows found through the X server, processes through /proc,
// the single-instance claim as a local socket, the launcher's shared memory under /dev/shm.
#include "processguard.h"

#include "ascii.h"
#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace core {

const char* const kLauncherMappingName = "/Ｒｕｄｕｖ－ＯＺ";

namespace {

std::string BaseName(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The names a process runs under: its executable, and its first argument (a program run by
// an emulator shows its own name only there, possibly as a Windows path).
std::vector<std::string> ProcessNames(pid_t pid) {
  std::vector<std::string> names;
  const std::string base = "/proc/" + std::to_string(pid);
  char exe[4096];
  ssize_t n = readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
  if (n > 0) names.push_back(BaseName(std::string(exe, size_t(n))));
  // The arguments, each ended by a NUL; a command line longer than the bound gives no name.
  const std::optional<std::string> arguments = common::ReadFileUpTo(base + "/cmdline", 1 << 20);
  const std::string argv0 = arguments ? arguments->substr(0, arguments->find('\0')) : std::string();
  if (!argv0.empty()) names.push_back(BaseName(argv0));
  return names;
}

std::vector<pid_t> ProcessesNamed(const std::string& name) {
  std::vector<pid_t> found;
  const std::string wanted = common::AsciiLower(name);
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    for (const std::string& n : ProcessNames(pid_t(pid)))
      if (common::AsciiLower(n) == wanted) {
        found.push_back(pid_t(pid));
        break;
      }
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  return found;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr);
  xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(r);
  return atom;
}

std::string Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
  xcb_get_property_reply_t* r =
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 1 << 16), nullptr);
  std::string value;
  if (r) value.assign(static_cast<const char*>(xcb_get_property_value(r)), size_t(xcb_get_property_value_length(r)));
  free(r);
  return value;
}

std::string HostName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

bool HasName(pid_t pid, const std::string& name) {
  const std::string wanted = common::AsciiLower(name);
  for (const std::string& n : ProcessNames(pid))
    if (common::AsciiLower(n) == wanted) return true;
  return false;
}

// The process of a top-level window titled exactly `title`, found through the window
// manager's client list; nothing without a display or a window manager. A window's
// properties are any X client's to write: the pid it names is taken only when it is a real
// process other than ours (never 0 or -1, which kill() reads as process groups), the window
// says it runs on this host, and the process itself carries the name sought.
std::optional<pid_t> WindowOwner(const std::string& title) {
  if (!std::getenv("DISPLAY")) return std::nullopt;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  std::optional<pid_t> owner;
  if (!xcb_connection_has_error(c)) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t list = Atom(c, "_NET_CLIENT_LIST"), name = Atom(c, "_NET_WM_NAME"), utf8 = Atom(c, "UTF8_STRING"),
                     pidAtom = Atom(c, "_NET_WM_PID");
    const std::string host = HostName();
    std::string clients = Property(c, root, list, XCB_ATOM_WINDOW);
    for (size_t i = 0; i + 4 <= clients.size() && !owner; i += 4) {
      xcb_window_t w;
      std::memcpy(&w, clients.data() + i, 4);
      if (Property(c, w, name, utf8) != title) continue;
      std::string pid = Property(c, w, pidAtom, XCB_ATOM_CARDINAL);
      std::string machine = Property(c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY);
      machine = machine.substr(0, machine.find('\0'));
      if (pid.size() != 4 || host.empty() || machine != host) continue;
      std::int32_t value;
      std::memcpy(&value, pid.data(), 4);
      if (value > 0 && pid_t(value) != getpid() && HasName(pid_t(value), title)) owner = pid_t(value);
    }
  }
  xcb_disconnect(c);
  return owner;
}

}  // namespace

void LauncherHandshake(const std::string& exeName) {
  if (!IsLauncherName(exeName)) return;
  int fd = shm_open(kLauncherMappingName, O_RDWR, 0);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size >= 3) {
    void* view = mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view != MAP_FAILED) std::memset(view, 0, 3);  // the view stays mapped for the process's life
  }
  close(fd);
}

namespace {

// A name in the abstract socket namespace: it exists exactly as long as the process holding
// it, crash or not. It names the whole path by its digest: a path cut to the socket name's
// 107 bytes would take copies in different folders for one.
socklen_t GuardAddress(const std::string& exePath, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  const std::string name = "Quorvel:" + InstanceDigest(exePath);
  const size_t length = std::min(name.size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, name.data(), length);
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

}  // namespace

bool GuardSingleInstance(const std::string& exePath, std::intptr_t& guard) {
  sockaddr_un addr;
  const socklen_t size = GuardAddress(exePath, addr);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return true;  // no guard possible: run unprotected
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), size) != 0) {
    const bool taken = errno == EADDRINUSE;
    close(fd);
    return !taken;
  }
  listen(fd, 4);
  guard = fd;
  return true;
}

bool ShowFirstInstance(const std::string& exePath) {
  sockaddr_un addr;
  const socklen_t size = GuardAddress(exePath, addr);
  // A full backlog refuses at once rather than waiting (non-blocking connect).
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const bool sent = connect(fd, reinterpret_cast<sockaddr*>(&addr), size) == 0;
  close(fd);
  return sent;
}

bool TakeShowRequest(std::intptr_t guard) {
  const int fd = accept4(int(guard), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

void ReleaseGuard(std::intptr_t guard) {
  if (guard >= 0) close(int(guard));
}

bool IsProcessRunning(const std::string& exeName) { return !ProcessesNamed(exeName).empty(); }

bool EndProcessByName(const std::string& name) {
  std::optional<pid_t> target = WindowOwner(name);
  if (!target) {
    std::vector<pid_t> named = ProcessesNamed(name);
    if (!named.empty()) target = named.front();
  }
  return target && *target > 0 && *target != getpid() && kill(*target, SIGKILL) == 0;
}

}  // namespace core
