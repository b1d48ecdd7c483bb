#include "downloadhandlers.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "archivecheck.h"
#include "controls.h"
#include "dlcore.h"
#include "downloadlisthandlers.h"
#include "downloadlistwindow.h"
#include "failurewords.h"
#include "mainwindow.h"
#include "releasesearch.h"
#include "servers.h"
#include "widgettext.h"

namespace ui {

namespace {

// A text the user must see in full: in the status part when it fits there, else its first
// words with a pointer to the download list, which holds all of it with what to do (a click
// on the part opens it); and in the balloon tip over the status bar.
void Announce(MainWindow& w, const QString& text, const QString& advice = {}, const QString& name = {}) {
  const QString whole = advice.isEmpty() ? text : text + QStringLiteral("\n") + advice;
  QLabel* part = w.状态条2->part(0);
  const bool fits = part->fontMetrics().horizontalAdvance(text) <= part->contentsRect().width() - 2 * part->margin();
  w.状态条2->setPartText(0, fits ? text : text.section(u'：', 0, 0) + QString::fromUtf8(kSeeTheList));
  part->setToolTip(text);
  w.下载列表窗口->标签_提示->setText(name.isEmpty() ? whole : name + QStringLiteral("：") + whole);
  w.气球提示框1->popUp(name.isEmpty() ? whole : name + QStringLiteral("\n") + whole,
                       w.状态条2->mapToGlobal(QPoint(0, 0)));
}

// The download on display has ended: the display turns to the newest one still running, or
// goes idle.
void FollowTheNextDownload(MainWindow& w) {
  void* before = w.state.session.currentTask;
  if (!w.state.session.FollowNext()) {
    SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  if (w.state.session.currentTask != before) w.状态条2->setPartText(1, QString());
  w.按钮_取消->setEnabled(true);
  SetTimerPeriod(w.时钟_下载, 100);
}

}  // namespace

void StartEngine(MainWindow& w) { w.state.session.StartEngine(); }

void StopEngine(MainWindow& w) {
  StopChecks(w);
  w.state.session.StopEngine();
}

void StartDownload(MainWindow& w) {
  if (w.state.shuttingDown) return;  // the engine is going or gone: nothing may start now
  session::DownloadSession& s = w.state.session;
  // The texts go to the engine as the boxes hold them, in UTF-16.
  if (auto failure = s.Start(Units(w.编辑框_下载地址->text()), Units(w.编辑框_保存文件名->text()),
                             Units(w.编辑框_保存目录->text()))) {
    Announce(w, QString::fromStdString(*failure));
    if (!s.HasDownloads()) SetTimerPeriod(w.时钟_下载, 0);
    return;
  }
  SetTimerPeriod(w.时钟_下载, 100);
  w.按钮_取消->setEnabled(true);
  w.状态条2->setPartText(1, QString());  // a verdict speaks of the download before
}

void CancelDownload(MainWindow& w) {
  w.按钮_取消->setEnabled(false);
  // The files of the download on display, wherever the boxes point now.
  if (w.state.session.Cancel(Units(w.编辑框_保存目录->text()), Units(w.编辑框_保存文件名->text())) ==
      session::AfterCancel::kFollowingNext) {
    w.按钮_取消->setEnabled(true);
    SetTimerPeriod(w.时钟_下载, 100);
  }
}

void ReleaseListDoubleClicked(MainWindow& w) {
  QTreeWidgetItem* row = w.超级列表框->currentItem();
  if (!row) return;  // no row chosen: no download from empty cells
  catalogue::ReleaseRow chosen;
  chosen.version = Utf8(row->text(1));
  chosen.programLink = Utf8(row->text(5));
  chosen.torrentLink = Utf8(row->text(6));
  const bool torrent = w.选择框_下载模式->isChecked();
  const catalogue::DownloadOrder order = catalogue::DownloadOf(chosen, torrent);
  w.编辑框_下载地址->setText(QString::fromStdString(order.address));
  w.编辑框_保存文件名->setText(QString::fromStdString(order.fileName));
  StartDownload(w);
  if (!torrent) CheckWhenComplete(w, chosen.torrentLink);
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
  const std::u16string& folder = w.state.session.completedFolder;
  if (folder.empty()) return;
  const QString path = QString::fromStdU16String(folder);
  if (!OpenFolder(path))
    w.气球提示框1->popUp(QStringLiteral("无法打开目录：%1\n没有可用的文件管理器，请自行打开该目录。").arg(path),
                         w.状态条2->mapToGlobal(QPoint(0, 0)));
}

namespace {

// What the user is told when a download ends, after the display has been reset.
void ShowTheEnd(MainWindow& w, const session::Progress& p) {
  const QString name = QString::fromStdU16String(p.name), folder = QString::fromStdU16String(p.folder);
  if (p.stat == DL_STATE_COMPLETE) {
    // A lasting sign of success: the status part keeps it, and the balloon says where the
    // file is; a double-click on the status part opens the folder.
    w.状态条2->setPartText(0, QStringLiteral("下载完毕！ ") + name);
    w.气球提示框1->popUp(QStringLiteral("下载完毕：%1/%2\n双击状态栏打开所在目录。").arg(folder, name),
                         w.状态条2->mapToGlobal(QPoint(0, 0)));
    TickDownloadList(w);  // its row completes, and a release archive is checked
  } else if (p.failCode != 0) {
    // A failure must not pass for a cancel: say that it failed, why, and what to do.
    std::string advice = records::FailureAdvice(p.failCode);
    if (records::UnreachableServer(p.failCode))
      advice += "\n" + core::WhereServerIsChosen(core::Server::kDownload, w.state.downloadServer, false);
    Announce(w, QString::fromStdString(records::FailureText(p.failCode)), QString::fromStdString(advice), name);
  }
}

}  // namespace

void PollProgress(MainWindow& w) {
  const std::optional<session::Progress> p = w.state.session.Poll(Units(w.编辑框_保存目录->text()));
  if (!p) return;
  if (const char* text = records::StateText(p->stat)) w.状态条2->setPartText(0, QString::fromUtf8(text));
  if (p->ended) SetTimerPeriod(w.时钟_下载, 0);
  if (p->stat == DL_STATE_STOPPING || p->stat == DL_STATE_CANCELLED) {
    ResetProgressDisplay(w);
    if (p->stat == DL_STATE_CANCELLED) {
      ShowTheEnd(w, *p);
      FollowTheNextDownload(w);
    }
    return;
  }
  w.编辑框_保存文件名->setText(QString::fromStdU16String(p->name));
  const records::ProgressFigures& f = p->figures;
  w.状态条1->setPartText(0, QString::fromStdString(f.speed));
  w.状态条1->setPartText(1, QString::fromStdString(f.downloaded));
  w.状态条1->setPartText(2, QString::fromStdString(f.total));
  w.状态条2->setPartText(2, QString::fromStdString(f.percent));
  w.进度条1->setValue(f.bar);
  if (w.进度条1->value() == 100) ResetProgressDisplay(w);
  if (p->stat == DL_STATE_COMPLETE) {
    ShowTheEnd(w, *p);
    FollowTheNextDownload(w);
  }
}

}  // namespace ui
