#include "downloadlist.h"

#include <algorithm>
#include <string_view>
#include <thread>
#include <utility>

#include "dlcore.h"
#include "downloadlistfile.h"
#include "failurewords.h"
#include "progressfigures.h"
#include "utf8.h"

namespace session {

std::string StateWords(const ListedDownload& d) {
  switch (d.state) {
    case ListState::kWaiting: return "等待";
    case ListState::kRunning: return "下载中";
    case ListState::kPaused: return "已暂停";
    case ListState::kFailed: {
      std::string why = d.failure.empty() ? records::FailureText(d.failCode) : d.failure;
      if (why.starts_with("下载失败：")) why.erase(0, std::string_view("下载失败：").size());
      return "失败：" + why;
    }
    case ListState::kCompleted: break;
  }
  switch (d.verdict) {
    case CheckVerdict::kChecking: return "完成，正在校验...";
    case CheckVerdict::kPassed: return "完成，校验通过";
    case CheckVerdict::kFailed: return "完成，" + d.verdictText;
    case CheckVerdict::kNone: break;
  }
  return "完成";
}

void DownloadList::Restore(std::vector<ListedDownload> rows, bool resumeAtStart) {
  rows_ = std::move(rows);
  for (ListedDownload& d : rows_) {
    d.task = nullptr;
    d.speed = 0;
    if (d.state == ListState::kRunning || d.state == ListState::kWaiting)
      d.state = resumeAtStart ? ListState::kWaiting : ListState::kPaused;
    nextId_ = std::max(nextId_, d.id + 1);
  }
  changed_ = false;  // the file stays as it is (with any line it left out) until the list changes
}

const ListedDownload* DownloadList::Find(int id) const {
  auto it = std::find_if(rows_.begin(), rows_.end(), [id](const ListedDownload& d) { return d.id == id; });
  return it == rows_.end() ? nullptr : &*it;
}

const ListedDownload* DownloadList::FindTask(void* task) const {
  auto it =
      std::find_if(rows_.begin(), rows_.end(), [task](const ListedDownload& d) { return task && d.task == task; });
  return it == rows_.end() ? nullptr : &*it;
}

ListedDownload* DownloadList::Row(int id) { return const_cast<ListedDownload*>(Find(id)); }

int DownloadList::Add(void* task, const std::string& url, const std::string& folder, const std::string& name) {
  // The same file again (a resume from the main window) keeps its row; a running row of it
  // keeps its task, as the engine refuses a second one on the same file.
  auto same = std::find_if(rows_.begin(), rows_.end(),
                           [&](const ListedDownload& d) { return d.folder == folder && d.name == name; });
  if (same != rows_.end() && same->task && same->state == ListState::kRunning) same = rows_.end();
  if (same == rows_.end()) {
    MakeRoom();
    rows_.push_back({});
    same = rows_.end() - 1;
    same->id = nextId_++;
  }
  ListedDownload& d = *same;
  d.task = task;
  d.url = url;
  d.folder = folder;
  d.name = name;
  d.state = ListState::kRunning;
  d.failCode = 0;
  d.failure.clear();
  d.verdict = CheckVerdict::kNone;
  d.verdictText.clear();
  changed_ = true;
  return d.id;
}

int DownloadList::Queue(const std::string& url, const std::string& folder, const std::string& name) {
  auto same = std::find_if(rows_.begin(), rows_.end(),
                           [&](const ListedDownload& d) { return !d.swarm && d.folder == folder && d.name == name; });
  if (same == rows_.end()) {
    MakeRoom();
    ListedDownload d;
    d.id = nextId_++;
    d.folder = folder;
    d.name = name;
    rows_.push_back(std::move(d));
    same = rows_.end() - 1;
  }
  if (same->state != ListState::kRunning) {
    if (same->task) engine_.deleteTask(same->task);  // a new task from the same files
    same->task = nullptr;
    same->url = url;
    same->state = ListState::kWaiting;
    same->failCode = 0;
    same->failure.clear();
  }
  changed_ = true;
  return same->id;
}

void DownloadList::SetTorrentLink(void* task, const std::string& torrentLink) {
  if (auto* d = const_cast<ListedDownload*>(FindTask(task))) {
    d->torrentLink = torrentLink;
    changed_ = true;
  }
}

void DownloadList::SetVerdict(int id, CheckVerdict verdict, const std::string& text) {
  if (ListedDownload* d = Row(id)) {
    d->verdict = verdict;
    d->verdictText = text;
    changed_ = true;
  }
}

void DownloadList::Forget(void* task) {
  const auto before = rows_.size();
  std::erase_if(rows_, [task](const ListedDownload& d) { return task && d.task == task; });
  changed_ = changed_ || rows_.size() != before;
}

int DownloadList::AddSwarm(const std::string& torrentUrl, const std::string& folder, const std::string& torrentFile,
                           const std::string& contentName) {
  for (const ListedDownload& d : rows_)  // the same content again: its row
    if (d.swarm && d.folder == folder && d.name == contentName) return d.id;
  // The row is made apart and only then added: the texts may be another row's own (the
  // torrent's row), which adding a row can move.
  MakeRoom();
  ListedDownload d;
  d.id = nextId_++;
  d.swarm = true;
  d.url = d.torrentLink = torrentUrl;
  d.folder = folder;
  d.name = contentName;
  d.torrentFile = torrentFile;
  rows_.push_back(std::move(d));
  changed_ = true;
  return rows_.back().id;
}

void DownloadList::SwarmProgress(int id, std::int64_t done, std::int64_t total, int speed, int peers, int seeds) {
  ListedDownload* d = Row(id);
  if (!d || !d->swarm) return;
  changed_ = changed_ || d->state != ListState::kRunning;
  d->state = ListState::kRunning;
  d->done = done, d->total = total, d->speed = speed, d->peers = peers, d->seeds = seeds;
}

void DownloadList::SwarmEnded(int id, ListState state, const std::string& failure) {
  ListedDownload* d = Row(id);
  if (!d || !d->swarm) return;
  d->state = state;
  d->failure = failure;
  d->speed = d->peers = d->seeds = 0;
  if (state == ListState::kCompleted) d->done = d->total;
  changed_ = true;
}

bool DownloadList::Pause(int id) {
  ListedDownload* d = Row(id);
  if (!d || (d->state != ListState::kRunning && d->state != ListState::kWaiting)) return false;
  if (d->task) engine_.stopTask(d->task);
  d->state = ListState::kPaused;
  d->speed = 0;
  changed_ = true;
  return true;
}

bool DownloadList::Resume(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kPaused) return false;
  d->state = ListState::kWaiting;
  changed_ = true;
  return true;
}

