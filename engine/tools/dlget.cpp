// dlget: downloads one address through the engine's C interface, printing progress.
// The options and exit statuses are in kHelp, which is also its manual page.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "dlcore.h"
#include "failurewords.h"
#include "platform/terminal.h"
#include "printable.h"
#include "rate.h"
#include "recordlayout.h"
#include "safename.h"
#include "taskrecord.h"
#include "url.h"
#include "utf8.h"

namespace {

using Clock = std::chrono::steady_clock;
using records::TaskCreateParams;
using records::TaskProgressInfo;

volatile std::sig_atomic_t gInterrupted = 0;

// The last part of the address's path, percent-decoded and made one safe name.
std::string NameFromUrl(const std::string& url) {
  const std::optional<common::Url> parts = common::ParseUrl(url);
  const std::string path = parts ? parts->path : std::string();
  const std::string name = common::PercentDecoded(path.substr(path.find_last_of('/') + 1));
  return name.empty() ? "index.html" : common::SafeFileName(name);
}

// The words name the server by its host:port and its host (one URL parse for both).
std::string FailureInWords(int code, const std::string& url, const std::string& folder) {
  const std::optional<common::Url> parts = common::ParseUrl(url);
  return records::EnglishFailure(code, parts ? parts->HostAndPort() : url, parts ? parts->host : url, folder);
}

const char* const kHelp =
    "Usage: dlget URL [OPTION]...\n"
    "Download URL through the Quorvel engine's C interface, with its progress on stderr.\n"
    "\n"
    "  -o FOLDER          save into FOLDER (default: the current folder)\n"
    "  -n NAME            save as NAME (default: the last part of the address)\n"
    "  --replace          replace a file of that name (default: a numbered name beside it)\n"
    "  --no-resume        start over instead of resuming a stopped download\n"
    "  --max-seconds N    pause the download after N seconds (exit status 3)\n"
    "  --connections N    at most N connections to the server (1 to 16)\n"
    "  --limit-rate RATE  at most RATE bytes a second, for all connections together;\n"
    "                     K, M or G after the number for 1024, 1024^2, 1024^3 (500K, 2M)\n"
    "  -q                 no progress\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "The download goes through the proxy that http_proxy, https_proxy or all_proxy names,\n"
    "except for the hosts that no_proxy lists.\n"
    "\n"
    "Exit status: 0 complete, 1 the download failed, 2 bad arguments, 3 --max-seconds ran out,\n"
    "130 after Ctrl-C (the download is paused; the same command resumes it).\n";

int Usage() {
  std::fputs("Usage: dlget URL [OPTION]... (dlget --help tells more)\n", stderr);
  return 2;
}

void PrintProgress(const TaskProgressInfo& info) {
  std::fprintf(stderr, "\r%6.2f%%  %lld / %lld bytes  %.2f MiB/s  connections %d/%d   ", info.fPercent() * 100.0,
               static_cast<long long>(info.nTotalDownload()), static_cast<long long>(info.nTotalSize()),
               info.nSpeed() / 1048576.0, info.nSrcUsing(), info.nSrcTotal());
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, folder = ".", name;
  bool replace = false, resume = true, quiet = false;
  double maxSeconds = 0;
  std::int64_t limit = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help") return std::fputs(kHelp, stdout) < 0;
    if (a == "--version") return std::printf("dlget %s\n", QUORVEL_VERSION) < 0;
    if (a == "-o" && i + 1 < argc)
      folder = argv[++i];
    else if (a == "-n" && i + 1 < argc)
      name = argv[++i];
    else if (a == "--replace")
      replace = true;
    else if (a == "--no-resume")
      resume = false;
    else if (a == "--max-seconds" && i + 1 < argc)
      maxSeconds = std::atof(argv[++i]);
    else if (a == "-q")
      quiet = true;
    else if (a == "--connections" && i + 1 < argc) {
      const int n = std::atoi(argv[++i]);
      if (n < 1 || n > 16) return Usage();
      setenv("QUORVEL_DLCORE_CONNECTIONS", std::to_string(n).c_str(), 1);  // read when the engine starts
    } else if (a == "--limit-rate" && i + 1 < argc) {
      const std::optional<std::int64_t> rate = common::ParseRate(argv[++i]);
      if (!rate) {
        std::fprintf(stderr, "dlget: --limit-rate takes a number of bytes a second, as 500K or 2M\n");
        return 2;
      }
      limit = *rate;
    } else if (url.empty() && a[0] != '-')
      url = a;
    else
      return Usage();
  }
  if (url.empty()) return Usage();
  if (name.empty()) name = NameFromUrl(url);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

