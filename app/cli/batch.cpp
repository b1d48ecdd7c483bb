#include "batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "dlcore.h"
#include "downloadlist.h"
#include "failurewords.h"
#include "printable.h"
#include "servers.h"

namespace cli {

namespace {

// The engine's functions as this program links them: the command line is the engine's only
// user in its process, so it starts and ends it once.
session::EngineCalls LinkedEngine() {
  return session::EngineCalls{
      [] { return DL_Init(); },
      [] { DL_UnInit(); },
      [](const void* record) { return static_cast<void*>(DL_CreateTask(record)); },
      [](void* task) { DL_StartTask(task); },
      [](void* task, void* record) { return DL_QueryTaskInfoEx(task, record); },
      [](void* task) { DL_StopTask(task); },
      [](void* task) { DL_DeleteTask(task); },
      [](const void* record) { DL_DelTempFile(record); },
      [](long long bytesPerSecond) { DL_SetDownloadLimit(bytesPerSecond); },
  };
}

bool AlreadyComplete(const Job& job) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::path(job.folder) / job.fileName;
  return std::filesystem::is_regular_file(target, ec) && !std::filesystem::exists(target.string() + ".part", ec);
}

// The list's row as the display shows it.
void Update(JobStatus& status, const session::ListedDownload& d) {
  using session::ListState;
  status.done = d.done;
  status.total = d.total;
  status.speed = d.speed;
  status.percent = d.state == ListState::kCompleted ? 1.0F
                   : d.total > 0                    ? float(double(d.done) / double(d.total))
                                                    : 0.0F;
  switch (d.state) {
    case ListState::kWaiting: status.state = JobState::kWaiting; break;
    case ListState::kRunning: status.state = JobState::kRunning; break;
    case ListState::kPaused: status.state = JobState::kPaused; break;
    case ListState::kCompleted: status.state = JobState::kCompleted; break;
    case ListState::kFailed:
      status.state = JobState::kFailed;
      status.failCode = d.failCode;
      status.reason = d.failure.empty() ? records::FailureText(d.failCode) : d.failure;
      break;
  }
}

// Each job's row of the list: 0 for a job that never joined it (complete already).
std::vector<int> QueueJobs(const std::vector<Job>& jobs, session::DownloadList& list, Display& display,
                           std::vector<JobStatus>& statuses) {
  std::vector<int> rows(jobs.size(), 0);
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (AlreadyComplete(jobs[i])) {
      statuses[i].state = JobState::kSkipped;
      statuses[i].percent = 1;
      statuses[i].reason = "文件已在，跳过";
      display.Event(jobs[i], statuses[i]);
    } else {
      rows[i] = list.Queue(jobs[i].address, jobs[i].folder, jobs[i].fileName);
    }
  }
  return rows;
}

// Every job's status from its row; the ones whose row ended are told.
void Report(const std::vector<Job>& jobs, const std::vector<int>& rows, const session::DownloadList& list,
            const std::vector<session::ListEvent>& ended, Display& display, std::vector<JobStatus>& statuses) {
  for (size_t i = 0; i < jobs.size(); ++i)
    if (const session::ListedDownload* d = rows[i] ? list.Find(rows[i]) : nullptr) Update(statuses[i], *d);
  for (const session::ListEvent& e : ended)
    for (size_t i = 0; i < jobs.size(); ++i)
      if (rows[i] == e.id) display.Event(jobs[i], statuses[i]);
}

bool AnyLeft(const session::DownloadList& list) {
  return std::any_of(list.rows().begin(), list.rows().end(), [](const session::ListedDownload& d) {
    return d.state == session::ListState::kWaiting || d.state == session::ListState::kRunning;
  });
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
  const session::EngineCalls engine = LinkedEngine();
  session::DownloadList list(engine);
  list.maxRunning = parallel;
  engine.init();
  engine.setDownloadLimit(limit);
  const std::vector<int> rows = QueueJobs(jobs, list, display, result.statuses);
  while (AnyLeft(list)) {
    if (interrupted) {
      const std::vector<session::ListEvent> ended = list.PauseAll(std::chrono::seconds(10));
      Report(jobs, rows, list, ended, display, result.statuses);
      for (size_t i = 0; i < jobs.size(); ++i)  // the paused ones are told too
        if (result.statuses[i].state == JobState::kPaused) display.Event(jobs[i], result.statuses[i]);
      result.interrupted = true;
      break;
    }
    Report(jobs, rows, list, list.Tick(), display, result.statuses);
    display.Show(jobs, result.statuses);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  list.LetGoOfTasks();
  engine.uninit();
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
