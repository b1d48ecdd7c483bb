#include "batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "dlcore.h"
#include "failurewords.h"
#include "printable.h"
#include "progressfigures.h"
#include "servers.h"
#include "taskrecord.h"
#include "utf8.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

// One running download: its handle and its own progress record.
struct Running {
  size_t job;
  DLTask task;
  std::unique_ptr<records::TaskProgressInfo> info;
};

bool AlreadyComplete(const Job& job) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::path(job.folder) / job.fileName;
  return std::filesystem::is_regular_file(target, ec) && !std::filesystem::exists(target.string() + ".part", ec);
}

std::optional<Running> Start(const std::vector<Job>& jobs, size_t i, JobStatus& status) {
  const Job& job = jobs[i];
  records::TaskCreateParams params;
  const bool built = params.BuildUtf16(common::Utf8ToUtf16(job.address), common::Utf8ToUtf16(job.fileName),
                                       common::Utf8ToUtf16(job.folder), /*isOnlyOriginal=*/false,
                                       /*disableAutoRename=*/true, /*isResume=*/true);
  DLTask task = built ? DL_CreateTask(params.Address()) : nullptr;
  if (!task) {
    status.state = JobState::kFailed;
    status.reason = "地址、文件名或保存目录过长";
    return std::nullopt;
  }
  DL_StartTask(task);
  auto info = std::make_unique<records::TaskProgressInfo>();
  info->Build();
  status.state = JobState::kRunning;
  return Running{i, task, std::move(info)};
}

// Reads the download's answer into its status; true when it has ended.
bool Poll(Running& r, JobStatus& status) {
  if (!DL_QueryTaskInfoEx(r.task, r.info->Address())) return false;
  const records::TaskProgressInfo& info = *r.info;
  status.done = info.nTotalDownload();
  status.total = info.nTotalSize();
  status.speed = info.nSpeed();
  status.percent = info.fPercent();
  if (info.stat() == DL_STATE_COMPLETE) {
    status.state = JobState::kCompleted;
    return true;
  }
  if (info.stat() == DL_STATE_CANCELLED) {
    status.state = JobState::kFailed;
    status.reason = records::FailureText(info.fail_code());
    status.failCode = info.fail_code();
    return true;
  }
  return false;
}

// Every running download paused with its resume data; waits (bounded) until each says so.
// One whose last bytes were already in has completed instead.
void PauseAll(std::vector<Running>& running, std::vector<JobStatus>& statuses) {
  for (Running& r : running) DL_StopTask(r.task);
  const auto end = Clock::now() + std::chrono::seconds(10);
  for (Running& r : running) {
    while (Clock::now() < end && DL_QueryTaskInfoEx(r.task, r.info->Address()) && r.info->stat() == DL_STATE_STOPPING)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    statuses[r.job].state = r.info->stat() == DL_STATE_COMPLETE ? JobState::kCompleted : JobState::kPaused;
  }
}

const char* StateWord(JobState s) {
  switch (s) {
    case JobState::kWaiting: return "等待";
    case JobState::kRunning: return "下载中";
    case JobState::kCompleted: return "完成";
    case JobState::kSkipped: return "已完成";
    case JobState::kFailed: return "失败";
    case JobState::kPaused: return "已暂停";
  }
  return "";
}

// `text` followed by blanks up to `columns` terminal columns (a CJK character takes two).
std::string Padded(const std::string& text, int columns) {
  int width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
      ++width;
    else if (c >= 0xE0)
      width += 2;  // the lead byte of a three- or four-byte character
  }
  return text + std::string(size_t(std::max(1, columns - width)), ' ');
}

std::string Line(const Job& job, const JobStatus& s) {
  char figures[128];
  std::snprintf(figures, sizeof figures, "%6.1f%%  %10s/s  %10s  ", double(s.percent) * 100.0,
                HumanSize(s.speed).c_str(), HumanSize(s.total).c_str());
  return Padded(common::Printable(job.fileName), 28) + figures + StateWord(s.state);
}

}  // namespace