  records::TaskCreateParams params;
  if (!params.BuildUtf16(common::Utf8ToUtf16(url), common::Utf8ToUtf16(name), common::Utf8ToUtf16(folder), false,
                         replace, resume)) {
    std::fprintf(stderr, "dlget: the address, name or folder is too long\n");
    return 2;
  }
  std::signal(SIGINT, [](int) { gInterrupted = 1; });
  DL_Init();
  if (limit > 0) DL_SetDownloadLimit(limit);
  DLTask task = DL_CreateTask(params.Address());
  DL_StartTask(task);
  records::TaskProgressInfo info;
  info.Build();
  const auto started = Clock::now();
  auto lastShown = started;
  int code = 3;
  // A query costs microseconds and never blocks: asking every millisecond at first ends a
  // small download as soon as the engine has it; a long one is asked less often (the
  // progress line changes twice a second), which keeps this thread off the processor.
  for (;;) {
    const auto running = Clock::now() - started;
    std::this_thread::sleep_for(running < std::chrono::milliseconds(100) ? std::chrono::milliseconds(1)
                                : running < std::chrono::seconds(1)      ? std::chrono::milliseconds(5)
                                                                         : std::chrono::milliseconds(20));
    if (!DL_QueryTaskInfoEx(task, info.Address())) continue;
    const int stat = info.stat();
    const auto now = Clock::now();
    if (!quiet && (now - lastShown >= std::chrono::milliseconds(500) || stat == DL_STATE_COMPLETE ||
                   stat == DL_STATE_CANCELLED)) {
      PrintProgress(info);
      lastShown = now;
    }
    if (stat == DL_STATE_COMPLETE || stat == DL_STATE_CANCELLED) {
      code = stat == DL_STATE_COMPLETE ? 0 : 1;
      if (stat == DL_STATE_CANCELLED)
        std::fprintf(stderr, "%sdlget: failed: %s (code %d)\n", quiet ? "" : "\n",
                     common::Printable(FailureInWords(info.fail_code(), url, folder)).c_str(), info.fail_code());
      break;
    }
    const double elapsed = std::chrono::duration<double>(now - started).count();
    if (gInterrupted || (maxSeconds > 0 && elapsed > maxSeconds)) {
      DL_StopTask(task);
      DL_QueryTaskInfoEx(task, info.Address());
      code = gInterrupted ? 130 : 3;
      std::fprintf(stderr,
                   "%sdlget: %s; paused at %.2f %% (%lld of %lld bytes). Run the same command again to resume.\n",
                   quiet ? "" : "\n", gInterrupted ? "interrupted" : "time is up", info.fPercent() * 100.0,
                   static_cast<long long>(info.nTotalDownload()), static_cast<long long>(info.nTotalSize()));
      break;
    }
  }
  if (!quiet && code == 0) std::fprintf(stderr, "\n");
  if (code == 0) {
    const std::string name16 = info.record().ReadField("szFilename");
    std::u16string saved(name16.size() / 2, u'\0');
    std::memcpy(saved.data(), name16.data(), saved.size() * 2);
    // The saved file's path: as it is for a script reading it, escaped for a terminal (the
    // name comes from the address).
    std::string path = (folder == "/" ? "" : folder) + "/" + common::Utf16ToUtf8(saved.substr(0, saved.find(u'\0')));
    if (platform::IsTerminal(stdout)) path = common::Printable(path);
    std::printf("%s\n", path.c_str());
  }
  DL_UnInit();
  return code;
}
