// dlget: downloads one address through the engine's C interface, printing progress.
// The options and exit statuses are in kHelp, which is also its manual page.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "dlcore.h"
#include "pathtext.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "printable.h"
#include "recordcodec.h"
#include "recordlayout.h"
#include "safename.h"
#include "sizes.h"
#include "taskrecord.h"
#include "url.h"
#include "utf8.h"
#include "words.h"

namespace {

using Clock = std::chrono::steady_clock;
using records::TaskCreateParams;
using records::TaskProgressInfo;

std::atomic<bool> gInterrupted = false;

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
  std::fprintf(stderr, "\r%6.2f%%  %lld / %lld bytes  %s  connections %d/%d   ", info.fPercent() * 100.0,
               static_cast<long long>(info.nTotalDownload()), static_cast<long long>(info.nTotalSize()),
               common::RateText(info.nSpeed()).c_str(), info.nSrcUsing(), info.nSrcTotal());
}

struct Options {
  std::string url, folder = ".", name;
  bool replace = false, resume = true, quiet = false;
  double maxSeconds = 0;
  std::int64_t limit = 0;
};

// The options, or the exit status when there is nothing to download (--help, --version, or
// bad arguments).
std::variant<Options, int> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
    if (a == "--version") return std::printf("dlget %s\n", QUORVEL_VERSION) < 0 ? 1 : 0;
    if (a == "-o" && i + 1 < argc)
      o.folder = argv[++i];
    else if (a == "-n" && i + 1 < argc)
      o.name = argv[++i];
    else if (a == "--replace")
      o.replace = true;
    else if (a == "--no-resume")
      o.resume = false;
    else if (a == "--max-seconds" && i + 1 < argc)
      o.maxSeconds = std::atof(argv[++i]);
    else if (a == "-q")
      o.quiet = true;
    else if (a == "--connections" && i + 1 < argc) {
      const int n = std::atoi(argv[++i]);
      if (n < 1 || n > 16) return Usage();
      platform::SetEnvironment("QUORVEL_DLCORE_CONNECTIONS", std::to_string(n));  // read when the engine starts
    } else if (a == "--limit-rate" && i + 1 < argc) {
      const std::optional<std::int64_t> rate = common::ParseRate(argv[++i]);
      if (!rate) {
        std::fprintf(stderr, "dlget: --limit-rate takes a number of bytes a second, as 500K or 2M\n");
        return 2;
      }
      o.limit = *rate;
    } else if (o.url.empty() && a[0] != '-')
      o.url = a;
    else
      return Usage();
  }
  if (o.url.empty()) return Usage();
  if (o.name.empty()) o.name = NameFromUrl(o.url);
  while (o.folder.size() > 1 && o.folder.back() == '/') o.folder.pop_back();
  return o;
}

// Follows the download until it ends, is interrupted or its time is up; the exit status.
int Follow(DLTask task, const Options& o, TaskProgressInfo& info) {
  const auto started = Clock::now();
  auto lastShown = started;
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
    const bool ended = stat == DL_STATE_COMPLETE || stat == DL_STATE_CANCELLED;
    const auto now = Clock::now();
    if (!o.quiet && (now - lastShown >= std::chrono::milliseconds(500) || ended)) {
      PrintProgress(info);
      lastShown = now;
    }
    if (stat == DL_STATE_COMPLETE) return 0;
    if (stat == DL_STATE_CANCELLED) {
      std::fprintf(stderr, "%sdlget: failed: %s (code %d)\n", o.quiet ? "" : "\n",
                   common::Printable(FailureInWords(info.fail_code(), o.url, o.folder)).c_str(), info.fail_code());
      return 1;
    }
    const double elapsed = std::chrono::duration<double>(now - started).count();
    if (gInterrupted || (o.maxSeconds > 0 && elapsed > o.maxSeconds)) {
      DL_StopTask(task);
      DL_QueryTaskInfoEx(task, info.Address());
      std::fprintf(stderr,
                   "%sdlget: %s; paused at %.2f %% (%lld of %lld bytes). Run the same command again to resume.\n",
                   o.quiet ? "" : "\n", gInterrupted ? "interrupted" : "time is up", info.fPercent() * 100.0,
                   static_cast<long long>(info.nTotalDownload()), static_cast<long long>(info.nTotalSize()));
      return gInterrupted ? 130 : 3;
    }
  }
}

// The saved file's path: as it is for a script reading it, escaped for a terminal (the name
// comes from the address).
void PrintSavedPath(TaskProgressInfo& info, const std::string& folder) {
  const std::u16string saved = records::FieldUnits(info.record().ReadField("szFilename"));
  // The system's own separator: "D:\\下载\\file.bin" on Windows.
  std::string path = (folder == "/" ? "" : folder) + common::kPathSeparator + common::Utf16ToUtf8(saved);
  if (platform::IsTerminal(stdout)) path = common::Printable(path);
  std::printf("%s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  platform::UseUtf8Terminal();
  const std::variant<Options, int> parsed = ParseOptions(argc, argv);
  const Options* given = std::get_if<Options>(&parsed);
  if (!given) return *std::get_if<int>(&parsed);
  const Options& o = *given;
  records::TaskCreateParams params;
  if (!params.BuildUtf16(common::Utf8ToUtf16(o.url), common::Utf8ToUtf16(o.name), common::Utf8ToUtf16(o.folder), false,
                         o.replace, o.resume)) {
    std::fprintf(stderr, "dlget: the address, name or folder is too long\n");
    return 2;
  }
  platform::CatchInterrupt(gInterrupted);
  DL_Init();
  if (o.limit > 0) DL_SetDownloadLimit(o.limit);
  DLTask task = DL_CreateTask(params.Address());
  DL_StartTask(task);
  records::TaskProgressInfo info;
  info.Build();
  const int code = Follow(task, o, info);
  if (code == 0) {
    if (!o.quiet) std::fprintf(stderr, "\n");
    PrintSavedPath(info, o.folder);
  }
  DL_UnInit();
  return code;
}
