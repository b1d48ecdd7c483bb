#include "downloadsession.h"

#include <algorithm>
#include <cstring>

#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "controls.h"
#include "dlcore.h"
#include "librarycall.h"
#include "mainwindow.h"
#include "progressfigures.h"
#include "recordlayout.h"
#include "releasepage.h"

namespace {

std::u16string Units(const QString& text) { return text.toStdU16String(); }

QString TextOfUnits(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return QString::fromStdU16String(units.substr(0, units.find(u'\0')));
}

}  // namespace

EngineCalls BindEngineCalls(LibraryBinder& binder, const std::string& path) {
  // Each function is bound by name when it is first called, never before.
  auto init = std::make_shared<LibraryFunction<int()>>(binder, path, "DL_Init");
  auto uninit = std::make_shared<LibraryFunction<void()>>(binder, path, "DL_UnInit");
  auto create = std::make_shared<LibraryFunction<void*(const void*)>>(binder, path, "DL_CreateTask");
  auto start = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_StartTask");
  auto query = std::make_shared<LibraryFunction<int(void*, void*)>>(binder, path, "DL_QueryTaskInfoEx");
  auto stop = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_StopTask");
  auto remove = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_DeleteTask");
  auto temp = std::make_shared<LibraryFunction<void(const void*)>>(binder, path, "DL_DelTempFile");
  return EngineCalls{
      [init] { return (*init)(); },
      [uninit] { (*uninit)(); },
      [create](const void* record) { return (*create)(record); },
      [start](void* task) { (*start)(task); },
      [query](void* task, void* record) { return (*query)(task, record); },
      [stop](void* task) { (*stop)(task); },
      [remove](void* task) { (*remove)(task); },
      [temp](const void* record) { (*temp)(record); },
  };
}

void StartEngine(MainWindow& w) {
  for (int i = 0; i < 3; ++i) w.state.engine.init();
}

void StopEngine(MainWindow& w) {
  // Every download the window started is stopped with its resume data, not just the one
  // on display; the engine's end would do it too, but this says so.
  for (const StartedDownload& d : w.state.downloads) w.state.engine.stopTask(d.task);
  w.state.downloads.clear();
  for (int i = 0; i < 2; ++i) w.state.engine.uninit();
}

