#include "downloadsession.h"

#include <cstring>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "controls.h"
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
  for (int i = 0; i < 2; ++i) w.state.engine.uninit();
}

void StartDownload(MainWindow& w) {
  ProgramState& s = w.state;
  // The texts go to the engine as the boxes hold them, in UTF-16; a text too long for its
  // field leaves no block, and the engine then reports the task as unusable.
  s.createParams.BuildUtf16(Units(w.编辑框_下载地址->text()), Units(w.编辑框_保存文件名->text()),
                            Units(w.编辑框_保存目录->text()), false, true, true);
  s.currentTask = s.engine.createTask(s.createParams.Address());
  s.engine.startTask(s.currentTask);
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
  s.engine.stopTask(s.currentTask);
  s.engine.deleteTask(s.currentTask);
  DeleteTempFiles(w, w.编辑框_保存目录->text(), w.编辑框_保存文件名->text());
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

void PollProgress(MainWindow& w) {
  ProgramState& s = w.state;
  TaskProgressInfo& info = s.progressInfo;
  if (!s.engine.queryTaskInfoEx(s.currentTask, info.Address())) return;
  const int stat = info.stat();
  if (const char* text = StateText(stat)) w.状态条2->setPartText(0, QString::fromUtf8(text));
  if (stat == 4 || stat == 1) SetTimerPeriod(w.时钟_下载, 0);
  if (stat == 6 || stat == 1) {
    ResetProgressDisplay(w);
    // A failure must not pass for a cancel: say that it failed, and why.
    if (stat == 1 && info.fail_code() != 0) w.状态条2->setPartText(0, QString::fromStdString(FailureText(info.fail_code())));
    return;
  }
  // The engine's own name for the file, read as the UTF-16 it wrote.
  w.编辑框_保存文件名->setText(TextOfUnits(info.record().ReadField("szFilename")));
  const ProgressFigures f = FiguresOf(info.nSpeed(), info.nTotalDownload(), info.nTotalSize(), info.fPercent());
  w.状态条1->setPartText(0, QString::fromStdString(f.speed));
  w.状态条1->setPartText(1, QString::fromStdString(f.downloaded));
  w.状态条1->setPartText(2, QString::fromStdString(f.total));
  w.状态条2->setPartText(2, QString::fromStdString(f.percent));
  w.进度条1->setValue(f.bar);
  if (w.进度条1->value() == 100) ResetProgressDisplay(w);
}
