#include "downloadhandlers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "controls.h"
#include "desktop.h"
#include "dlcore.h"
#include "downloadlistview.h"
#include "mainwindow.h"
#include "progressfigures.h"
#include "releasesearch.h"
#include "widgettext.h"
#include "words.h"

namespace ui {

namespace {

session::DownloadList& List(MainWindow& w) { return w.state.session; }

// A text the user must see in full: in the status part when it fits there, else its first
// words with a pointer to the download list, which holds all of it with what to do (a click
// on the part opens it).
void SayOnStatus(MainWindow& w, const QString& text) {
  QLabel* part = w.状态条2->part(0);
  const bool fits = part->fontMetrics().horizontalAdvance(text) <= part->contentsRect().width() - 2 * part->margin();
  w.状态条2->setPartText(0, fits ? text : text.section(u'：', 0, 0) + QString::fromUtf8(kSeeTheList));
  part->setToolTip(text);
}

// A start that made no row: said on the status bar, in the balloon tip and in the list
// window's hint, until the next start.
void SayStartFailed(MainWindow& w, const std::string& failure) {
  w.state.windowMessage = failure;
  SayOnStatus(w, QString::fromStdString(failure));
  w.气球提示框1->popUp(QString::fromStdString(failure), w.状态条2->mapToGlobal(QPoint(0, 0)));
  ShowDownloadList(w);
}

bool AskToReplace(MainWindow& w, const std::string& name) {
  return Ask(&w, QStringLiteral("“%1”已在保存目录中。\n要重新下载并替换它吗？").arg(QString::fromStdString(name)),
             QStringLiteral("重新下载"), QStringLiteral("不下载"));
}

// What the user is told on the display when the download on display ends, after the reset.
void ShowTheEnd(MainWindow& w, const session::Answer& a) {
  const session::ListedDownload* d = List(w).Find(List(w).currentTask);
  const QString name = QString::fromStdU16String(a.name);
  if (a.stat == DL_STATE_COMPLETE) {
    // A lasting sign of success; a double-click on the status part opens the folder.
    w.状态条2->setPartText(0, QString::fromUtf8(records::StateText(DL_STATE_COMPLETE)) + u' ' + name);
    if (d) w.state.completedFolder = d->order.folder;
  } else if (a.failCode != 0) {
    // A failure must not pass for a cancel: it says that it failed and why; the list holds
    // what to do.
    SayOnStatus(w, QString::fromStdString(records::FailureText(a.failCode)));
  }
}

// One answer of the engine for the download on display, by the state table of the display.
void ShowAnswer(MainWindow& w, const session::Answer& a) {
  if (const char* text = records::StateText(a.stat)) w.状态条2->setPartText(0, QString::fromUtf8(text));
  const bool ended = a.stat == DL_STATE_COMPLETE || a.stat == DL_STATE_CANCELLED;
  if (ended) SetTimerPeriod(w.时钟_下载, 0);
  if (a.stat == DL_STATE_STOPPING || a.stat == DL_STATE_CANCELLED) {
    ResetProgressDisplay(w);
    if (a.stat == DL_STATE_CANCELLED) {
      ShowTheEnd(w, a);
      FollowTheNextDownload(w);
    }
    return;
  }
  w.编辑框_保存文件名->setText(QString::fromStdU16String(a.name));
  const records::ProgressFigures f = records::FiguresOf(a.speed, a.done, a.total, a.percent);
  w.状态条1->setPartText(0, QString::fromStdString(f.speed));
  w.状态条1->setPartText(1, QString::fromStdString(f.downloaded));
  w.状态条1->setPartText(2, QString::fromStdString(f.total));
  w.状态条2->setPartText(2, QString::fromStdString(f.percent));
  w.进度条1->setValue(f.bar);
  if (w.进度条1->value() == 100) ResetProgressDisplay(w);
  if (a.stat == DL_STATE_COMPLETE) {
    ShowTheEnd(w, a);
    FollowTheNextDownload(w);
  }
}

// The display follows a download from its start: the timer, the cancel button, a part that
// spoke of the one before.
void Follow(MainWindow& w) {
  SetTimerPeriod(w.时钟_下载, 100);
  w.按钮_取消->setEnabled(true);
  w.状态条2->setPartText(1, QString());
  const session::ListedDownload* d = List(w).Find(List(w).currentTask);
  if (d && d->state == session::ListState::kWaiting)
    w.状态条2->setPartText(0, QString::fromUtf8(records::kWaitingText));
}

}  // namespace

void StartEngine(MainWindow& w) { List(w).StartEngine(); }

void StopEngine(MainWindow& w) { List(w).StopEngine(); }

void StartDownload(MainWindow& w, common::DownloadOrder order) {
  if (w.state.shuttingDown) return;  // the engine is going or gone: nothing may start now
  w.编辑框_下载地址->setText(QString::fromStdString(order.address()));
  w.编辑框_保存文件名->setText(QString::fromStdString(order.name));
  order.folder = Utf8(w.编辑框_保存目录->text());
  w.state.windowMessage.clear();
  session::StartResult r = List(w).Start(order, session::WhenThere::kAsk);
  if (r.outcome == session::StartResult::Outcome::kAlreadyThere)
    r = List(w).Start(order, AskToReplace(w, order.name) ? session::WhenThere::kReplace : session::WhenThere::kKeep);
  if (r.outcome == session::StartResult::Outcome::kKept) {
    SayOnStatus(w,
                QString::fromUtf8(records::kAlreadyThere) + QStringLiteral("：") + QString::fromStdString(order.name));
    ShowDownloadList(w);
    return;
  }
  if (r.outcome == session::StartResult::Outcome::kRefused) {
    SayStartFailed(w, r.failure);
    if (!List(w).Find(List(w).currentTask)) SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  Follow(w);
  ShowDownloadList(w);
}

void StartDownload(MainWindow& w) {
  common::DownloadOrder order;
  order.sources = {Utf8(w.编辑框_下载地址->text())};
  order.name = Utf8(w.编辑框_保存文件名->text());
  StartDownload(w, std::move(order));
}

void CancelDownload(MainWindow& w) {
  w.按钮_取消->setEnabled(false);
  if (!List(w).Cancel(List(w).currentTask)) return;  // nothing on display to cancel
  // The display shows what the engine answers for the cancelled task, unless another download
  // still runs: then it follows that one.
  if (List(w).FollowNext()) Follow(w);
  ShowDownloadList(w);
}

void ReleaseListDoubleClicked(MainWindow& w) {
  const int row = w.超级列表框->indexOfTopLevelItem(w.超级列表框->currentItem());
  if (row < 0 || size_t(row) >= w.state.releases.size()) return;  // no row chosen: no download from empty cells
  StartDownload(w, catalogue::DownloadOf(w.state.releases[size_t(row)], w.选择框_下载模式->isChecked()));
}

void DownloadModeClicked(MainWindow& w) {
  w.选择框_下载模式->setText(w.选择框_下载模式->isChecked() ? QStringLiteral("BT") : QStringLiteral("文件"));
}

void ResetProgressDisplay(MainWindow& w) {
  w.按钮_取消->setEnabled(false);
  w.编辑框_保存文件名->clear();
  ShowIdleCaptions(w.状态条1);
  for (int part = 0; part < 3; ++part) w.状态条2->setPartText(part, QString());
  w.进度条1->setValue(0);
}

void OpenCompletedFolder(MainWindow& w) {
  const std::string& folder = w.state.completedFolder;
  if (folder.empty()) return;
  const QString path = QString::fromStdString(folder);
  if (!OpenFolder(path))
    w.气球提示框1->popUp(QStringLiteral("无法打开目录：%1\n没有可用的文件管理器，请自行打开该目录。").arg(path),
                         w.状态条2->mapToGlobal(QPoint(0, 0)));
}

void ShowOnDisplay(MainWindow& w, const std::vector<session::DownloadEvent>& events, bool answers) {
  using Kind = session::DownloadEvent::Kind;
  for (const session::DownloadEvent& e : events) {
    if (e.id != List(w).currentTask) continue;
    if (e.kind == Kind::kProgress && answers) ShowAnswer(w, e.answer);
    if (e.kind == Kind::kVerdict) w.状态条2->setPartText(1, QString::fromStdString(e.words));
    const session::ListedDownload* d = e.kind == Kind::kEnded ? List(w).Find(e.id) : nullptr;
    if (d && d->verdict == session::CheckVerdict::kChecking)  // checked against its torrent now
      w.状态条2->setPartText(1, QString::fromUtf8(records::VerdictWord(d->verdict)));
  }
}

void FollowTheNextDownload(MainWindow& w) {
  const int before = List(w).currentTask;
  if (!List(w).FollowNext()) {
    SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  if (List(w).currentTask != before || !w.时钟_下载->isActive()) Follow(w);
}

}  // namespace ui
