#include "swarmjobs.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include <QFuture>
#include <QLabel>
#include <QSpinBox>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "downloadlistwindow.h"
#include "mainwindow.h"
#include "swarm.h"
#include "verify.h"

namespace ui {

namespace {

// What a job's thread and the window share.
struct SwarmJob {
  std::atomic<bool> stop{false}, discard{false};
  std::mutex mutex;  // guards the two below
  torrent::SwarmStatus status;
  std::optional<torrent::SwarmResult> result;
  QFuture<void> future;
};

// The jobs of one window, and the threads they run on (not the global pool, whose threads the
// archive checks need while a swarm job runs for minutes).
class SwarmJobs : public QObject {
 public:
  explicit SwarmJobs(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("swarmJobs"));
    pool.setMaxThreadCount(8);
  }
  ~SwarmJobs() override { StopAll(); }
  void StopAll() {
    for (auto& [id, job] : jobs) job->stop = true;
    pool.waitForDone(15000);
  }
  QThreadPool pool;
  std::map<int, std::shared_ptr<SwarmJob>> jobs;
};

SwarmJobs& JobsOf(MainWindow& w) {
  auto* jobs = w.findChild<SwarmJobs*>(QStringLiteral("swarmJobs"), Qt::FindDirectChildrenOnly);
  return jobs ? *jobs : *new SwarmJobs(&w);
}

void Start(MainWindow& w, const session::ListedDownload& d) {
  auto job = std::make_shared<SwarmJob>();
  torrent::SwarmOptions options;
  options.folder = d.folder;
  const auto& limit = w.下载列表窗口;
  options.maxDownloadRate = int(std::min<long long>(limit->数值框_限速->value() * 1024LL, INT32_MAX));
  const std::string torrentPath = d.folder + "/" + d.torrentFile;
  job->future = QtConcurrent::run(&JobsOf(w).pool, [job, options, torrentPath] {
    torrent::SwarmResult r{torrent::SwarmEnd::kFailed, "种子文件无法读取：" + torrentPath};
    const std::optional<std::string> bytes = torrent::ReadTorrentFile(torrentPath);
    if (bytes) {
      r = torrent::DownloadContent(
          *bytes, options,
          [&job](const torrent::SwarmStatus& s) {
            std::lock_guard lock(job->mutex);
            job->status = s;
          },
          [&job] { return job->stop.load(); });
      if (job->discard && r.end != torrent::SwarmEnd::kComplete) torrent::DiscardContent(*bytes, options.folder);
    }
    std::lock_guard lock(job->mutex);
    job->result = r;
  });
  JobsOf(w).jobs[d.id] = job;
  w.state.session.list.SwarmProgress(d.id, d.done, d.total, 0, 0, 0);
}

}  // namespace

bool ContinueThroughSwarm(MainWindow& w, int id) {
  session::DownloadList& list = w.state.session.list;
  const session::ListedDownload* d = list.Find(id);
  if (!d || d->swarm || d->state != session::ListState::kCompleted) return false;
  const std::optional<std::string> bytes = torrent::ReadTorrentFile(d->folder + "/" + d->name);
  const std::optional<std::string> content = bytes ? torrent::ContentName(*bytes) : std::nullopt;
  if (!content || content->empty() || content->find('/') != std::string::npos || *content == "." || *content == "..") {
    w.下载列表窗口->标签_提示->setText(QStringLiteral("不是可用的种子文件：") + QString::fromStdString(d->name));
    return false;
  }
  list.AddSwarm(d->url, d->folder, d->name, *content);
  return true;
}

void FollowSwarms(MainWindow& w) {
  session::DownloadList& list = w.state.session.list;
  SwarmJobs& jobs = JobsOf(w);
  for (auto it = jobs.jobs.begin(); it != jobs.jobs.end();) {
    const int id = it->first;
    SwarmJob& job = *it->second;
    std::unique_lock lock(job.mutex);
    if (!job.result) {
      const torrent::SwarmStatus s = job.status;
      lock.unlock();
      if (s.total > 0)
        list.SwarmProgress(id, std::int64_t(double(s.progress) * double(s.total)), s.total, s.downloadRate, s.peers,
                           s.seeds);
      ++it;
      continue;
    }
    const torrent::SwarmResult r = *job.result;
    lock.unlock();
    list.SwarmEnded(id,
                    r.end == torrent::SwarmEnd::kComplete      ? session::ListState::kCompleted
                    : r.end == torrent::SwarmEnd::kInterrupted ? session::ListState::kPaused
                                                               : session::ListState::kFailed,
                    r.failure);
    it = jobs.jobs.erase(it);
  }
  for (const session::ListedDownload& d : list.rows())
    if (d.swarm && d.state == session::ListState::kWaiting && !jobs.jobs.count(d.id)) Start(w, d);
}

void StopSwarm(MainWindow& w, int id, bool discard) {
  SwarmJobs& jobs = JobsOf(w);
  auto it = jobs.jobs.find(id);
  if (it == jobs.jobs.end()) {
    if (!discard) return;
    // No job runs: the torrent tells which files are unfinished.
    const session::ListedDownload* d = w.state.session.list.Find(id);
    if (!d || !d->swarm) return;
    if (auto bytes = torrent::ReadTorrentFile(d->folder + "/" + d->torrentFile))
      torrent::DiscardContent(*bytes, d->folder);
    return;
  }
  it->second->discard = discard;
  it->second->stop = true;
  if (discard) {
    it->second->future.waitForFinished();  // its files go before its row
    jobs.jobs.erase(it);
  }
}

void StopAllSwarms(MainWindow& w) { JobsOf(w).StopAll(); }

}  // namespace ui
