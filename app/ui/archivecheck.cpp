#include "archivecheck.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "controls.h"
#include "mainwindow.h"
#include "verify.h"

namespace ui {

namespace {

session::CheckVerdict VerdictOf(const torrent::Verification& v) {
  return v.Passed() ? session::CheckVerdict::kPassed : session::CheckVerdict::kFailed;
}

std::string Words(const torrent::Verification& v) {
  if (v.Passed()) return "校验通过";
  if (v.checked) return "校验失败：" + std::to_string(v.bad.size()) + " 块损坏";
  return "无法校验：" + v.failure;
}

// The status bar speaks of the download on display only.
void ShowIfOnDisplay(MainWindow& w, int id, const QString& text) {
  const session::ListedDownload* d = w.state.session.list.Find(id);
  if (d && d->task && d->task == w.state.session.currentTask) w.状态条2->setPartText(1, text);
}

}  // namespace

void CheckWhenComplete(MainWindow& w, const std::string& torrentLink) {
  if (!torrentLink.empty()) w.state.session.list.SetTorrentLink(w.state.session.currentTask, torrentLink);
}

void CheckRow(MainWindow& w, int id) {
  session::DownloadList& list = w.state.session.list;
  const session::ListedDownload* d = list.Find(id);
  if (!d || d->state != session::ListState::kCompleted || d->torrentLink.empty() ||
      d->verdict == session::CheckVerdict::kChecking)
    return;
  const std::string archive = d->folder + "/" + d->name, torrentLink = d->torrentLink;
  list.SetVerdict(id, session::CheckVerdict::kChecking, "");
  ShowIfOnDisplay(w, id, QStringLiteral("正在校验..."));
  std::shared_ptr<std::atomic<bool>> stop = w.state.stopChecks;
  // The watcher goes with the window: a check that ends after it shows nothing.
  auto* watcher = new QFutureWatcher<torrent::Verification>(&w);
  QObject::connect(watcher, &QFutureWatcher<torrent::Verification>::finished, &w, [&w, watcher, id] {
    const torrent::Verification v = watcher->result();
    w.state.session.list.SetVerdict(id, VerdictOf(v), Words(v));
    ShowIfOnDisplay(w, id, QString::fromStdString(Words(v)));
    watcher->deleteLater();
  });
  watcher->setFuture(QtConcurrent::run([archive, torrentLink, stop] {
    return torrent::VerifyWithTorrentFrom(archive, torrentLink, [stop] { return !stop->load(); });
  }));
}

void StopChecks(MainWindow& w) {
  // The running checks see the flag within a piece or a network wait; they are waited for, so
  // that none outlives the window's end, and later checks get a flag of their own.
  w.state.stopChecks->store(true);
  QThreadPool::globalInstance()->waitForDone(5000);
  w.state.stopChecks = std::make_shared<std::atomic<bool>>(false);
}

}  // namespace ui
