#include "downloadlist.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>

#include "downloadlistfile.h"
#include "jobs.h"
#include "pathtext.h"
#include "recordlayout.h"
#include "safename.h"
#include "utf8.h"
#include "words.h"

namespace session {

namespace {

// The longest texts the creation record holds, in UTF-16 units.
constexpr size_t kMaxAddressUnits = records::createparams::kUrlBytes / 2 - 1;
constexpr size_t kMaxPathUnits = records::createparams::kPathBytes / 2 - 1;

std::optional<std::string> TooLong(const common::DownloadOrder& order) {
  const std::u16string url = common::Utf8ToUtf16(order.address()), name = common::Utf8ToUtf16(order.name),
                       folder = common::Utf8ToUtf16(order.folder);
  if (url.size() <= kMaxAddressUnits && name.size() <= kMaxPathUnits && folder.size() <= kMaxPathUnits)
    return std::nullopt;
  return TooLongText(url, name, folder);
}

}  // namespace

std::string TooLongText(std::u16string_view url, std::u16string_view name, std::u16string_view folder) {
  if (url.size() > kMaxAddressUnits) return "下载地址过长（最多 " + std::to_string(kMaxAddressUnits) + " 个字符）";
  if (name.size() > kMaxPathUnits)
    return "文件名过长（最多 " + std::to_string(kMaxPathUnits) + " 个字符），请改短后再试";
  if (folder.size() > kMaxPathUnits)
    return "保存目录过长（最多 " + std::to_string(kMaxPathUnits) + " 个字符），请选择较短的目录";
  return "下载地址、文件名或保存目录无效";
}

bool IsCompleteFile(const std::string& folder, const std::string& name) {
  if (folder.empty() || !common::IsSafeFileName(name)) return false;
  std::error_code ec;
  const std::filesystem::path target = common::PathOf(folder) / common::PathOf(name);
  return std::filesystem::is_regular_file(target, ec) &&
         !std::filesystem::exists(common::PathOf(folder) / common::PathOf(name + ".part"), ec);
}

std::string FailureWords(const ListedDownload& d) {
  if (d.state != ListState::kFailed) return {};
  std::string why = d.failure.empty() ? records::FailureText(d.failCode) : d.failure;
  if (why.starts_with("下载失败：")) why.erase(0, std::string_view("下载失败：").size());
  return why;
}

std::string StateWords(const ListedDownload& d) {
  std::string word = records::StateWord(d.state);
  if (d.state == ListState::kFailed) return word + "：" + FailureWords(d);
  if (d.state != ListState::kCompleted) return word;
  if (d.alreadyThere) word.append("（").append(records::kAlreadyThere).append("）");
  switch (d.verdict) {
    case CheckVerdict::kChecking:  // a repair says how far it got
      return word + "，" + (d.verdictText.empty() ? records::VerdictWord(d.verdict) : d.verdictText);
    case CheckVerdict::kPassed: return word + "，" + records::VerdictWord(d.verdict);
    case CheckVerdict::kFailed: return word + "，" + d.verdictText;
    case CheckVerdict::kNone: break;
  }
  return word;
}

DownloadList::DownloadList(EngineCalls engineCalls, JobCalls jobs)
    : engine(std::move(engineCalls)), jobCalls(std::move(jobs)), jobs_(std::make_unique<Jobs>()) {
  progress_.Build();
}

DownloadList::~DownloadList() = default;

void DownloadList::StartEngine() {
  for (int i = 0; i < 3; ++i) engine.init();
}

void DownloadList::StopEngine() {
  // Every running download stops with its resume data; its row stays running in the file, so
  // that it goes on at the next start. The engine's end would stop them too; this says so.
  for (ListedDownload& d : rows_)
    if (d.task && d.state == ListState::kRunning) engine.stopTask(d.task);
  jobs_->StopAll(std::chrono::seconds(15));
  for (ListedDownload& d : rows_) d.task = nullptr, d.speed = 0;
  gone_.clear();
  for (int i = 0; i < 2; ++i) engine.uninit();
}

void DownloadList::Release() {
  createParams_.Release();
  progress_.Release();
}

void DownloadList::Restore(std::vector<ListedDownload> rows, bool resumeAtStart) {
  rows_ = std::move(rows);
  for (ListedDownload& d : rows_) {
    d.task = nullptr;
    d.speed = 0;
    if (d.state == ListState::kRunning || d.state == ListState::kWaiting)
      d.state = resumeAtStart ? ListState::kWaiting : ListState::kPaused;
    if (d.verdict == CheckVerdict::kChecking) {  // the program ended during a check or repair: no verdict
      d.verdict = CheckVerdict::kNone;
      d.verdictText.clear();
    }
    nextId_ = std::max(nextId_, d.id + 1);
  }
  changed_ = false;  // the file stays as it is until the list changes
}

const ListedDownload* DownloadList::Find(int id) const {
  auto it = std::find_if(rows_.begin(), rows_.end(), [id](const ListedDownload& d) { return d.id == id; });
  return it == rows_.end() ? nullptr : &*it;
}

ListedDownload* DownloadList::Row(int id) { return const_cast<ListedDownload*>(Find(id)); }

ListedDownload& DownloadList::RowFor(const common::DownloadOrder& order) {
  const bool swarm = order.kind == common::DownloadKind::kContent;
  auto same = std::find_if(rows_.begin(), rows_.end(), [&](const ListedDownload& d) {
    return d.Swarm() == swarm && d.order.folder == order.folder && d.order.name == order.name;
  });
  if (same != rows_.end()) return *same;
  MakeRoom();
  ListedDownload d;
  d.id = nextId_++;
  d.order = order;
  rows_.push_back(std::move(d));
  changed_ = true;
  return rows_.back();
}

void DownloadList::Reset(ListedDownload& d, ListState state) {
  d.state = state;
  d.failCode = 0;
  d.failure.clear();
  d.verdict = CheckVerdict::kNone;
  d.verdictText.clear();
  d.alreadyThere = false;
  d.note.clear();
  d.speed = 0;
  changed_ = true;
}

StartResult DownloadList::Start(common::DownloadOrder order, WhenThere whenThere) {
  if (auto why = TooLong(order)) return {StartResult::Outcome::kRefused, 0, "下载失败：" + *why};
  const bool there = order.kind != common::DownloadKind::kContent && IsCompleteFile(order.folder, order.name);
  if (there && whenThere == WhenThere::kAsk) return {StartResult::Outcome::kAlreadyThere, 0, {}};
  ListedDownload& d = RowFor(order);
  if (there && whenThere == WhenThere::kKeep) return Keep(d, std::move(order));
  currentTask = d.id;
  if (d.state == ListState::kRunning && (d.task || jobs_->Runs(d.id)))  // the same file runs already
    return {StartResult::Outcome::kStarted, d.id, {}};
  if (d.task) engine.deleteTask(d.task);  // a new task from the same files
  d.task = nullptr;
  d.order = std::move(order);
  d.source = 0;
  if (d.state == ListState::kCompleted) d.done = d.total = 0;  // fetched again: nothing of it counts yet
  Reset(d, ListState::kWaiting);
  if (Running() >= maxRunning) return {StartResult::Outcome::kStarted, d.id, {}};
  if (std::optional<std::string> failure = StartTask(d)) {
    d.state = ListState::kFailed;
    d.failure = *failure;
    return {StartResult::Outcome::kRefused, d.id, "下载失败：" + *failure};
  }
  return {StartResult::Outcome::kStarted, d.id, {}};
}

StartResult DownloadList::Keep(ListedDownload& d, common::DownloadOrder order) {
  // The display keeps following what it followed: nothing starts.
  if (d.state == ListState::kCompleted) return {StartResult::Outcome::kKept, d.id, {}};  // ours: as it was
  if (d.state == ListState::kRunning && (d.task || jobs_->Runs(d.id))) return {StartResult::Outcome::kKept, d.id, {}};
  if (d.task) engine.deleteTask(d.task);
  d.task = nullptr;
  d.order = std::move(order);
  Reset(d, ListState::kCompleted);
  d.alreadyThere = true;
  std::error_code ec;
  d.total = d.done =
      std::int64_t(std::filesystem::file_size(common::PathOf(d.order.folder) / common::PathOf(d.order.name), ec));
  if (jobCalls.check) Check(d.id);  // a release archive found there is checked against its torrent
  return {StartResult::Outcome::kKept, d.id, {}};
}

std::optional<std::string> DownloadList::StartTask(ListedDownload& d) {
  if (d.Swarm()) {
    jobs_->StartSwarm(d.id, jobCalls, d.order.folder + "/" + d.order.torrent, d.order.folder);
  } else {
    if (!d.task) {
      // The row's creation record: one per task, from the row's own order. The download
      // servers' packages are archives: a web page in place of one is a captive portal's.
      const bool package = d.order.kind != common::DownloadKind::kFile;
      if (!createParams_.BuildUtf16(common::Utf8ToUtf16(d.url()), common::Utf8ToUtf16(d.order.name),
                                    common::Utf8ToUtf16(d.order.folder), /*isOnlyOriginal=*/package,
                                    /*disableAutoRename=*/true, /*isResume=*/true))
        return TooLongText(common::Utf8ToUtf16(d.url()), common::Utf8ToUtf16(d.order.name),
                           common::Utf8ToUtf16(d.order.folder));
      d.task = engine.createTask(createParams_.Address());
      if (!d.task) return std::string("下载引擎未接受这个下载");
    }
    engine.startTask(d.task);
  }
  d.state = ListState::kRunning;
  d.stat = 0;
  changed_ = true;
  return std::nullopt;
}

bool DownloadList::ContinueThroughSwarm(int id) {
  ListedDownload* t = Row(id);
  if (!t || t->Swarm() || t->state != ListState::kCompleted || !t->order.IsTorrent()) return false;
  const std::optional<std::string> content =
      jobCalls.contentName ? jobCalls.contentName(t->order.folder + "/" + t->order.name) : std::nullopt;
  // A swarm row's content name comes from a torrent: one safe name inside the folder.
  if (!content || !common::IsSafeFileName(*content)) {
    SetNote(id, "不是可用的种子文件：" + t->order.name);
    return false;
  }
  // The content's order is made apart: adding its row can move the torrent's.
  common::DownloadOrder order;
  order.sources = t->order.sources;
  order.folder = t->order.folder;
  order.name = *content;
  order.kind = common::DownloadKind::kContent;
  order.torrent = t->order.name;
  ListedDownload& d = RowFor(order);
  if (d.state == ListState::kRunning) return true;  // the same content runs already
  d.order = std::move(order);
  Reset(d, ListState::kWaiting);  // again after it was deleted, too
  return true;
}

void DownloadList::Check(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kCompleted || d->order.torrent.empty() || d->Swarm() ||
      d->verdict == CheckVerdict::kChecking)
    return;
  d->verdict = CheckVerdict::kChecking;
  d->verdictText.clear();
  changed_ = true;
  jobs_->StartCheck(id, jobCalls, d->order.folder + "/" + d->order.name, d->order.torrent);
}

