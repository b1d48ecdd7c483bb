#include "downloadlisthandlers.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

#include "controls.h"
#include "desktop.h"
#include "downloadhandlers.h"
#include "downloadlistfile.h"
#include "downloadlistview.h"
#include "downloadlistwindow.h"
#include "downloadtick.h"
#include "mainwindow.h"
#include "servers.h"
#include "settingstable.h"

namespace ui {

namespace {

using session::ListState;

session::DownloadList& List(MainWindow& w) { return w.state.session; }

// Whether the user wants the unfinished ones of `ids` cancelled, their data deleted.
bool AskToCancel(MainWindow& w, const std::vector<int>& ids) {
  std::vector<const session::ListedDownload*> going;
  for (int id : ids)
    if (const session::ListedDownload* d = List(w).Find(id); d && d->state != ListState::kCompleted) going.push_back(d);
  if (going.empty()) return false;
  const QString what = going.size() == 1 ? QStringLiteral("“%1”").arg(QString::fromStdString(going[0]->order.name))
                                         : QStringLiteral("这 %1 个下载").arg(going.size());
  return Ask(w.下载列表窗口, QStringLiteral("取消下载%1？\n已下载的部分会被删除。").arg(what),
             QStringLiteral("取消下载"), QStringLiteral("不取消"));
}

// An action on each chosen row, once: a row it acted on is no longer chosen when it went, so a
// second click never reaches the row that moved into its place.
void Act(MainWindow& w, bool (session::DownloadList::*action)(int), std::vector<int> ids) {
  if (ids.empty()) return;
  if (action == &session::DownloadList::Cancel && !AskToCancel(w, ids)) return;
  bool gone = true;
  for (int id : ids) {
    if (!List(w).Find(id)) continue;
    List(w).SetNote(id, {});
    if (!(List(w).*action)(id) && action == &session::DownloadList::Remove)
      List(w).SetNote(id, "正在下载：请先暂停或取消它。");
    gone = gone && !List(w).Find(id);
  }
  if (gone) ChooseNone(w);
  TickDownloads(w, false);
}

void Act(MainWindow& w, bool (session::DownloadList::*action)(int)) { Act(w, action, ChosenIds(w)); }

// Space: the paused ones of the chosen rows continue, the others pause.
void Toggle(MainWindow& w) {
  std::vector<int> paused, others;
  for (int id : ChosenIds(w))
    if (const session::ListedDownload* d = List(w).Find(id))
      (d->state == ListState::kPaused ? paused : others).push_back(id);
  Act(w, &session::DownloadList::Resume, paused);
  Act(w, &session::DownloadList::Pause, others);
}

void OpenChosenFile(MainWindow& w) {
  const int id = ChosenId(w);
  const session::ListedDownload* d = List(w).Find(id);
  if (!d) return;
  const std::string path = d->order.folder + "/" + d->order.name;
  if (d->state != ListState::kCompleted)
    List(w).SetNote(id, "下载完成后才能打开文件。");
  else
    List(w).SetNote(id, OpenFile(QString::fromStdString(path)) ? std::string() : "无法打开文件：" + path);
  ShowDownloadList(w);
}

// 添加下载: an address pasted by hand, saved under the last part of its path in the save folder
// of the main window; the list refuses what it refuses everywhere (other schemes, bad names).
void AddDownload(MainWindow& w) {
  bool ok = false;
  const QString address =
      QInputDialog::getText(w.下载列表窗口, QStringLiteral("添加下载"),
                            QStringLiteral("下载地址（http:// 或 https://）："), QLineEdit::Normal, QString(), &ok)
          .trimmed();
  if (!ok || address.isEmpty()) return;
  const QUrl url(address, QUrl::StrictMode);
  common::DownloadOrder order;
  order.sources = {address.toStdString()};
  order.name = url.fileName().toStdString();
  if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") || order.name.empty()) {
    w.state.windowMessage = "无法添加：不是带文件名的 http:// 或 https:// 地址：" + address.toStdString();
    ShowDownloadList(w);
    return;
  }
  StartDownload(w, std::move(order));
  ShowDownloadList(w);
}

void CopyAddress(MainWindow& w) {
  if (const session::ListedDownload* d = List(w).Find(ChosenId(w)))
    QGuiApplication::clipboard()->setText(QString::fromStdString(d->url()));
}

void ShowFolder(MainWindow& w) {
  const int id = ChosenId(w);
  const session::ListedDownload* d = List(w).Find(id);
  if (!d) return;
  const QString folder = QString::fromStdString(d->order.folder);
  List(w).SetNote(id, OpenFolder(folder) ? std::string() : "无法打开目录：" + d->order.folder);
  ShowDownloadList(w);
}

// The completed rows leave the list (their files stay); a row still being checked stays.
void ClearFinished(MainWindow& w) {
  std::vector<int> finished;
  for (const session::ListedDownload& d : List(w).rows())
    if (d.state == ListState::kCompleted && d.verdict != session::CheckVerdict::kChecking) finished.push_back(d.id);
  for (int id : finished) List(w).Remove(id);
  if (!List(w).Find(ChosenId(w))) ChooseNone(w);
  TickDownloads(w, false);
}

void ApplySettings(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  List(w).maxRunning = l.数值框_同时下载->value();
  List(w).swarmAfterTorrent = l.选择框_自动BT->isChecked();
  List(w).SetLimit(l.数值框_限速->value() * 1024LL);
}

void SettingChanged(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  core::WriteSwitch(core::kResumeAtStart, l.选择框_启动时继续->isChecked());
  core::WriteNumber(core::kSpeedLimit, l.数值框_限速->value());
  core::WriteNumber(core::kAtOnce, l.数值框_同时下载->value());
  core::WriteSwitch(core::kSwarmAfterTorrent, l.选择框_自动BT->isChecked());
  core::WriteSwitch(core::kCheckNewRelease, l.选择框_检查新版本->isChecked());
  ApplySettings(w);
  TickDownloads(w, false);
}

// A list file that could not be read whole was moved aside: the user hears where it is.
void TellKeptAside(MainWindow& w, const session::ListFileRead& read) {
  if (read.complaints.empty()) return;
  const QString text = read.keptAside.empty()
                           ? QStringLiteral("下载列表文件无法完整读取，将保持原样、不再写入：%1")
                                 .arg(QString::fromStdString(session::ListFilePath()))
                           : QStringLiteral("下载列表文件无法完整读取，已另存为 %1；能读出的 %2 项已恢复。")
                                 .arg(QString::fromStdString(read.keptAside))
                                 .arg(read.rows.size());
  w.state.windowMessage = text.toStdString();
  w.气球提示框1->popUp(text, w.状态条2->mapToGlobal(QPoint(0, 0)));
}

}  // namespace

