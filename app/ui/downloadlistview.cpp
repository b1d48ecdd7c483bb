#include "downloadlistview.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>

#include "downloadlistwindow.h"
#include "mainwindow.h"
#include "servers.h"
#include "sizes.h"

namespace ui {

namespace {

using session::ListState;

const session::DownloadList& List(const MainWindow& w) { return w.state.session; }

QString TimeLeft(const session::ListedDownload& d) {
  if (d.state != ListState::kRunning || d.speed <= 0 || d.total <= d.done) return QString();
  const std::int64_t s = (d.total - d.done) / d.speed;
  if (s >= 100 * 3600) return QStringLiteral("> 99 小时");
  return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

QString Source(const session::ListedDownload& d) {
  if (!d.Swarm()) return QStringLiteral("服务器 ") + QUrl(QString::fromStdString(d.url())).host();
  if (d.state != ListState::kRunning) return QStringLiteral("BT 网络");
  return QStringLiteral("BT 网络（对端 %1，种子 %2）").arg(d.peers).arg(d.seeds);
}

void SetCell(QTableWidget* t, int row, int column, const QString& text) {
  QTableWidgetItem* item = t->item(row, column);
  if (!item) t->setItem(row, column, item = new QTableWidgetItem);
  if (item->text() != text) {
    item->setText(text);
    item->setToolTip(text);
  }
}

void ShowRow(QTableWidget* t, int i, const session::ListedDownload& d) {
  SetCell(t, i, DownloadListWindow::kName, QString::fromStdString(d.order.name));
  t->item(i, 0)->setData(Qt::UserRole, d.id);
  SetCell(t, i, DownloadListWindow::kSize, d.total > 0 ? QString::fromStdString(common::SizeText(d.total)) : QString());
  SetCell(t, i, DownloadListWindow::kProgress,
          d.total > 0 ? QString::number(100.0 * double(d.done) / double(d.total), 'f', 1) + u'%' : QString());
  SetCell(
      t, i, DownloadListWindow::kSpeed,
      d.state == ListState::kRunning && d.speed > 0 ? QString::fromStdString(common::RateText(d.speed)) : QString());
  SetCell(t, i, DownloadListWindow::kTimeLeft, TimeLeft(d));
  SetCell(t, i, DownloadListWindow::kState, QString::fromStdString(session::StateWords(d)));
  SetCell(t, i, DownloadListWindow::kSource, Source(d));
}

void ShowButtons(MainWindow& w, const session::ListedDownload* d) {
  DownloadListWindow& l = *w.下载列表窗口;
  const ListState s = d ? d->state : ListState::kCompleted;
  l.按钮_暂停->setEnabled(d && (s == ListState::kRunning || s == ListState::kWaiting));
  l.按钮_继续->setEnabled(d && s == ListState::kPaused);
  l.按钮_重试->setEnabled(d && s == ListState::kFailed);
  l.按钮_删除->setEnabled(d && s != ListState::kCompleted);
  l.按钮_移除->setEnabled(d && !(s == ListState::kRunning && (d->task || d->Swarm())));
  l.按钮_打开目录->setEnabled(d != nullptr);
  l.按钮_校验->setEnabled(d && s == ListState::kCompleted && !d->order.torrent.empty() && !d->Swarm());
  l.按钮_修复->setEnabled(d && s == ListState::kCompleted && d->verdict == session::CheckVerdict::kFailed &&
                          !d->order.torrent.empty() && !d->order.address().empty() && !d->Swarm());
  l.按钮_BT下载->setEnabled(d && s == ListState::kCompleted && d->order.IsTorrent());
}

// The chosen row's, else the display's download's, else why the last start made no row.
QString Hint(MainWindow& w) {
  if (const session::ListedDownload* chosen = List(w).Find(ChosenId(w))) return HintFor(w, *chosen);
  if (const session::ListedDownload* current = List(w).Find(List(w).currentTask)) {
    const QString hint = HintFor(w, *current);
    if (!hint.isEmpty()) return hint;
  }
  return QString::fromStdString(w.state.windowMessage);
}

}  // namespace

int ChosenId(MainWindow& w) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  const int row = t->currentRow();
  if (row < 0 || !t->item(row, 0) || !t->currentItem() || !t->currentItem()->isSelected()) return 0;
  return t->item(row, 0)->data(Qt::UserRole).toInt();
}

void ChooseNone(MainWindow& w) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  t->clearSelection();
  t->setCurrentItem(nullptr);
}

void Choose(MainWindow& w, int id) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  for (int i = 0; i < t->rowCount(); ++i)
    if (t->item(i, 0) && t->item(i, 0)->data(Qt::UserRole).toInt() == id) t->selectRow(i);
}

QString HintFor(const MainWindow& w, const session::ListedDownload& d) {
  if (!d.note.empty()) return QString::fromStdString(d.note);
  // A failed check's words, and a repair's (what it fetched), which the state column shortens.
  if (d.state == ListState::kCompleted && d.verdict != session::CheckVerdict::kNone &&
      d.verdictText != records::VerdictWord(d.verdict))
    return QString::fromStdString(d.verdictText);
  if (d.state != ListState::kFailed) return QString();
  std::string text = "下载失败：" + session::FailureWords(d);
  if (const std::string advice = records::FailureAdvice(d.failCode); !advice.empty()) text += "\n" + advice;
  if (records::UnreachableServer(d.failCode))
    text += "\n" + core::WhereServerIsChosen(core::Server::kDownload, w.state.servers.download, false);
  return QString::fromStdString(text);
}

void ShowDownloadList(MainWindow& w) {
  DownloadListWindow& l = *w.下载列表窗口;
  if (l.isVisible()) {
    QTableWidget* t = l.表格_下载;
    const auto& rows = List(w).rows();
    const int chosen = ChosenId(w);
    const QSignalBlocker quiet(t);  // the rows move under the choice; the choice stays the same row
    t->setRowCount(int(rows.size()));
    bool stillThere = false;
    for (int i = 0; i < int(rows.size()); ++i) {  // the newest first, as download windows list them
      const session::ListedDownload& d = rows[rows.size() - 1 - size_t(i)];
      ShowRow(t, i, d);
      if (d.id != chosen) continue;
      stillThere = true;
      if (t->currentRow() != i) t->selectRow(i);
    }
    if (chosen && !stillThere) ChooseNone(w);
    ShowButtons(w, List(w).Find(ChosenId(w)));
  }
  const QString hint = Hint(w);
  if (l.标签_提示->text() != hint) l.标签_提示->setText(hint);
}

}  // namespace ui