bool DownloadList::Retry(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kFailed) return false;
  if (d->task) engine_.deleteTask(d->task);
  d->task = nullptr;
  d->state = ListState::kWaiting;
  d->failCode = 0;
  d->failure.clear();
  changed_ = true;
  return true;
}

bool DownloadList::Cancel(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state == ListState::kCompleted) return false;
  if (d->task) {
    engine_.stopTask(d->task);
    engine_.deleteTask(d->task);
  }
  // A swarm row's temporary files are its swarm job's to delete.
  const std::string block = records::TempFileBlock(common::Utf8ToUtf16(d->folder), common::Utf8ToUtf16(d->name));
  if (!d->swarm && !block.empty()) engine_.delTempFile(block.data());
  Erase(d);
  return true;
}

bool DownloadList::Remove(int id) {
  ListedDownload* d = Row(id);
  if (!d) return false;
  if (d->state == ListState::kRunning && (d->task || d->swarm)) return false;  // pause or cancel it first
  Erase(d);
  return true;
}

void DownloadList::Erase(const ListedDownload* d) {
  rows_.erase(rows_.begin() + (d - rows_.data()));
  changed_ = true;
}

void DownloadList::MakeRoom() {
  // The list is bounded; what goes is the oldest row that has ended, else the oldest without
  // a task: a running download keeps its row, so it can still be paused or cancelled.
  if (rows_.size() < kMaxListedDownloads) return;
  auto gone = std::find_if(rows_.begin(), rows_.end(), [](const ListedDownload& d) {
    return d.state == ListState::kCompleted || d.state == ListState::kFailed;
  });
  if (gone == rows_.end())
    gone = std::find_if(rows_.begin(), rows_.end(), [](const ListedDownload& d) { return !d.task && !d.swarm; });
  rows_.erase(gone == rows_.end() ? rows_.begin() : gone);
  changed_ = true;
}

