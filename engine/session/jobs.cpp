#include "jobs.h"

#include <mutex>
#include <thread>
#include <utility>

namespace session {

// What a job's thread and the list share.
struct Jobs::Job {
  std::atomic<bool> stop{false}, discard{false}, finished{false};
  std::mutex mutex;  // guards the three below
  std::optional<SwarmFigures> figures;
  std::optional<SwarmOutcome> swarmEnd;
  std::optional<CheckOutcome> checkEnd;
  std::optional<std::string> checkStage;
  std::thread thread;
};

namespace {

using Clock = std::chrono::steady_clock;

// Waits until the job's thread has finished or `until` has passed, then joins it, or lets it go.
template <typename JobPtr>
void EndThread(JobPtr& job, Clock::time_point until) {
  while (!job->finished && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!job->thread.joinable()) return;
  if (job->finished) {
    job->thread.join();
  } else {
    job->thread.detach();
  }
}

}  // namespace

Jobs::Stage Jobs::ShowStage(const std::shared_ptr<Job>& job) {
  return [job](const std::string& stage) {
    std::lock_guard lock(job->mutex);
    job->checkStage = stage;
  };
}

void Jobs::StartSwarm(int id, const JobCalls& calls, const std::string& torrentPath, const std::string& folder) {
  auto job = std::make_shared<Job>();
  job->thread = std::thread([job, calls, torrentPath, folder, limit = limit_] {
    SwarmOutcome end{SwarmOutcome::End::kFailed, "BT 下载在这里不可用"};
    if (calls.fetchContent) {
      end = calls.fetchContent(
          torrentPath, folder, *limit,
          [&job](const SwarmFigures& f) {
            std::lock_guard lock(job->mutex);
            job->figures = f;
          },
          [&job] { return job->stop.load(); });
    }
    if (job->discard && end.end != SwarmOutcome::End::kComplete && calls.discardContent)
      calls.discardContent(torrentPath, folder);
    {
      std::lock_guard lock(job->mutex);
      job->swarmEnd = end;
    }
    job->finished = true;
  });
  swarms_[id] = job;
}

bool Jobs::StopSwarm(int id, bool discard) {
  auto it = swarms_.find(id);
  if (it == swarms_.end()) return false;
  it->second->discard = discard;
  it->second->stop = true;
  if (discard) {  // its files go before its row
    EndThread(it->second, Clock::now() + std::chrono::seconds(15));
    swarms_.erase(it);
  }
  return true;
}

void Jobs::StartCheckJob(int id,
                         std::function<CheckOutcome(const Stage& show, const std::function<bool()>& stop)> run) {
  auto job = std::make_shared<Job>();
  job->thread = std::thread([job, run = std::move(run)] {
    const CheckOutcome end = run(ShowStage(job), [&job] { return job->stop.load(); });
    {
      std::lock_guard lock(job->mutex);
      job->checkEnd = end;
    }
    job->finished = true;
  });
  checks_[id] = job;
}

void Jobs::StartCheck(int id, const JobCalls& calls, const std::string& archivePath, const std::string& torrentLink) {
  StartCheckJob(id, [calls, archivePath, torrentLink](const Stage& show, const std::function<bool()>& stop) {
    if (!calls.check) return CheckOutcome{false, "无法校验：校验在这里不可用", {}};
    return calls.check(archivePath, torrentLink, show, stop);
  });
}

void Jobs::StartRepair(int id, const JobCalls& calls, const std::string& archivePath, const std::string& torrentLink,
                       const std::string& address) {
  StartCheckJob(id, [calls, archivePath, torrentLink, address](const Stage& show, const std::function<bool()>& stop) {
    if (!calls.repair) return CheckOutcome{false, "无法修复：修复在这里不可用", {}};
    return calls.repair(archivePath, torrentLink, address, show, stop);
  });
}

std::vector<JobReport> Jobs::Collect() {
  std::vector<JobReport> reports;
  for (auto* jobs : {&swarms_, &checks_}) {
    for (auto it = jobs->begin(); it != jobs->end();) {
      JobReport r;
      r.id = it->first;
      const bool finished = it->second->finished;
      {
        std::lock_guard lock(it->second->mutex);
        r.figures = std::exchange(it->second->figures, std::nullopt);
        r.swarmEnd = it->second->swarmEnd;
        r.checkEnd = it->second->checkEnd;
        r.checkStage = std::exchange(it->second->checkStage, std::nullopt);
      }
      if (finished) {
        it->second->thread.join();
        it = jobs->erase(it);
      } else {
        r.swarmEnd.reset();
        r.checkEnd.reset();
        ++it;
      }
      if (r.figures || r.swarmEnd || r.checkEnd || r.checkStage) reports.push_back(std::move(r));
    }
  }
  return reports;
}

void Jobs::StopAll(std::chrono::milliseconds wait) {
  const Clock::time_point until = Clock::now() + wait;
  for (auto* jobs : {&swarms_, &checks_}) {
    for (auto& [id, job] : *jobs) job->stop = true;
  }
  for (auto* jobs : {&swarms_, &checks_}) {
    for (auto& [id, job] : *jobs) EndThread(job, until);
    jobs->clear();
  }
}

}  // namespace session
