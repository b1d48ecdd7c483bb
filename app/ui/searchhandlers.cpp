#include "searchhandlers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "controls.h"
#include "downloadhandlers.h"
#include "eventpump.h"
#include "mainwindow.h"
#include "mapdata.h"
#include "releasesearch.h"
#include "releasewatch.h"
#include "servers.h"
#include "settingstable.h"
#include "widgettext.h"

namespace ui {

namespace {

// Lets the window's events run while a search waits; the wait ends once the window closes.
common::EventPump PumpFor(MainWindow& w) {
  return [&w] {
    QCoreApplication::processEvents();
    return !w.state.shuttingDown;
  };
}

// A search's outcome where the user sees it: the balloon tip at the search button.
void Tell(MainWindow& w, const QString& text) {
  w.气球提示框1->popUp(text, w.按钮_渠道主程序搜索->mapToGlobal(QPoint(0, w.按钮_渠道主程序搜索->height())));
}

// While a search runs its button is disabled and the cursor shows work.
class SearchRunning {
 public:
  explicit SearchRunning(MainWindow& w) : w_(w) {
    w_.按钮_渠道主程序搜索->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~SearchRunning() {
    QApplication::restoreOverrideCursor();
    if (!w_.state.shuttingDown) w_.按钮_渠道主程序搜索->setEnabled(true);
  }

 private:
  MainWindow& w_;
};

}  // namespace

void AppendReleaseRow(MainWindow& w, const catalogue::ReleaseRow& r) {
  w.state.releases.push_back(r);  // what a double-click downloads: the row as found, not its cells
  auto* row = new QTreeWidgetItem();
  w.超级列表框->addTopLevelItem(row);
  const std::string cells[10] = {std::to_string(w.超级列表框->topLevelItemCount()),
                                 r.version,
                                 r.releaseDate,
                                 r.size,
                                 r.torrentSize,
                                 r.programLink,
                                 r.torrentLink,
                                 r.companionMaps,
                                 r.mapName,
                                 r.mapLink};
  for (int column = 0; column < 10; ++column) {
    row->setText(column, QString::fromStdString(cells[column]));
    row->setTextAlignment(column, Qt::Alignment::fromInt(w.超级列表框->headerItem()->textAlignment(column)));
  }
  w.超级列表框->scrollToItem(row);
}

void SearchReleases(MainWindow& w) {
  if (w.state.shuttingDown || !w.按钮_渠道主程序搜索->isEnabled()) return;
  SearchRunning running(w);
  const bool downloadNow = w.选择框_下载开关->isChecked();
  using Outcome = catalogue::ReleaseSearch::Outcome;
  const catalogue::ReleaseSearch found =
      catalogue::SearchRelease(Units(w.编辑框_渠道设备号->text()), w.state.servers, PumpFor(w));
  if (found.outcome == Outcome::kStopped) return;  // the window closed meanwhile: nothing more happens
  w.编辑框_版本->setText(QString::fromStdString(found.versionLine));
  if (found.outcome != Outcome::kFound) {
    w.编辑框_版本->setText(QStringLiteral("查无结果！"));
    Tell(w, found.outcome == Outcome::kFailed
                ? QStringLiteral("搜索失败：") + QString::fromStdString(found.status) + QStringLiteral("\n") +
                      QString::fromStdString(
                          core::WhereServerIsChosen(core::Server::kPortal, w.state.servers.portal, false)) +
                      QStringLiteral("\n请检查网络连接后再试。")
            : found.outcome == Outcome::kTooSlow ? QString::fromUtf8(catalogue::kTooSlowWords)
                                                 : QStringLiteral("查无结果！没有这个设备号的主程序。"));
    return;
  }
  // The release seen for this device: the day's check announces only another one.
  core::WriteSetting(core::kLastReleaseSeen, core::SeenText(Utf8(w.编辑框_渠道设备号->text()), found.row));
  AppendReleaseRow(w, found.row);
  if (downloadNow) StartDownload(w, catalogue::DownloadOf(found.row, w.选择框_下载模式->isChecked()));
}

void SelectMapDataKind(MainWindow& w) {
  const int row = w.组合框_图资->currentIndex();
  if (catalogue::TakesUpdateIdentifier(row)) {
    w.编辑框_增量更新->setEnabled(true);
    w.编辑框_增量更新->clear();
    w.编辑框_增量更新->setFocus();
    return;
  }
  if (auto hint = catalogue::RegionHint(row)) w.气球提示框1->popUp(QString::fromStdString(*hint), QCursor::pos());
  w.编辑框_增量更新->setEnabled(false);
  w.编辑框_增量更新->clear();
}

void DownloadMapData(MainWindow& w) {
  catalogue::MapDataChoice choice;
  choice.row = w.组合框_图资->currentIndex();
  choice.version = Utf8(w.编辑框_图资->text());
  choice.incremental = Utf8(w.编辑框_增量更新->text());
  choice.btMode = w.选择框_下载模式->isChecked();
  choice.secondPart = w.选择框_下载开关->isChecked();
  if (auto order = catalogue::MapDataAddress(choice, w.state.servers.download)) StartDownload(w, std::move(*order));
}

}  // namespace ui
