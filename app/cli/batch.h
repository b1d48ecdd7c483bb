#pragma once
// Downloads run through the session core's download list, as the window's do, up to K at a
// time, with a live display: what `quorvel-cli search --download` and `quorvel-cli mapdata`
// share. The files are the window's (.part and .part.ctl beside the target), so a download
// started in one resumes in the other.
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct Job {
  std::string address;
  std::string folder;
  std::string fileName;  // also what the display calls the job
};

enum class JobState { kWaiting, kRunning, kCompleted, kSkipped, kFailed, kPaused };

struct JobStatus {
  JobState state = JobState::kWaiting;
  std::int64_t done = 0, total = 0;
  std::int32_t speed = 0;  // bytes per second
  float percent = 0;
  std::string reason;  // why it failed, or was skipped
  int failCode = 0;    // the engine's, when it failed there
};

struct BatchResult {
  std::vector<JobStatus> statuses;
  bool interrupted = false;  // Ctrl-C: every running download paused with its resume data
  bool AllDone() const;      // every job completed (or was complete already)
};

// The live display: one line per running download on a terminal, plain lines on events
// otherwise.
class Display {
 public:
  explicit Display(bool terminal) : terminal_(terminal) {}
  void Show(const std::vector<Job>& jobs, const std::vector<JobStatus>& statuses);
  void Event(const Job& job, const JobStatus& status);

 private:
  bool terminal_;
  int drawn_ = 0;  // lines of the last redraw, to overwrite
};

// Runs the jobs, at most `limit` bytes a second together (0: no limit); `interrupted` is set
// by the Ctrl-C handler.
BatchResult RunBatch(const std::vector<Job>& jobs, int parallel, std::int64_t limit, Display& display,
                     const volatile std::sig_atomic_t& interrupted);

// "name  state  size  reason" for every job, aligned; then, when a download could not reach
// the download server `downloadServer`, what chooses it.
void PrintSummary(const std::vector<Job>& jobs, const BatchResult& result, const std::string& downloadServer);

// A size as people read it: "812 B", "1.50 MB".
std::string HumanSize(std::int64_t bytes);

}  // namespace cli
