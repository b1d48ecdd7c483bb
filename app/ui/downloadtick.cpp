#include "downloadtick.h"

#include <algorithm>
#include <climits>

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include "controls.h"
#include "downloadhandlers.h"
#include "downloadlistfile.h"
#include "downloadlistview.h"
#include "mainwindow.h"
#include "progressfigures.h"

namespace ui {

namespace {

using session::ListState;

session::DownloadList& List(MainWindow& w) { return w.state.session; }

// One notice for each download that ends, naming the file: the tray's message, or the balloon
// over the main window's status bar where the desktop has no tray.
void Notify(MainWindow& w, const session::DownloadEvent& e) {
  const session::ListedDownload* d = List(w).Find(e.id);
  if (!d) return;
  const bool done = e.state == ListState::kCompleted;
  const QString path = QDir::toNativeSeparators(QString::fromStdString(d->order.folder + "/" + d->order.name));
  QString text = done ? path : QString::fromStdString(d->order.name) + u'\n' + HintFor(w, *d);
  if (w.托盘图标) {
    w.托盘图标->showMessage(done ? QStringLiteral("下载完毕") : QStringLiteral("下载失败"), text,
                            done ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning, 10000);
    return;
  }
  if (done && e.id == List(w).currentTask) text += QStringLiteral("\n双击状态栏打开所在目录。");
  w.气球提示框1->popUp((done ? QStringLiteral("下载完毕：") : QStringLiteral("下载失败：")) + text,
                       w.状态条2->mapToGlobal(QPoint(0, 0)));
}

// With more than one download running, the display speaks of them all (how many, and their
// speed, bytes and progress together) and so does the tray's tooltip; with one, the display
// follows it and the tooltip names it.
void ShowTotals(MainWindow& w) {
  const session::RunningTotals t = session::TotalsOf(List(w).rows());
  const float part = t.total > 0 ? float(double(t.done) / double(t.total)) : 0.0f;
  const records::ProgressFigures f =
      records::FiguresOf(std::int32_t(std::min<std::int64_t>(t.speed, INT32_MAX)), t.done, t.total, part);
  QString tip = w.windowTitle();
  if (t.running > 1) {
    const QString running = QStringLiteral("%1 个下载进行中").arg(t.running);
    w.状态条1->setPartText(0, QString::fromStdString(f.speed));
    w.状态条1->setPartText(1, QString::fromStdString(f.downloaded));
    w.状态条1->setPartText(2, QString::fromStdString(f.total));
    w.状态条2->setPartText(0, running);
    w.状态条2->setPartText(2, QString::fromStdString(f.percent));
    w.进度条1->setValue(f.bar);
    tip += u'\n' + running + u'\n' + QString::fromStdString(f.percent) + u'\n' + QString::fromStdString(f.speed);
  } else if (const session::ListedDownload* d = List(w).Find(List(w).currentTask);
             t.running == 1 && d && d->state == ListState::kRunning) {
    tip += u'\n' + QString::fromStdString(d->order.name) + u'\n' + QString::fromStdString(f.percent);
  }
  if (w.托盘图标 && w.托盘图标->toolTip() != tip) w.托盘图标->setToolTip(tip);
}

}  // namespace

void SaveDownloadList(MainWindow& w, bool now) {
  if (!w.state.listFileWritable) return;  // a file that could not be read whole is never written over
  if (!List(w).TakeChanged(now ? std::chrono::seconds(0) : std::chrono::seconds(5))) return;
  if (!session::WriteListFile(session::ListFilePath(), List(w).rows()))
    w.state.windowMessage = "下载列表无法保存：" + session::ListFilePath();
}

void TickDownloads(MainWindow& w, bool display) {
  if (w.state.shuttingDown) return;
  const std::vector<session::DownloadEvent> events = List(w).Tick();
  ShowOnDisplay(w, events, display);
  for (const session::DownloadEvent& e : events)
    if (e.kind == session::DownloadEvent::Kind::kEnded) Notify(w, e);
  // Downloads that run while the display is idle (resumed at start, or from the list): it
  // follows the newest.
  if (!w.时钟_下载->isActive() && List(w).Running() > 0) FollowTheNextDownload(w);
  ShowTotals(w);
  SaveDownloadList(w);
  ShowDownloadList(w);
}

void PollProgress(MainWindow& w) { TickDownloads(w, /*display=*/true); }

}  // namespace ui
