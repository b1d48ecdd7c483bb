// The download list's tick: what the engine and the jobs say of each row, turned into the rows'
// states and into the one stream of events its readers follow.
#include <algorithm>
#include <thread>

#include "dlcore.h"
#include "downloadlist.h"
#include "jobs.h"
#include "recordcodec.h"

namespace session {

namespace {

DownloadEvent Event(DownloadEvent::Kind kind, int id, ListState state, std::string words = {}) {
  DownloadEvent e;
  e.kind = kind;
  e.id = id;
  e.state = state;
  e.words = std::move(words);
  return e;
}

DownloadEvent ProgressEvent(int id, Answer answer) {
  DownloadEvent e = Event(DownloadEvent::Kind::kProgress, id, ListState::kRunning);
  e.answer = std::move(answer);
  return e;
}

Answer AnswerOf(records::TaskProgressInfo& p) {
  Answer a;
  a.stat = p.stat();
  a.failCode = p.fail_code();
  a.name = records::FieldUnits(p.record().ReadField("szFilename"));
  a.speed = p.nSpeed();
  a.done = p.nTotalDownload();
  a.total = p.nTotalSize();
  a.percent = p.fPercent();
  return a;
}

bool Ends(ListState s) { return s == ListState::kCompleted || s == ListState::kFailed; }

}  // namespace

void DownloadList::Follow(ListedDownload& d, std::vector<DownloadEvent>& events) {
  if (!d.task || !engine.queryTaskInfoEx(d.task, progress_.Address())) return;
  const Answer a = AnswerOf(progress_);
  events.push_back(ProgressEvent(d.id, a));
  d.stat = a.stat;
  d.speed = a.speed;
  if (a.total > 0) d.total = a.total;
  figuresChanged_ = figuresChanged_ || d.done != a.done;
  d.done = a.done;
  const ListState before = d.state;
  if (a.stat == DL_STATE_COMPLETE) {
    d.state = ListState::kCompleted;
    d.done = d.total;
    d.speed = 0;
  } else if (a.stat == DL_STATE_CANCELLED && a.failCode != 0) {
    if (NextSource(d)) return;  // the same file from its next source: it goes on from there
    d.state = ListState::kFailed;
    d.failCode = a.failCode;
    d.speed = 0;
  } else if (a.stat == DL_STATE_STOPPED && d.state == ListState::kRunning) {
    d.state = ListState::kPaused;  // stopped by another hand (the command line's pause, the engine's end)
  }
  if (d.state == before) return;
  changed_ = true;
  if (Ends(d.state)) events.push_back(Event(DownloadEvent::Kind::kEnded, d.id, d.state, FailureWords(d)));
}

bool DownloadList::NextSource(ListedDownload& d) {
  if (d.source + 1 >= d.order.sources.size() || !records::AnotherServerMayHelp(progress_.fail_code())) return false;
  engine.deleteTask(d.task);
  d.task = nullptr;
  ++d.source;
  // Its saved state is the file's, whatever server the bytes come from: the new task resumes.
  if (StartTask(d)) return false;
  return true;
}

void DownloadList::FollowGone(std::vector<DownloadEvent>& events) {
  // The display of a cancelled download shows what the engine answers for its deleted task.
  for (const auto& [id, task] : gone_)
    if (engine.queryTaskInfoEx(task, progress_.Address())) events.push_back(ProgressEvent(id, AnswerOf(progress_)));
  gone_.clear();
}

void DownloadList::FollowJobs(std::vector<DownloadEvent>& events) {
  for (const JobReport& r : jobs_->Collect()) {
    ListedDownload* d = Row(r.id);
    if (!d) continue;
    if (r.checkStage && !r.checkEnd) {
      d->verdictText = *r.checkStage;
      figuresChanged_ = true;
      continue;
    }
    if (r.checkEnd) {
      d->verdict = r.checkEnd->passed ? CheckVerdict::kPassed : CheckVerdict::kFailed;
      d->verdictText = r.checkEnd->words;
      d->checkDetail = r.checkEnd->detail;
      changed_ = true;
      events.push_back(Event(DownloadEvent::Kind::kVerdict, d->id, d->state, r.checkEnd->words));
      continue;
    }
    if (r.figures && d->state == ListState::kRunning) {
      d->done = r.figures->done, d->total = r.figures->total, d->speed = r.figures->speed;
      d->peers = r.figures->peers, d->seeds = r.figures->seeds;
      figuresChanged_ = true;
    }
    if (!r.swarmEnd || d->state != ListState::kRunning) continue;  // a paused row's job ended as asked
    using End = SwarmOutcome::End;
    d->state = r.swarmEnd->end == End::kComplete      ? ListState::kCompleted
               : r.swarmEnd->end == End::kInterrupted ? ListState::kPaused
                                                      : ListState::kFailed;
    d->failure = r.swarmEnd->failure;
    d->speed = d->peers = d->seeds = 0;
    if (d->state == ListState::kCompleted) d->done = d->total;
    changed_ = true;
    if (Ends(d->state)) events.push_back(Event(DownloadEvent::Kind::kEnded, d->id, d->state, FailureWords(*d)));
  }
}

void DownloadList::StartWaiting(std::vector<DownloadEvent>& events) {
  for (ListedDownload& d : rows_) {
    if (d.state != ListState::kWaiting || Running() >= maxRunning) continue;
    if (std::optional<std::string> failure = StartTask(d)) {
      d.state = ListState::kFailed;
      d.failure = *failure;
      events.push_back(Event(DownloadEvent::Kind::kEnded, d.id, d.state, FailureWords(d)));
    }
  }
}

std::vector<DownloadEvent> DownloadList::Tick() {
  std::vector<DownloadEvent> events;
  FollowGone(events);
  // A paused row is followed until the engine says it has stopped: its last figures count. The
  // current one is asked every tick, whatever it answered last: the display shows each answer.
  for (ListedDownload& d : rows_)
    if (d.state == ListState::kRunning || (d.state == ListState::kPaused && d.stat != DL_STATE_STOPPED) ||
        d.id == currentTask)
      Follow(d, events);
  FollowJobs(events);
  StartWaiting(events);
  // What follows a completion may add rows: it comes after the walk over them.
  for (const DownloadEvent& e : std::vector<DownloadEvent>(events)) {
    const ListedDownload* d = e.kind == DownloadEvent::Kind::kEnded ? Find(e.id) : nullptr;
    if (!d || d->state != ListState::kCompleted) continue;
    if (d->order.IsArchive() && !d->order.torrent.empty() && jobCalls.check) Check(e.id);
    if (d->order.IsTorrent() && swarmAfterTorrent) ContinueThroughSwarm(e.id);
  }
  return events;
}

bool DownloadList::FollowNext() {
  for (auto d = rows_.rbegin(); d != rows_.rend(); ++d) {
    if (d->Swarm() || (d->state != ListState::kRunning && d->state != ListState::kWaiting)) continue;
    currentTask = d->id;
    return true;
  }
  return false;
}

std::vector<DownloadEvent> DownloadList::PauseAll(std::chrono::milliseconds wait) {
  std::vector<ListedDownload*> stopping;
  for (ListedDownload& d : rows_)
    if (d.state == ListState::kRunning && d.task) stopping.push_back(&d);
  for (ListedDownload* d : stopping) engine.stopTask(d->task);
  std::vector<DownloadEvent> events;
  const auto end = std::chrono::steady_clock::now() + wait;
  for (ListedDownload* d : stopping) {
    while (engine.queryTaskInfoEx(d->task, progress_.Address()) && progress_.stat() == DL_STATE_STOPPING &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Follow(*d, events);
    if (d->state == ListState::kRunning) d->state = ListState::kPaused;
    d->speed = 0;
  }
  for (ListedDownload& d : rows_)
    if (d.Swarm() && d.state == ListState::kRunning && jobs_->StopSwarm(d.id, false)) d.state = ListState::kPaused;
  changed_ = changed_ || !stopping.empty();
  return events;
}

RunningTotals TotalsOf(const std::vector<ListedDownload>& rows) {
  RunningTotals t;
  for (const ListedDownload& d : rows) {
    if (d.state != ListState::kRunning) continue;
    ++t.running;
    t.speed += d.speed;
    if (d.total <= 0) continue;
    t.done += std::min(d.done, d.total);
    t.total += d.total;
  }
  return t;
}

bool DownloadList::TakeChanged(std::chrono::seconds figuresEvery) {
  const auto now = std::chrono::steady_clock::now();
  const bool figuresDue = figuresChanged_ && now - figuresSaved_ >= figuresEvery;
  if (!changed_ && !figuresDue) return false;
  changed_ = figuresChanged_ = false;
  figuresSaved_ = now;
  return true;
}

}  // namespace session
