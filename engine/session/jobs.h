#pragma once
// The download list's work on threads of its own: a torrent's content through the swarm, and an
// archive checked against its torrent. Each job runs the function the program bound for it; the
// list's tick collects what the jobs report. Stopping is asked, never forced: a job sees it
// within a fifth of a second (the swarm) or a piece or a network wait (a check).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calls.h"

namespace session {

// What a job reported since the last collection.
struct JobReport {
  int id = 0;
  std::optional<SwarmFigures> figures;  // a running swarm job's
  std::optional<SwarmOutcome> swarmEnd;
  std::optional<CheckOutcome> checkEnd;
  std::optional<std::string> checkStage;  // how far a repair got, for the user
};

class Jobs {
 public:
  Jobs() = default;
  ~Jobs() { StopAll(std::chrono::seconds(15)); }
  Jobs(const Jobs&) = delete;
  Jobs& operator=(const Jobs&) = delete;

  void StartSwarm(int id, const JobCalls& calls, const std::string& torrentPath, const std::string& folder);
  // Asks the swarm job of row `id` to stop with its resume data; with `discard` it is waited for
  // (bounded) and its unfinished files go. False when no job of that row runs.
  bool StopSwarm(int id, bool discard);
  void StartCheck(int id, const JobCalls& calls, const std::string& archivePath, const std::string& torrentLink);
  // A check that fetches the bad pieces again from `address` (JobCalls::repair).
  void StartRepair(int id, const JobCalls& calls, const std::string& archivePath, const std::string& torrentLink,
                   const std::string& address);
  bool Runs(int id) const { return swarms_.count(id) != 0; }
  // Figures of the running swarm jobs, and the jobs that ended (they are forgotten).
  std::vector<JobReport> Collect();
  void SetLimit(std::int64_t bytesPerSecond) { limit_->store(bytesPerSecond); }
  // Every job asked to stop, and waited for up to `wait`; one that does not end by then is let
  // go (it holds only what it shares with its thread).
  void StopAll(std::chrono::milliseconds wait);

 private:
  struct Job;
  using Stage = std::function<void(const std::string&)>;
  // What a check or repair says of how far it got, kept for the list's next collection.
  static Stage ShowStage(const std::shared_ptr<Job>& job);
  // A check's or repair's thread: `run` is given where to say how far it got and when to stop.
  void StartCheckJob(int id, std::function<CheckOutcome(const Stage& show, const std::function<bool()>& stop)> run);
  std::shared_ptr<std::atomic<std::int64_t>> limit_ = std::make_shared<std::atomic<std::int64_t>>(0);
  std::map<int, std::shared_ptr<Job>> swarms_, checks_;
};

}  // namespace session
