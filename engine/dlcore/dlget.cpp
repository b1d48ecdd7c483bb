// dlget: downloads one address through the engine's C interface, printing progress.
//   dlget URL [-o FOLDER] [-n NAME] [--replace] [--no-resume] [--max-seconds N] [-q]
// Exit code 0 when the file is complete, 1 when the task failed, 2 for bad arguments,
// 3 when --max-seconds ran out, 130 after Ctrl-C (the task is paused and resumable).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "dlcore.h"
#include "recordlayout.h"
#include "taskrecord.h"
#include "utf8.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

std::string NameFromUrl(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.empty() ? "index.html" : name;
}

int Usage() {
  std::fprintf(stderr, "usage: dlget URL [-o FOLDER] [-n NAME] [--replace] [--no-resume] [--max-seconds N] [-q]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, folder = ".", name;
  bool replace = false, resume = true, quiet = false;
  double maxSeconds = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) folder = argv[++i];
    else if (a == "-n" && i + 1 < argc) name = argv[++i];
    else if (a == "--replace") replace = true;
    else if (a == "--no-resume") resume = false;
    else if (a == "--max-seconds" && i + 1 < argc) maxSeconds = std::atof(argv[++i]);
    else if (a == "-q") quiet = true;
    else if (url.empty() && a[0] != '-') url = a;
    else return Usage();
  }
  if (url.empty()) return Usage();
  if (name.empty()) name = NameFromUrl(url);

  TaskCreateParams params;
  if (!params.BuildUtf16(Utf8ToUtf16(url), Utf8ToUtf16(name), Utf8ToUtf16(folder), false, replace, resume)) {
    std::fprintf(stderr, "dlget: the address, name or folder is too long\n");
    return 2;
  }
  std::signal(SIGINT, [](int) { gInterrupted = 1; });
  DL_Init();
  DLTask task = DL_CreateTask(params.Address());
  DL_StartTask(task);
  TaskProgressInfo info;
  info.Build();
  const auto started = std::chrono::steady_clock::now();
  int code = 3;
  for (int tick = 0;; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!DL_QueryTaskInfoEx(task, info.Address())) continue;
    const int stat = info.stat();
    if (!quiet && (tick % 100 == 0 || stat == 4 || stat == 1))
      std::fprintf(stderr, "\r%6.2f%%  %lld / %lld bytes  %.2f MiB/s  connections %d/%d   ", info.fPercent() * 100.0,
                   static_cast<long long>(info.nTotalDownload()), static_cast<long long>(info.nTotalSize()),
                   info.nSpeed() / 1048576.0, info.nSrcUsing(), info.nSrcTotal());
    if (stat == 4 || stat == 1) {
      code = stat == 4 ? 0 : 1;
      if (stat == 1) std::fprintf(stderr, "\ndlget: failed with code %d\n", info.fail_code());
      break;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (gInterrupted || (maxSeconds > 0 && elapsed > maxSeconds)) {
      DL_StopTask(task);
      code = gInterrupted ? 130 : 3;
      break;
    }
  }
  if (!quiet) std::fprintf(stderr, "\n");
  if (code == 0) {
    const std::string name16 = info.record().ReadField("szFilename");
    std::u16string saved(name16.size() / 2, u'\0');
    std::memcpy(saved.data(), name16.data(), saved.size() * 2);
    std::printf("%s/%s\n", folder.c_str(), Utf16ToUtf8(saved.substr(0, saved.find(u'\0'))).c_str());
  }
  DL_UnInit();
  return code;
}