namespace {

// The longest texts the creation record holds, in UTF-16 units.
constexpr int kMaxAddressUnits = int(createparams::kUrlBytes / 2 - 1);
constexpr int kMaxPathUnits = int(createparams::kPathBytes / 2 - 1);

// A text the user must see in full: in the status part (its tooltip holds all of it) and in
// the balloon tip over the status bar, with what to do about it.
void Announce(MainWindow& w, const QString& text, const QString& advice = {}) {
  w.状态条2->setPartText(0, text);
  w.气球提示框1->popUp(advice.isEmpty() ? text : text + QStringLiteral("\n") + advice, w.状态条2->mapToGlobal(QPoint(0, 0)));
}

// Why a download cannot start: which text does not fit its record.
QString TooLong(const QString& url, const QString& name, const QString& folder) {
  if (url.size() > kMaxAddressUnits) return QStringLiteral("下载地址过长（最多 %1 个字符）").arg(kMaxAddressUnits);
  if (name.size() > kMaxPathUnits) return QStringLiteral("文件名过长（最多 %1 个字符），请改短后再试").arg(kMaxPathUnits);
  if (folder.size() > kMaxPathUnits) return QStringLiteral("保存目录过长（最多 %1 个字符），请选择较短的目录").arg(kMaxPathUnits);
  return QStringLiteral("下载地址、文件名或保存目录无效");
}

std::vector<StartedDownload>::iterator Find(ProgramState& s, void* task) {
  return std::find_if(s.downloads.begin(), s.downloads.end(), [task](const StartedDownload& d) { return d.task == task; });
}

// The download on display has ended: the display turns to the newest one still running, or
// goes idle.
void FollowTheNextDownload(MainWindow& w) {
  ProgramState& s = w.state;
  if (s.downloads.empty()) {
    SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  s.currentTask = s.downloads.back().task;
  w.按钮_取消->setEnabled(true);
  SetTimerPeriod(w.时钟_下载, 100);
}

}  // namespace

void StartDownload(MainWindow& w) {
  ProgramState& s = w.state;
  if (s.shuttingDown) return;  // the engine is going or gone: nothing may start now
  const QString url = w.编辑框_下载地址->text(), name = w.编辑框_保存文件名->text(), folder = w.编辑框_保存目录->text();
  // The texts go to the engine as the boxes hold them, in UTF-16; a text too long for its
  // field leaves no record, and the download does not start. Any earlier one stays as it is.
  if (!s.createParams.BuildUtf16(Units(url), Units(name), Units(folder), false, true, true)) {
    Announce(w, QStringLiteral("下载失败：") + TooLong(url, name, folder));
    if (s.downloads.empty()) SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  void* task = s.engine.createTask(s.createParams.Address());
  if (!task) {
    Announce(w, QStringLiteral("下载失败：下载引擎未接受这个下载"));
    if (s.downloads.empty()) SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  s.engine.startTask(task);
  // Downloads run side by side; each stays reachable, and the display follows the newest.
  s.downloads.push_back({task, folder, name});
  s.currentTask = task;
  s.progressInfo.Build();
  SetTimerPeriod(w.时钟_下载, 100);
  w.按钮_取消->setEnabled(true);
}

std::string TempFileBlock(const QString& folder, const QString& name) {
  using namespace createparams;
  auto nameBytes = FieldText(Units(name), kPathBytes), folderBytes = FieldText(Units(folder), kPathBytes);
  if (!nameBytes || !folderBytes) return {};  // never shift or cut the following fields
  std::string block(kSize, '\0');
  block[nReserved1] = 5;
  block[reserved] = 1;
  block.replace(szFilename, nameBytes->size(), *nameBytes);
  block.replace(szSavePath, folderBytes->size(), *folderBytes);
  return block;
}

bool DeleteTempFiles(MainWindow& w, const QString& folder, const QString& name) {
  std::string block = TempFileBlock(folder, name);
  if (block.empty()) return false;
  w.state.engine.delTempFile(block.data());
  return true;
}

void CancelDownload(MainWindow& w) {
  ProgramState& s = w.state;
  w.按钮_取消->setEnabled(false);
  if (!s.currentTask) return;  // nothing was ever started: nothing to ask the engine
  void* task = s.currentTask;
  s.engine.stopTask(task);
  s.engine.deleteTask(task);
  // The files of the download on display, wherever the boxes point now.
  auto started = Find(s, task);
  const bool known = started != s.downloads.end();
  DeleteTempFiles(w, known ? started->folder : w.编辑框_保存目录->text(), known ? started->name : w.编辑框_保存文件名->text());
  if (!known) return;
  s.downloads.erase(started);
  if (!s.downloads.empty()) FollowTheNextDownload(w);
}

void ReleaseListDoubleClicked(MainWindow& w) {
  QTreeWidgetItem* row = w.超级列表框->currentItem();
  if (!row) return;  // no row chosen: no download from empty cells
  const bool torrent = w.选择框_下载模式->isChecked();
  w.编辑框_下载地址->setText(row->text(torrent ? 6 : 5));
  // The version came from a web page: it names a file inside the save folder, nothing else.
  const QString name = row->text(1) + (torrent ? QStringLiteral(".torrent") : QStringLiteral(".zip"));
  w.编辑框_保存文件名->setText(QString::fromStdString(SafeFileName(name.toStdString())));
  StartDownload(w);
}

void DownloadModeClicked(MainWindow& w) {
  w.选择框_下载模式->setText(w.选择框_下载模式->isChecked() ? QStringLiteral("BT") : QStringLiteral("文件"));
}

void ResetProgressDisplay(MainWindow& w) {
  w.按钮_取消->setEnabled(false);
  w.编辑框_保存文件名->clear();
  w.状态条1->setPartText(0, QStringLiteral("即时速度："));
  w.状态条1->setPartText(1, QStringLiteral("已下载："));
  w.状态条1->setPartText(2, QStringLiteral("总大小："));
  for (int part = 0; part < 3; ++part) w.状态条2->setPartText(part, QString());
  w.进度条1->setValue(0);
}

void OpenCompletedFolder(MainWindow& w) {
  if (!w.state.completedFolder.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(w.state.completedFolder));
}

namespace {

// What the user is told when a download ends, after the display has been reset.
void ShowTheEnd(MainWindow& w, int stat, int failCode, const QString& name, const QString& folder) {
  if (stat == DL_STATE_COMPLETE) {
    // A lasting sign of success: the status part keeps it, and the balloon says where the
    // file is; a double-click on the status part opens the folder.
    w.state.completedFolder = folder;
    w.状态条2->setPartText(0, QStringLiteral("下载完毕！ ") + name);
    w.气球提示框1->popUp(QStringLiteral("下载完毕：%1/%2\n双击状态栏打开所在目录。").arg(folder, name),
                         w.状态条2->mapToGlobal(QPoint(0, 0)));
  } else if (failCode != 0) {
    // A failure must not pass for a cancel: say that it failed, why, and what to do.
    Announce(w, QString::fromStdString(FailureText(failCode)), QString::fromStdString(FailureAdvice(failCode)));
  }
}

}  // namespace

void PollProgress(MainWindow& w) {
  ProgramState& s = w.state;
  TaskProgressInfo& info = s.progressInfo;
  if (!s.currentTask || !s.engine.queryTaskInfoEx(s.currentTask, info.Address())) return;
  const int stat = info.stat();
  // The engine's own name for the file, read as the UTF-16 it wrote.
  const QString name = TextOfUnits(info.record().ReadField("szFilename"));
  if (const char* text = StateText(stat)) w.状态条2->setPartText(0, QString::fromUtf8(text));
  const bool ended = stat == DL_STATE_COMPLETE || stat == DL_STATE_CANCELLED;
  QString folder = w.编辑框_保存目录->text();
  if (ended) {
    if (auto started = Find(s, s.currentTask); started != s.downloads.end()) {
      folder = started->folder;
      s.downloads.erase(started);
    }
    SetTimerPeriod(w.时钟_下载, 0);
  }
  if (stat == DL_STATE_STOPPING || stat == DL_STATE_CANCELLED) {
    ResetProgressDisplay(w);
    if (stat == DL_STATE_CANCELLED) {
      ShowTheEnd(w, stat, info.fail_code(), name, folder);
      FollowTheNextDownload(w);
    }
    return;
  }
  w.编辑框_保存文件名->setText(name);
  const ProgressFigures f = FiguresOf(info.nSpeed(), info.nTotalDownload(), info.nTotalSize(), info.fPercent());
  w.状态条1->setPartText(0, QString::fromStdString(f.speed));
  w.状态条1->setPartText(1, QString::fromStdString(f.downloaded));
  w.状态条1->setPartText(2, QString::fromStdString(f.total));
  w.状态条2->setPartText(2, QString::fromStdString(f.percent));
  w.进度条1->setValue(f.bar);
  if (w.进度条1->value() == 100) ResetProgressDisplay(w);
  if (stat == DL_STATE_COMPLETE) {
    ShowTheEnd(w, stat, 0, name, folder);
    FollowTheNextDownload(w);
  }
}