void DownloadList::Repair(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kCompleted || d->order.torrent.empty() || d->Swarm() ||
      d->verdict != CheckVerdict::kFailed || d->order.address().empty())
    return;
  d->verdict = CheckVerdict::kChecking;
  d->verdictText = "修复中";
  changed_ = true;
  jobs_->StartRepair(id, jobCalls, d->order.folder + "/" + d->order.name, d->order.torrent, d->order.address());
}

bool DownloadList::Pause(int id) {
  ListedDownload* d = Row(id);
  if (!d || (d->state != ListState::kRunning && d->state != ListState::kWaiting)) return false;
  if (d->task) engine.stopTask(d->task);
  if (d->Swarm()) jobs_->StopSwarm(id, /*discard=*/false);
  d->state = ListState::kPaused;
  d->speed = 0;
  changed_ = true;
  return true;
}

bool DownloadList::Resume(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kPaused || jobs_->Runs(id)) return false;  // a swarm job still stopping
  Reset(*d, ListState::kWaiting);
  return true;
}

bool DownloadList::Retry(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state != ListState::kFailed) return false;
  if (d->task) engine.deleteTask(d->task);
  d->task = nullptr;
  d->source = 0;
  Reset(*d, ListState::kWaiting);
  return true;
}

bool DownloadList::Cancel(int id) {
  ListedDownload* d = Row(id);
  if (!d || d->state == ListState::kCompleted) return false;
  if (d->Swarm()) {
    // Its job deletes what is unfinished once it has stopped; without a job, the torrent says.
    if (!jobs_->StopSwarm(id, /*discard=*/true) && jobCalls.discardContent)
      jobCalls.discardContent(d->order.folder + "/" + d->order.torrent, d->order.folder);
  } else {
    if (d->task) {
      engine.stopTask(d->task);
      engine.deleteTask(d->task);
      gone_.emplace_back(id, d->task);  // what the engine answers for it is still told
    }
    DeleteTempFiles(d->order.folder, d->order.name);
  }
  Erase(d);
  return true;
}

