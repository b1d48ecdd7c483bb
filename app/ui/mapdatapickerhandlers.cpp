#include "mapdatapickerhandlers.h"

#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "downloadhandlers.h"
#include "downloadlisthandlers.h"
#include "mainwindow.h"
#include "mapdata.h"
#include "mapdatapicker.h"
#include "packagestate.h"
#include "widgettext.h"

namespace ui {

namespace {

// The kind of row `row` as the main window's boxes choose it now.
catalogue::MapDataChoice ChoiceOf(MainWindow& w, int row) {
  catalogue::MapDataChoice choice;
  choice.row = row;
  choice.version = Utf8(w.编辑框_图资->text().trimmed());
  choice.incremental = Utf8(w.编辑框_增量更新->text().trimmed());
  choice.btMode = w.选择框_下载模式->isChecked();
  choice.secondPart = w.选择框_下载开关->isChecked();
  return choice;
}

// A row's kind can be fetched now: a version is typed, and an update identifier where it needs one.
bool Available(const catalogue::MapDataChoice& c) {
  return !c.version.empty() && (!catalogue::TakesUpdateIdentifier(c.row) || !c.incremental.empty());
}

void SetText(QTreeWidgetItem* item, int column, const QString& text) {
  if (item->text(column) != text) item->setText(column, text);  // no repaint for the same text
}

void ShowRow(MainWindow& w, QTreeWidgetItem* item) {
  const catalogue::MapDataChoice choice = ChoiceOf(w, item->data(MapDataPicker::kKind, Qt::UserRole).toInt());
  const bool available = Available(choice);
  item->setDisabled(!available);
  if (!available) {
    SetText(item, MapDataPicker::kFile, QString());
    SetText(item, MapDataPicker::kState, choice.version.empty() ? QString() : QStringLiteral("需要增量更新编号"));
    return;
  }
  std::optional<common::DownloadOrder> order = catalogue::MapDataAddress(choice, w.state.servers.download);
  if (!order) return;
  order->folder = Utf8(w.编辑框_保存目录->text());
  const session::PackageInFolder there = session::StateInFolder(*order, w.state.session.rows());
  SetText(item, MapDataPicker::kFile, QString::fromStdString(order->name));
  SetText(item, MapDataPicker::kState, QString::fromStdString(session::PackageWords(there)));
}

void TickAll(MainWindow& w, bool ticked) {
  QTreeWidget* list = w.图资选择窗口->列表_图资;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    item->setCheckState(MapDataPicker::kKind, ticked && !item->isDisabled() ? Qt::Checked : Qt::Unchecked);
  }
}

// The ticked kinds in the catalogue's order, each a row of the list (a complete one only when
// the user says so).
void StartTicked(MainWindow& w) {
  MapDataPicker& p = *w.图资选择窗口;
  int started = 0, ticked = 0;
  for (int i = 0; i < p.列表_图资->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = p.列表_图资->topLevelItem(i);
    if (item->isDisabled() || item->checkState(MapDataPicker::kKind) != Qt::Checked) continue;
    ++ticked;
    std::optional<common::DownloadOrder> order = catalogue::MapDataAddress(ChoiceOf(w, i), w.state.servers.download);
    if (!order) continue;
    order->folder = Utf8(w.编辑框_保存目录->text());
    const common::DownloadOrder asked = *order;
    StartDownload(w, std::move(*order));
    const std::vector<session::ListedDownload>& rows = w.state.session.rows();
    started += int(std::count_if(rows.begin(), rows.end(), [&](const session::ListedDownload& d) {
      return d.order.folder == asked.folder && d.order.name == asked.name &&
             (d.state == session::ListState::kWaiting || d.state == session::ListState::kRunning);
    }));
  }
  p.标签_图资提示->setText(ticked == 0 ? QStringLiteral("请先勾选要下载的图资。")
                                       : QStringLiteral("已加入下载列表：%1 个图资。").arg(started));
  RefreshMapDataPicker(w);
  if (started > 0) OpenDownloadList(w);
}

}  // namespace

void WireMapDataPicker(MainWindow& w) {
  MapDataPicker::Handlers& h = w.图资选择窗口->handlers;
  h.selectAll = [&w] { TickAll(w, true); };
  h.selectNone = [&w] { TickAll(w, false); };
  h.start = [&w] { StartTicked(w); };
  h.refresh = [&w] { RefreshMapDataPicker(w); };
}

void OpenMapDataPicker(MainWindow& w) {
  w.图资选择窗口->标签_图资提示->clear();
  RefreshMapDataPicker(w);
  w.图资选择窗口->show();
  w.图资选择窗口->raise();
  w.图资选择窗口->activateWindow();
}

void RefreshMapDataPicker(MainWindow& w) {
  MapDataPicker& p = *w.图资选择窗口;
  const QString version = w.编辑框_图资->text().trimmed();
  const QString folder = w.编辑框_保存目录->text();
  const QString heading = version.isEmpty() ? QStringLiteral("请先在主窗口填写图资版本（如 3m21j27）。")
                                            : QStringLiteral("图资版本 %1，保存目录：%2").arg(version, folder);
  if (p.标签_图资版本->text() != heading) p.标签_图资版本->setText(heading);
  p.按钮_开始下载->setEnabled(!version.isEmpty());
  for (int i = 0; i < p.列表_图资->topLevelItemCount(); ++i) ShowRow(w, p.列表_图资->topLevelItem(i));
}

}  // namespace ui
