#include "downloadtick.h"

#include <QDir>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>

#include "controls.h"
#include "downloadhandlers.h"
#include "downloadlistfile.h"
#include "downloadlistview.h"
#include "mainwindow.h"

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
  SaveDownloadList(w);
  ShowDownloadList(w);
}

void PollProgress(MainWindow& w) { TickDownloads(w, /*display=*/true); }

}  // namespace ui
