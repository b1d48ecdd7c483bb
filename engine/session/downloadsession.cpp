#include "downloadsession.h"

#include <algorithm>

#include "dlcore.h"
#include "recordcodec.h"
#include "recordlayout.h"
#include "utf8.h"

namespace session {

namespace {

// The longest texts the creation record holds, in UTF-16 units.
constexpr size_t kMaxAddressUnits = records::createparams::kUrlBytes / 2 - 1;
constexpr size_t kMaxPathUnits = records::createparams::kPathBytes / 2 - 1;

}  // namespace

std::string TooLongText(std::u16string_view url, std::u16string_view name, std::u16string_view folder) {
  if (url.size() > kMaxAddressUnits) return "下载地址过长（最多 " + std::to_string(kMaxAddressUnits) + " 个字符）";
  if (name.size() > kMaxPathUnits)
    return "文件名过长（最多 " + std::to_string(kMaxPathUnits) + " 个字符），请改短后再试";
  if (folder.size() > kMaxPathUnits)
    return "保存目录过长（最多 " + std::to_string(kMaxPathUnits) + " 个字符），请选择较短的目录";
  return "下载地址、文件名或保存目录无效";
}

void DownloadSession::StartEngine() {
  for (int i = 0; i < 3; ++i) engine.init();
}

void DownloadSession::StopEngine() {
  // Every download that was started is stopped with its resume data, not just the one on
  // display; the engine's end would do it too, but this says so.
  for (const StartedDownload& d : downloads) engine.stopTask(d.task);
  list.Refresh();
  for (const ListedDownload& d : list.rows())
    if (d.task && d.state == ListState::kRunning && Find(d.task) == downloads.end()) engine.stopTask(d.task);
  downloads.clear();
  list.LetGoOfTasks();
  for (int i = 0; i < 2; ++i) engine.uninit();
}

std::optional<std::string> DownloadSession::Start(std::u16string_view url, std::u16string_view name,
                                                  std::u16string_view folder) {
  // A text too long for its field leaves no record, and the download does not start. Any
  // earlier one stays as it is.
  const bool built = createParams.BuildUtf16(url, name, folder, /*isOnlyOriginal=*/false, /*disableAutoRename=*/true,
                                             /*isResume=*/true);
  if (!built) return "下载失败：" + TooLongText(url, name, folder);
  void* task = engine.createTask(createParams.Address());
  if (!task) return std::string("下载失败：下载引擎未接受这个下载");
  engine.startTask(task);
  // Downloads run side by side; each stays reachable, and the display follows the newest.
  downloads.push_back({task, std::u16string(folder), std::u16string(name)});
  list.Add(task, common::Utf16ToUtf8(url), common::Utf16ToUtf8(folder), common::Utf16ToUtf8(name));
  currentTask = task;
  progressInfo.Build();
  return std::nullopt;
}

bool DownloadSession::DeleteTempFiles(std::u16string_view folder, std::u16string_view name) {
  std::string block = records::TempFileBlock(folder, name);
  if (block.empty()) return false;
  engine.delTempFile(block.data());
  return true;
}

AfterCancel DownloadSession::Cancel(std::u16string_view boxFolder, std::u16string_view boxName) {
  if (!currentTask) return AfterCancel::kNothingToCancel;  // nothing to ask the engine
  void* task = currentTask;
  engine.stopTask(task);
  engine.deleteTask(task);
  list.Forget(task);
  auto started = Find(task);
  const bool known = started != downloads.end();
  DeleteTempFiles(known ? started->folder : boxFolder, known ? started->name : boxName);
  if (!known) return AfterCancel::kCancelled;
  downloads.erase(started);
  return FollowNext() ? AfterCancel::kFollowingNext : AfterCancel::kCancelled;
}

bool DownloadSession::FollowNext() {
  if (downloads.empty()) return false;
  currentTask = downloads.back().task;
  return true;
}

std::optional<Progress> DownloadSession::Poll(std::u16string_view boxFolder) {
  if (!currentTask || !engine.queryTaskInfoEx(currentTask, progressInfo.Address())) return std::nullopt;
  Progress p;
  p.stat = progressInfo.stat();
  p.failCode = progressInfo.fail_code();
  p.name = records::FieldUnits(progressInfo.record().ReadField("szFilename"));
  p.folder = boxFolder;
  p.ended = p.stat == DL_STATE_COMPLETE || p.stat == DL_STATE_CANCELLED;
  if (p.ended) {
    if (auto started = Find(currentTask); started != downloads.end()) {
      p.folder = started->folder;
      downloads.erase(started);
    }
  }
  if (p.stat == DL_STATE_COMPLETE) completedFolder = p.folder;
  p.figures = records::FiguresOf(progressInfo.nSpeed(), progressInfo.nTotalDownload(), progressInfo.nTotalSize(),
                                 progressInfo.fPercent());
  return p;
}

void DownloadSession::Release() {
  createParams.Release();
  progressInfo.Release();
  currentTask = nullptr;
}

std::vector<StartedDownload>::iterator DownloadSession::Find(void* task) {
  return std::find_if(downloads.begin(), downloads.end(), [task](const StartedDownload& d) { return d.task == task; });
}

}  // namespace session
