#include "archivecheck.h"

#include <QFutureWatcher>
#include <QLineEdit>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "controls.h"
#include "mainwindow.h"
#include "verify.h"
#include "widgettext.h"

namespace ui {

namespace {

std::string PathOf(const QString& folder, const QString& name) { return Utf8(folder) + "/" + Utf8(name); }

QString Verdict(const torrent::Verification& v) {
  if (v.Passed()) return QStringLiteral("校验通过");
  if (v.checked) return QStringLiteral("校验失败：%1 块损坏").arg(v.bad.size());
  return QStringLiteral("无法校验：") + QString::fromStdString(v.failure);
}

}  // namespace

void CheckWhenComplete(MainWindow& w, const std::string& torrentLink) {
  if (torrentLink.empty()) return;
  w.state.torrentOf[PathOf(w.编辑框_保存目录->text(), w.编辑框_保存文件名->text())] = torrentLink;
}

void CheckCompleted(MainWindow& w, const QString& folder, const QString& name) {
  const auto known = w.state.torrentOf.find(PathOf(folder, name));
  if (known == w.state.torrentOf.end()) return;
  const std::string archive = known->first, torrentLink = known->second;
  w.state.torrentOf.erase(known);
  std::shared_ptr<std::atomic<bool>> stop = w.state.stopChecks;
  w.状态条2->setPartText(1, QStringLiteral("正在校验..."));
  // The watcher goes with the window: a check that ends after it shows nothing.
  auto* watcher = new QFutureWatcher<torrent::Verification>(&w);
  QObject::connect(watcher, &QFutureWatcher<torrent::Verification>::finished, &w, [&w, watcher] {
    w.状态条2->setPartText(1, Verdict(watcher->result()));
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
