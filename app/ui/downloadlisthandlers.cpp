#include "downloadlisthandlers.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

#include "archivecheck.h"
#include "controls.h"
#include "downloadlistfile.h"
#include "downloadlistwindow.h"
#include "failurewords.h"
#include "mainwindow.h"
#include "progressfigures.h"
#include "registryfile.h"
#include "servers.h"
#include "swarmjobs.h"

namespace ui {

namespace {

constexpr const char* kResumeAtStart = "Quorvel\\启动时继续下载";
constexpr const char* kSpeedLimit = "Quorvel\\限速";  // KiB a second, 0 or empty: none
constexpr const char* kAtOnce = "Quorvel\\同时下载";
constexpr const char* kSwarmAtOnce = "Quorvel\\种子自动下载内容";

session::DownloadList& List(MainWindow& w) { return w.state.session.list; }

QString Size(std::int64_t bytes) {
  return bytes > 0 ? QLocale::c().formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat) : QString();
}

QString TimeLeft(const session::ListedDownload& d) {
  if (d.state != session::ListState::kRunning || d.speed <= 0 || d.total <= d.done) return QString();
  const std::int64_t s = (d.total - d.done) / d.speed;
  if (s >= 100 * 3600) return QStringLiteral("> 99 小时");
  return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

// The row chosen in 表格_下载; 0 when none.
int ChosenId(MainWindow& w) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  const int row = t->currentRow();
  if (row < 0 || !t->item(row, 0) || !t->currentItem() || !t->currentItem()->isSelected()) return 0;
  return t->item(row, 0)->data(Qt::UserRole).toInt();
}

void SetCell(QTableWidget* t, int row, int column, const QString& text) {
  QTableWidgetItem* item = t->item(row, column);
  if (!item) t->setItem(row, column, item = new QTableWidgetItem);
  if (item->text() != text) {
    item->setText(text);
    item->setToolTip(text);
  }
}

void ShowButtons(MainWindow& w) {
  using session::ListState;
  DownloadListWindow& l = *w.下载列表窗口;
  const session::ListedDownload* d = List(w).Find(ChosenId(w));
  const ListState s = d ? d->state : ListState::kCompleted;
  l.按钮_暂停->setEnabled(d && (s == ListState::kRunning || s == ListState::kWaiting));
  l.按钮_继续->setEnabled(d && s == ListState::kPaused);
  l.按钮_重试->setEnabled(d && s == ListState::kFailed);
  l.按钮_删除->setEnabled(d && s != ListState::kCompleted);
  l.按钮_移除->setEnabled(d && !(s == ListState::kRunning && d->task));
  l.按钮_打开目录->setEnabled(d != nullptr);
  l.按钮_校验->setEnabled(d && s == ListState::kCompleted && !d->torrentLink.empty() && !d->swarm);
  l.按钮_BT下载->setEnabled(d && s == ListState::kCompleted && !d->swarm && d->name.ends_with(".torrent"));
  if (d && s == ListState::kFailed)  // the whole reason and what to do, as long as the row is chosen
    l.标签_提示->setText(QString::fromStdString(session::StateWords(*d) + "\n" + records::FailureAdvice(d->failCode)));
}

void Refresh(MainWindow& w) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  const auto& rows = List(w).rows();
  const int chosen = ChosenId(w);
  t->setRowCount(int(rows.size()));
  // The newest first, as download windows list them.
  for (int i = 0; i < int(rows.size()); ++i) {
    const session::ListedDownload& d = rows[rows.size() - 1 - size_t(i)];
    SetCell(t, i, DownloadListWindow::kName, QString::fromStdString(d.name));
    t->item(i, 0)->setData(Qt::UserRole, d.id);
    SetCell(t, i, DownloadListWindow::kSize, Size(d.total));
    SetCell(t, i, DownloadListWindow::kProgress,
            d.total > 0 ? QString::number(100.0 * double(d.done) / double(d.total), 'f', 1) + u'%' : QString());
    SetCell(t, i, DownloadListWindow::kSpeed,
            d.state == session::ListState::kRunning && d.speed > 0 ? Size(d.speed) + QStringLiteral("/s") : QString());
    SetCell(t, i, DownloadListWindow::kTimeLeft, TimeLeft(d));
    SetCell(t, i, DownloadListWindow::kState, QString::fromStdString(session::StateWords(d)));
    SetCell(t, i, DownloadListWindow::kSource,
            d.swarm ? (d.state == session::ListState::kRunning
                           ? QStringLiteral("BT 网络（对端 %1，种子 %2）").arg(d.peers).arg(d.seeds)
                           : QStringLiteral("BT 网络"))
                    : QStringLiteral("服务器 ") + QUrl(QString::fromStdString(d.url)).host());
    if (d.id == chosen && t->currentRow() != i) t->selectRow(i);
  }
  ShowButtons(w);
}

void Save(MainWindow& w) {
  if (List(w).TakeChanged() && !session::WriteListFile(session::ListFilePath(), List(w).rows()))
    w.下载列表窗口->标签_提示->setText(QStringLiteral("下载列表无法保存：") +
                                       QString::fromStdString(session::ListFilePath()));
}

// A desktop notification naming the file: the tray's message, or the balloon over the main
// window's status bar where the desktop has no tray.
void Announce(MainWindow& w, const session::ListEvent& e) {
  const bool done = e.state == session::ListState::kCompleted;
  const QString title = done ? QStringLiteral("下载完毕") : QStringLiteral("下载失败");
  const QString text = QString::fromStdString(e.name) + u'\n' + QString::fromStdString(done ? e.folder : e.words);
  if (w.托盘图标) {
    w.托盘图标->showMessage(title, text, done ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning, 10000);
    return;
  }
  const session::ListedDownload* d = List(w).Find(e.id);
  if (d && d->task == w.state.session.currentTask) return;  // the main window's display says it already
  w.气球提示框1->popUp(title + QStringLiteral("：") + text, w.状态条2->mapToGlobal(QPoint(0, 0)));
}