void WireDownloadList(MainWindow& w) {
  DownloadListWindow::Handlers& h = w.下载列表窗口->handlers;
  h.pause = [&w] { Act(w, &session::DownloadList::Pause); };
  h.resume = [&w] { Act(w, &session::DownloadList::Resume); };
  h.retry = [&w] { Act(w, &session::DownloadList::Retry); };
  h.cancel = [&w] { Act(w, &session::DownloadList::Cancel); };
  h.remove = [&w] { Act(w, &session::DownloadList::Remove); };
  h.toggle = [&w] { Toggle(w); };
  h.copyAddress = [&w] { CopyAddress(w); };
  h.openFolder = [&w] { ShowFolder(w); };
  h.verify = [&w] { CheckDownload(w, ChosenId(w)); };
  h.repair = [&w] {
    List(w).Repair(ChosenId(w));
    ShowDownloadList(w);
  };
  h.clearFinished = [&w] { ClearFinished(w); };
  h.addDownload = [&w] { AddDownload(w); };
  h.openFile = [&w] { OpenChosenFile(w); };
  h.arrange = [&w] { ShowDownloadList(w); };
  h.swarm = [&w] {
    List(w).ContinueThroughSwarm(ChosenId(w));
    TickDownloads(w, false);
  };
  h.choose = [&w] { ShowDownloadList(w); };
  h.settingChanged = [&w] { SettingChanged(w); };
  h.tick = [&w] {
    if (!w.时钟_下载->isActive()) TickDownloads(w, false);  // the display's timer ticks faster
  };
}

