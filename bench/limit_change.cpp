// The speed limit changed while a download runs, through the engine's C interface against a
// local server that holds each connection to a rate (as many real servers do):
//   lift: 64 KiB/s for the first 3 s, then no limit; the speed in the 3 s after a second of
//         settling, against the speed of the same download never limited at that point;
//   set:  no limit for the first 2 s, then 2 MiB/s to the end; the bytes the server sent
//         beyond the file's size.
// Each file is compared with what the server served; medians of RUNS. QUORVEL_BENCH_PACE sets
// the server's rate per connection in bytes a second (0: none, for a long link of a network
// namespace, where the window a connection was opened with decides its speed).
//   limit_change LIBDLCORE.so RUNS [lift|set|slow|never]    (one of them alone)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "../tests/fixtures/files.h"
#include "../tests/fixtures/fileserver.h"
#include "dlcore.h"
#include "taskrecord.h"
#include "utf8.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Engine {
  int (*init)();
  void (*uninit)();
  void* (*create)(const void*);
  void (*start)(void*);
  int (*query)(void*, void*);
  void (*limit)(long long);
};

struct Run {
  double speedAfter = 0;  // bytes a second, in the window measured
  double extra = 0;       // bytes served beyond the file, as a share of it
  bool exact = false;     // the file is the server's
};

template <typename F>
F Bind(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

// One download; `plan` sets the limit by the seconds since its start. The speed is measured
// from `from` to `to` seconds.
Run Download(const Engine& e, std::int64_t (*plan)(double), double from, double to, size_t size = 48 << 20) {
  const std::string content = PatternBytes(size, 9);
  FileServer server(content);
  const char* pace = std::getenv("QUORVEL_BENCH_PACE");
  server.SetFaults({.bytesPerSecond = pace ? size_t(std::atoll(pace)) : size_t(256 << 10)});
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quorvel-limitchange";
  std::filesystem::remove_all(folder);
  records::TaskCreateParams params;
  params.BuildUtf16(common::Utf8ToUtf16(server.url()), u"f.bin", common::Utf8ToUtf16(folder.string()), false, true,
                    false);
  records::TaskProgressInfo info;
  info.Build();
  e.init();
  e.limit(plan(0));
  void* task = e.create(params.Address());
  e.start(task);
  const auto begin = Clock::now();
  std::int64_t limit = plan(0), atFrom = -1, atTo = -1;
  while (e.query(task, info.Address()) && info.stat() != DL_STATE_COMPLETE && info.stat() != DL_STATE_CANCELLED) {
    const double t = std::chrono::duration<double>(Clock::now() - begin).count();
    if (plan(t) != limit) e.limit(limit = plan(t));
    if (t >= from && atFrom < 0) atFrom = info.nTotalDownload();
    if (t >= to && atTo < 0) atTo = info.nTotalDownload();
    if (t > 240) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  e.uninit();
  Run r;
  r.speedAfter = atTo >= 0 ? double(atTo - atFrom) / (to - from) : 0;
  r.extra = double(server.bytesServed()) / double(content.size()) - 1;
  r.exact = ReadAll(folder / "f.bin") == content;
  std::filesystem::remove_all(folder);
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: limit_change LIBDLCORE.so RUNS [lift|set|slow|never]\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) return std::fprintf(stderr, "%s\n", dlerror()), 2;
  const Engine e{Bind<int (*)()>(library, "DL_Init"),
                 Bind<void (*)()>(library, "DL_UnInit"),
                 Bind<void* (*)(const void*)>(library, "DL_CreateTask"),
                 Bind<void (*)(void*)>(library, "DL_StartTask"),
                 Bind<int (*)(void*, void*)>(library, "DL_QueryTaskInfoEx"),
                 Bind<void (*)(long long)>(library, "DL_SetDownloadLimit")};
  const int runs = std::max(1, std::atoi(argv[2]));
  const std::string only = argc == 4 ? argv[3] : "";
  std::vector<double> lifted, never, extraSet, extraNever, extraSlow;
  bool exact = true;
  for (int i = 0; i < runs; ++i) {
    const bool all = only.empty();
    const Run l = all || only == "lift" ? Download(
                                              e, [](double t) -> std::int64_t { return t < 3 ? 64 << 10 : 0; }, 4, 7)
                                        : Run{};
    const Run n = all || only == "never" ? Download(
                                               e, [](double) -> std::int64_t { return 0; }, 4, 7)
                                         : Run{};
    const Run s = all || only == "set" ? Download(
                                             e, [](double t) -> std::int64_t { return t < 2 ? 0 : 2 << 20; }, 4, 7)
                                       : Run{};
    const Run slow = all || only == "slow"
                         ? Download(
                               e, [](double t) -> std::int64_t { return t < 2 ? 0 : 256 << 10; }, 4, 7, 16 << 20)
                         : Run{};
    lifted.push_back(l.speedAfter), never.push_back(n.speedAfter);
    extraSet.push_back(s.extra), extraNever.push_back(n.extra), extraSlow.push_back(slow.extra);
    exact = exact && (l.exact || !(all || only == "lift")) && (n.exact || !(all || only == "never")) &&
            (s.exact || !(all || only == "set")) && (slow.exact || !(all || only == "slow"));
    std::fprintf(stderr,
                 "run %d: lifted %.0f KiB/s, never limited %.0f KiB/s; extra bytes: set %.2f %%, slow %.2f %%, never "
                 "%.2f %%\n",
                 i + 1, l.speedAfter / 1024, n.speedAfter / 1024, s.extra * 100, slow.extra * 100, n.extra * 100);
  }
  std::printf("| speed after the lift / never limited | %.2f |\n", Median(lifted) / Median(never));
  std::printf("| bytes beyond the file, limit set mid-download | %.2f %% |\n", Median(extraSet) * 100);
  std::printf("| bytes beyond the file, 256 KiB/s set mid-download (16 MiB) | %.2f %% |\n", Median(extraSlow) * 100);
  std::printf("| bytes beyond the file, never limited | %.2f %% |\n", Median(extraNever) * 100);
  std::printf("| every file the server's | %s |\n", exact ? "yes" : "NO");
  return exact ? 0 : 1;
}