int DownloadList::Running() const {
  return int(std::count_if(rows_.begin(), rows_.end(), [](auto& d) { return d.state == ListState::kRunning; }));
}

bool DownloadList::StartTask(ListedDownload& d) {
  if (!d.task) {
    records::TaskCreateParams record;
    if (!record.BuildUtf16(common::Utf8ToUtf16(d.url), common::Utf8ToUtf16(d.name), common::Utf8ToUtf16(d.folder),
                           false, /*disableAutoRename=*/true, /*isResume=*/true))
      return false;
    d.task = engine_.createTask(record.Address());
    if (!d.task) return false;
  }
  engine_.startTask(d.task);
  d.state = ListState::kRunning;
  changed_ = true;
  return true;
}

void DownloadList::Follow(ListedDownload& d, std::vector<ListEvent>& ended) {
  if (!d.task || !engine_.queryTaskInfoEx(d.task, progress_.Address())) return;
  d.speed = progress_.nSpeed();
  if (progress_.nTotalSize() > 0) d.total = progress_.nTotalSize();
  d.done = progress_.nTotalDownload();
  const int stat = progress_.stat();
  const ListState before = d.state;
  if (stat == DL_STATE_COMPLETE) {
    d.state = ListState::kCompleted;
    d.done = d.total;
    d.speed = 0;
  } else if (stat == DL_STATE_CANCELLED && progress_.fail_code() != 0) {
    d.state = ListState::kFailed;
    d.failCode = progress_.fail_code();
    d.speed = 0;
  } else if (stat == DL_STATE_STOPPED && d.state == ListState::kRunning) {
    d.state = ListState::kPaused;  // stopped by another hand (the command line's pause, the engine's end)
  }
  changed_ = changed_ || d.state != before;
  if (d.state != before && (d.state == ListState::kCompleted || d.state == ListState::kFailed))
    ended.push_back({d.id, d.state, d.name, d.folder, d.state == ListState::kFailed ? StateWords(d) : ""});
}

std::vector<ListEvent> DownloadList::Refresh() {
  std::vector<ListEvent> ended;
  for (ListedDownload& d : rows_)
    if (d.state == ListState::kRunning) Follow(d, ended);
  return ended;
}

std::vector<ListEvent> DownloadList::Tick() {
  std::vector<ListEvent> ended = Refresh();
  for (ListedDownload& d : rows_) {
    if (d.swarm || d.state != ListState::kWaiting || Running() >= maxRunning) continue;
    if (!StartTask(d)) {
      d.state = ListState::kFailed;
      d.failure = "地址、文件名或保存目录过长";
      ended.push_back({d.id, d.state, d.name, d.folder, StateWords(d)});
    }
  }
  return ended;
}

std::vector<ListEvent> DownloadList::PauseAll(std::chrono::milliseconds wait) {
  std::vector<ListedDownload*> stopping;
  for (ListedDownload& d : rows_)
    if (d.state == ListState::kRunning && d.task && !d.swarm) stopping.push_back(&d);
  for (ListedDownload* d : stopping) engine_.stopTask(d->task);
  std::vector<ListEvent> ended;
  const auto end = std::chrono::steady_clock::now() + wait;
  for (ListedDownload* d : stopping) {
    while (engine_.queryTaskInfoEx(d->task, progress_.Address()) && progress_.stat() == DL_STATE_STOPPING &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Follow(*d, ended);
    if (d->state == ListState::kRunning) d->state = ListState::kPaused;
    d->speed = 0;
  }
  changed_ = changed_ || !stopping.empty();
  return ended;
}

void DownloadList::LetGoOfTasks() {
  for (ListedDownload& d : rows_) d.task = nullptr, d.speed = 0;
}

bool DownloadList::TakeChanged() { return std::exchange(changed_, false); }

}  // namespace session