void LoadDownloadList(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  const QSignalBlocker b1(l.选择框_启动时继续), b2(l.数值框_限速), b3(l.数值框_同时下载), b4(l.选择框_自动BT),
      b5(l.选择框_检查新版本);
  l.选择框_检查新版本->setChecked(core::ReadSwitch(core::kCheckNewRelease));
  l.选择框_自动BT->setChecked(core::ReadSwitch(core::kSwarmAfterTorrent));
  l.选择框_启动时继续->setChecked(core::ReadSwitch(core::kResumeAtStart));
  l.数值框_限速->setValue(core::ReadNumber(core::kSpeedLimit));
  l.数值框_同时下载->setValue(core::ReadNumber(core::kAtOnce));
  ApplySettings(w);
  session::ListFileRead read = session::ReadListFile(
      session::ListFilePath(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString());
  w.state.listFileWritable = read.mayWrite;
  TellKeptAside(w, read);
  List(w).Restore(std::move(read.rows), l.选择框_启动时继续->isChecked());
  l.时钟_列表->start();
  TickDownloads(w, false);
}

void StoreDownloadList(MainWindow& w) {
  w.下载列表窗口->时钟_列表->stop();
  SetTimerPeriod(w.时钟_下载, 0);
  List(w).Tick();  // the last figures; what still runs stays running in the file, to go on at the next start
  SaveDownloadList(w, /*now=*/true);
}

void OpenDownloadList(MainWindow& w) {
  DownloadListWindow* l = w.下载列表窗口;
  if (!l->isVisible() && w.screen()) {
    // Beside or below the main window where the screen has room, so that neither hides the other.
    const QRect room = w.screen()->availableGeometry();
    for (const QPoint at : {w.frameGeometry().topRight() + QPoint(8, 0), w.frameGeometry().bottomLeft() + QPoint(0, 8)})
      if (room.contains(QRect(at, l->frameGeometry().size()))) {
        l->move(at);
        break;
      }
  }
  l->showNormal();
  l->raise();
  l->activateWindow();
  ShowDownloadList(w);
  // The failure the status bar points to: its row, with the whole text and what to do.
  if (w.状态条2->partText(0).endsWith(QString::fromUtf8(kSeeTheList))) {
    Choose(w, List(w).currentTask);
    ShowDownloadList(w);
  }
}

void CheckDownload(MainWindow& w, int id) {
  List(w).Check(id);
  const session::ListedDownload* d = List(w).Find(id);
  if (d && id == List(w).currentTask && d->verdict == session::CheckVerdict::kChecking)
    w.状态条2->setPartText(1, QString::fromUtf8(records::VerdictWord(d->verdict)));
  ShowDownloadList(w);
}

bool ConfirmClose(MainWindow& w) {
  const int running = List(w).Running();
  if (running == 0) return true;
  const QString after = w.下载列表窗口->选择框_启动时继续->isChecked() ? QStringLiteral("，并在下次启动时继续。")
                                                                       : QStringLiteral("，可在下载列表中继续。");
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvel"),
                  QStringLiteral("还有 %1 个下载正在进行。关闭后它们会暂停").arg(running) + after,
                  QMessageBox::NoButton, &w);
  QPushButton* close = box.addButton(QStringLiteral("关闭"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("继续下载"), QMessageBox::RejectRole);
  box.setDefaultButton(close);
  box.exec();
  return box.clickedButton() == close;
}

}  // namespace ui