std::string HumanSize(std::int64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < (1 << 20)) {
    std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
  } else if (bytes < (std::int64_t(1) << 30)) {
    std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1073741824.0);
  }
  return text;
}

bool BatchResult::AllDone() const {
  return !interrupted && std::all_of(statuses.begin(), statuses.end(), [](const JobStatus& s) {
    return s.state == JobState::kCompleted || s.state == JobState::kSkipped;
  });
}

void Display::Show(const std::vector<Job>& jobs, const std::vector<JobStatus>& statuses) {
  if (!terminal_) return;
  std::string out;
  if (drawn_ > 0) out += "\x1b[" + std::to_string(drawn_) + "A";
  int lines = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (statuses[i].state != JobState::kRunning) continue;
    out += "\x1b[2K" + Line(jobs[i], statuses[i]) + "\n";
    ++lines;
  }
  // Lines of downloads that ended since the last redraw are cleared.
  for (int i = lines; i < drawn_; ++i) out += "\x1b[2K\n";
  if (drawn_ > lines) out += "\x1b[" + std::to_string(drawn_ - lines) + "A";
  drawn_ = lines;
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

void Display::Event(const Job& job, const JobStatus& status) {
  std::string line = Line(job, status);
  if (!status.reason.empty()) line += "  " + common::Printable(status.reason);
  if (terminal_ && drawn_ > 0) {
    // The live lines go; the next redraw puts them back below this line.
    std::printf("\x1b[%dA", drawn_);
    for (int i = 0; i < drawn_; ++i) std::printf("\x1b[2K\n");
    std::printf("\x1b[%dA", drawn_);
    drawn_ = 0;
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

BatchResult RunBatch(const std::vector<Job>& jobs, int parallel, std::int64_t limit, Display& display,
                     const volatile std::sig_atomic_t& interrupted) {
  BatchResult result;
  result.statuses.resize(jobs.size());
  std::vector<JobStatus>& statuses = result.statuses;
  std::vector<Running> running;
  size_t next = 0;
  DL_Init();
  DL_SetDownloadLimit(limit);
  for (;;) {
    if (interrupted) {
      PauseAll(running, statuses);
      for (const Running& r : running) display.Event(jobs[r.job], statuses[r.job]);
      result.interrupted = true;
      break;
    }
    while (next < jobs.size() && int(running.size()) < parallel) {
      JobStatus& s = statuses[next];
      if (AlreadyComplete(jobs[next])) {
        s.state = JobState::kSkipped;
        s.percent = 1;
        s.reason = "文件已在，跳过";
        display.Event(jobs[next], s);
      } else if (auto r = Start(jobs, next, s)) {
        running.push_back(std::move(*r));
      } else {
        display.Event(jobs[next], s);
      }
      ++next;
    }
    for (auto r = running.begin(); r != running.end();) {
      if (Poll(*r, statuses[r->job])) {
        display.Event(jobs[r->job], statuses[r->job]);
        DL_DeleteTask(r->task);
        r = running.erase(r);
      } else {
        ++r;
      }
    }
    display.Show(jobs, statuses);
    if (running.empty() && next == jobs.size()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  DL_UnInit();
  return result;
}

void PrintSummary(const std::vector<Job>& jobs, const BatchResult& result, const std::string& downloadServer) {
  std::printf("\n%s%s%s原因\n", Padded("文件", 28).c_str(), Padded("状态", 8).c_str(), Padded("大小", 12).c_str());
  for (size_t i = 0; i < jobs.size(); ++i) {
    const JobStatus& s = result.statuses[i];
    std::printf("%s%s%s%s\n", Padded(common::Printable(jobs[i].fileName), 28).c_str(),
                Padded(StateWord(s.state), 8).c_str(), Padded(s.total > 0 ? HumanSize(s.total) : "-", 12).c_str(),
                common::Printable(s.reason).c_str());
  }
  for (const JobStatus& s : result.statuses)
    if (records::UnreachableServer(s.failCode)) {
      std::printf("%s\n", core::WhereServerIsChosen(core::Server::kDownload, downloadServer, true).c_str());
      return;
    }
}

}  // namespace cli