void Act(MainWindow& w, bool (session::DownloadList::*action)(int)) {
  const int id = ChosenId(w);
  const session::ListedDownload* d = List(w).Find(id);
  // A swarm row's job stops first: a pause keeps its resume data, a cancel deletes its files.
  if (d && d->swarm && (action == &session::DownloadList::Pause || action == &session::DownloadList::Cancel))
    StopSwarm(w, id, action == &session::DownloadList::Cancel);
  (List(w).*action)(id);
  TickDownloadList(w);
}

void ApplySettings(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  List(w).maxRunning = l.数值框_同时下载->value();
  if (w.state.session.engine.setDownloadLimit) w.state.session.engine.setDownloadLimit(l.数值框_限速->value() * 1024LL);
}

void SettingChanged(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  const std::string file = core::SettingsFilePath();
  core::registry::WriteText(file, kResumeAtStart, l.选择框_启动时继续->isChecked() ? "1" : "0");
  core::registry::WriteText(file, kSpeedLimit, std::to_string(l.数值框_限速->value()));
  core::registry::WriteText(file, kAtOnce, std::to_string(l.数值框_同时下载->value()));
  core::registry::WriteText(file, kSwarmAtOnce, l.选择框_自动BT->isChecked() ? "1" : "0");
  ApplySettings(w);
  TickDownloadList(w);
}

void ShowFolder(MainWindow& w) {
  const session::ListedDownload* d = List(w).Find(ChosenId(w));
  if (!d) return;
  const QString folder = QString::fromStdString(d->folder);
  w.下载列表窗口->标签_提示->setText(OpenFolder(folder) ? QString() : QStringLiteral("无法打开目录：") + folder);
}

}  // namespace

bool OpenFolder(const QString& folder) {
  return QDir(folder).exists() && QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void WireDownloadList(MainWindow& w) {
  DownloadListWindow::Handlers& h = w.下载列表窗口->handlers;
  h.pause = [&w] { Act(w, &session::DownloadList::Pause); };
  h.resume = [&w] { Act(w, &session::DownloadList::Resume); };
  h.retry = [&w] { Act(w, &session::DownloadList::Retry); };
  h.cancel = [&w] { Act(w, &session::DownloadList::Cancel); };
  h.remove = [&w] { Act(w, &session::DownloadList::Remove); };
  h.openFolder = [&w] { ShowFolder(w); };
  h.verify = [&w] { CheckRow(w, ChosenId(w)); };
  h.swarm = [&w] {
    if (ContinueThroughSwarm(w, ChosenId(w))) TickDownloadList(w);
  };
  h.choose = [&w] { ShowButtons(w); };
  h.settingChanged = [&w] { SettingChanged(w); };
  h.tick = [&w] { TickDownloadList(w); };
}

void LoadDownloadList(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  const std::string file = core::SettingsFilePath();
  const QSignalBlocker b1(l.选择框_启动时继续), b2(l.数值框_限速), b3(l.数值框_同时下载), b4(l.选择框_自动BT);
  l.选择框_自动BT->setChecked(core::registry::ReadText(file, kSwarmAtOnce) == "1");
  l.选择框_启动时继续->setChecked(core::registry::ReadText(file, kResumeAtStart) != "0");
  l.数值框_限速->setValue(QString::fromStdString(core::registry::ReadText(file, kSpeedLimit)).toInt());
  const int atOnce = QString::fromStdString(core::registry::ReadText(file, kAtOnce)).toInt();
  l.数值框_同时下载->setValue(atOnce > 0 ? atOnce : 3);
  ApplySettings(w);
  List(w).Restore(session::ReadListFile(session::ListFilePath()), l.选择框_启动时继续->isChecked());
  l.时钟_列表->start();
  TickDownloadList(w);
}

void StoreDownloadList(MainWindow& w) {
  w.下载列表窗口->时钟_列表->stop();
  StopAllSwarms(w);  // their rows stay running in the file: they go on at the next start
  List(w).Refresh();
  Save(w);
}

void OpenDownloadList(MainWindow& w) {
  DownloadListWindow* l = w.下载列表窗口;
  Refresh(w);
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
}

void TickDownloadList(MainWindow& w) {
  if (w.state.shuttingDown) return;
  FollowSwarms(w);
  for (const session::ListEvent& e : List(w).Tick()) {
    Announce(w, e);
    if (e.state == session::ListState::kCompleted && e.name.ends_with(".torrent") &&
        w.下载列表窗口->选择框_自动BT->isChecked())
      ContinueThroughSwarm(w, e.id);
    const session::ListedDownload* d = List(w).Find(e.id);
    if (d && e.state == session::ListState::kCompleted && !d->torrentLink.empty() &&
        d->verdict == session::CheckVerdict::kNone)
      CheckRow(w, e.id);
  }
  Save(w);
  if (w.下载列表窗口->isVisible()) Refresh(w);
}

bool ConfirmClose(MainWindow& w) {
  const int running = List(w).Running();
  if (running == 0) return true;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvel"),
                  QStringLiteral("还有 %1 个下载正在进行。关闭后它们会暂停，并在下次启动时继续。").arg(running),
                  QMessageBox::NoButton, &w);
  QPushButton* close = box.addButton(QStringLiteral("关闭"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("继续下载"), QMessageBox::RejectRole);
  box.setDefaultButton(close);
  box.exec();
  return box.clickedButton() == close;
}

}  // namespace ui
