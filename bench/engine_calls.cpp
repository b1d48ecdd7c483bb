// How the engine's C interface answers during a fast download: the longest time the progress
// record stood still while the transfer ran, and how long DL_StopTask kept its caller. Loads
// the engine library given, so that two builds can be measured side by side.
//   engine_calls LIBDLCORE.so URL FOLDER
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "dlcore.h"
#include "recordlayout.h"
#include "taskrecord.h"
#include "utf8.h"

using namespace common;
using namespace records;

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: engine_calls LIBDLCORE.so URL FOLDER\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) return std::fprintf(stderr, "%s\n", dlerror()), 2;
  auto init = reinterpret_cast<int (*)()>(dlsym(library, "DL_Init"));
  auto uninit = reinterpret_cast<void (*)()>(dlsym(library, "DL_UnInit"));
  auto create = reinterpret_cast<void* (*)(const void*)>(dlsym(library, "DL_CreateTask"));
  auto start = reinterpret_cast<void (*)(void*)>(dlsym(library, "DL_StartTask"));
  auto query = reinterpret_cast<int (*)(void*, void*)>(dlsym(library, "DL_QueryTaskInfoEx"));
  auto stop = reinterpret_cast<void (*)(void*)>(dlsym(library, "DL_StopTask"));
  TaskCreateParams params;
  params.BuildUtf16(Utf8ToUtf16(argv[2]), u"calls.bin", Utf8ToUtf16(argv[3]), false, true, false);
  init();
  void* task = create(params.Address());
  start(task);
  TaskProgressInfo info;
  info.Build();
  std::int64_t last = -1;
  auto lastChange = Clock::now(), begin = Clock::now();
  double longestStill = 0;
  while (Clock::now() - begin < std::chrono::milliseconds(1500)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!query(task, info.Address()) || info.stat() != DL_STATE_RUNNING) continue;
    const auto now = Clock::now();
    if (info.nTotalDownload() != last) {
      if (last >= 0)
        longestStill = std::max(longestStill, std::chrono::duration<double, std::milli>(now - lastChange).count());
      last = info.nTotalDownload();
      lastChange = now;
    }
  }
  const auto before = Clock::now();
  stop(task);
  const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
  std::printf("longest still %.1f ms, stop kept the caller %.2f ms, %lld bytes\n", longestStill, stopMs,
              static_cast<long long>(last));
  uninit();
  return 0;
}
