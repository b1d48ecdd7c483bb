#include "downloadlistview.h"

#include <algorithm>
#include <climits>

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
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

// What a column orders the rows by.
QVariant SortKey(const session::ListedDownload& d, int column) {
  switch (column) {
    case DownloadListWindow::kSize: return qlonglong(d.total);
    case DownloadListWindow::kProgress: return d.total > 0 ? double(d.done) / double(d.total) : -1.0;
    case DownloadListWindow::kSpeed: return d.state == ListState::kRunning ? d.speed : 0;
    case DownloadListWindow::kTimeLeft:
      return d.state == ListState::kRunning && d.speed > 0 ? qlonglong((d.total - d.done) / d.speed) : LLONG_MAX;
    case DownloadListWindow::kState: return QString::fromStdString(session::StateWords(d));
    case DownloadListWindow::kSource: return Source(d);
    default: return QString::fromStdString(d.order.name);
  }
}

// The rows the table shows, in its order: those the filter lets through, the newest first (as
// download windows list them), or by the column chosen.
std::vector<const session::ListedDownload*> ShownRows(MainWindow& w) {
  const DownloadListWindow& l = *w.下载列表窗口;
  const QString filter = l.编辑框_筛选->text().trimmed();
  std::vector<const session::ListedDownload*> shown;
  const auto& rows = List(w).rows();
  for (auto d = rows.rbegin(); d != rows.rend(); ++d)
    if (filter.isEmpty() || QString::fromStdString(d->order.name).contains(filter, Qt::CaseInsensitive) ||
        QString::fromStdString(d->url()).contains(filter, Qt::CaseInsensitive))
      shown.push_back(&*d);
  if (l.sortColumn < 0) return shown;
  // Each row's key once (a state's words are built, not stored), then ordered by them.
  std::vector<std::pair<QVariant, const session::ListedDownload*>> keyed;
  for (const session::ListedDownload* d : shown) keyed.emplace_back(SortKey(*d, l.sortColumn), d);
  std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    const auto order = QVariant::compare(a.first, b.first);
    return l.sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
  });
  for (size_t i = 0; i < keyed.size(); ++i) shown[i] = keyed[i].second;
  return shown;
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
  l.按钮_打开文件->setEnabled(d && s == ListState::kCompleted && !d->Swarm());
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

std::vector<int> ChosenIds(MainWindow& w) {
  QTableWidget* t = w.下载列表窗口->表格_下载;
  std::vector<int> ids;
  for (const QModelIndex& index : t->selectionModel()->selectedRows())
    if (QTableWidgetItem* item = t->item(index.row(), 0)) ids.push_back(item->data(Qt::UserRole).toInt());
  return ids;
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
    return QString::fromStdString(d.checkDetail.empty() ? d.verdictText : d.verdictText + "\n" + d.checkDetail);
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
    const std::vector<const session::ListedDownload*> rows = ShownRows(w);
    const int chosen = ChosenId(w);
    const std::vector<int> chosenIds = ChosenIds(w);
    const QSignalBlocker quiet(t);  // the rows move under the choice; the choice stays the same rows
    const QSignalBlocker quietChoice(t->selectionModel());
    t->setRowCount(int(rows.size()));
    t->clearSelection();
    for (int i = 0; i < int(rows.size()); ++i) {
      ShowRow(t, i, *rows[size_t(i)]);
      if (std::find(chosenIds.begin(), chosenIds.end(), rows[size_t(i)]->id) == chosenIds.end()) continue;
      const QModelIndex index = t->model()->index(i, 0);
      const auto how = QItemSelectionModel::Select | QItemSelectionModel::Rows;
      if (rows[size_t(i)]->id == chosen)
        t->selectionModel()->setCurrentIndex(index, how);
      else
        t->selectionModel()->select(index, how);
    }
    if (chosen && !List(w).Find(ChosenId(w))) ChooseNone(w);
    ShowButtons(w, List(w).Find(ChosenId(w)));
  }
  const QString hint = Hint(w);
  if (l.标签_提示->text() != hint) l.标签_提示->setText(hint);
}

}  // namespace ui