bool DownloadList::Remove(int id) {
  ListedDownload* d = Row(id);
  if (!d) return false;
  if (d->state == ListState::kRunning && (d->task || d->Swarm())) return false;  // pause or cancel it first
  if (d->task) engine.deleteTask(d->task);
  Erase(d);
  return true;
}

void DownloadList::SetNote(int id, const std::string& note) {
  if (ListedDownload* d = Row(id)) d->note = note;
}

bool DownloadList::DeleteTempFiles(const std::string& folder, const std::string& name) {
  const std::string block = records::TempFileBlock(common::Utf8ToUtf16(folder), common::Utf8ToUtf16(name));
  if (block.empty()) return false;
  engine.delTempFile(block.data());
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
    gone = std::find_if(rows_.begin(), rows_.end(), [](const ListedDownload& d) { return !d.task && !d.Swarm(); });
  rows_.erase(gone == rows_.end() ? rows_.begin() : gone);
  changed_ = true;
}

int DownloadList::Running() const {
  return int(std::count_if(rows_.begin(), rows_.end(), [](auto& d) { return d.state == ListState::kRunning; }));
}

void DownloadList::SetLimit(std::int64_t bytesPerSecond) {
  if (engine.setDownloadLimit) engine.setDownloadLimit(bytesPerSecond);
  jobs_->SetLimit(bytesPerSecond);
}

}  // namespace session
