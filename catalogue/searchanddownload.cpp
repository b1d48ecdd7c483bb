#include "searchanddownload.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "controls.h"
#include "downloadsession.h"
#include "gbk.h"
#include "httpfetch.h"
#include "mainwindow.h"
#include "mapdata.h"
#include "releasepage.h"
#include "sizeprobe.h"

namespace {

QString FromGbk(const std::string& text) { return QString::fromStdU16String(gbk::Decode(text)); }
std::string ToGbk(const QString& text) { return gbk::Encode(text.toStdU16String(), false); }

// A name that came from a page, made safe to use inside the save folder.
QString SafeName(const QString& name) { return QString::fromStdString(SafeFileName(name.toStdString())); }

// Lets the window's events run while a search waits; the wait ends once the window closes.
EventPump PumpFor(MainWindow& w) {
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

void SearchReleases(MainWindow& w) {
  if (w.state.shuttingDown || !w.按钮_渠道主程序搜索->isEnabled()) return;
  SearchRunning running(w);
  const bool downloadNow = w.选择框_下载开关->isChecked();
  const ProgramState& s = w.state;
  const EventPump pump = PumpFor(w);
  std::string status;
  const std::string page = HttpFetch(s.portalServer + kPortalPath, 1, ReleaseFormText(ToGbk(w.编辑框_渠道设备号->text())),
                                     nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr, &status,
                                     nullptr, true, pump);
  if (s.shuttingDown) return;  // the window closed meanwhile: nothing more happens
  const ReleasePage r = ParseReleasePage(page, s.downloadServer, pump);
  w.编辑框_版本->setText(FromGbk(r.version + " " + r.size));
  if (r.version.empty()) {
    w.编辑框_版本->setText(QStringLiteral("查无结果！"));
    // The portal could not be asked, or answered an error or something else than its page.
    const bool failed = page.empty() || !status.starts_with("200");
    Tell(w, failed ? QStringLiteral("搜索失败：") + FromGbk(status) + QStringLiteral("\n请检查网络连接后再试。")
                   : QStringLiteral("查无结果！没有这个设备号的主程序。"));
    return;
  }
  auto* row = new QTreeWidgetItem();
  w.超级列表框->addTopLevelItem(row);
  const QString cells[10] = {
      QString::number(w.超级列表框->topLevelItemCount()), FromGbk(r.version), FromGbk(r.releaseDate),
      FromGbk(r.size), QString::fromStdString(ProbeRemoteSize(r.torrentLink, pump)), FromGbk(r.programLink),
      FromGbk(r.torrentLink), FromGbk(r.companionMaps), FromGbk(r.mapName), FromGbk(r.mapLink)};
  for (int column = 0; column < 10; ++column) {
    row->setText(column, cells[column]);
    row->setTextAlignment(column, Qt::Alignment::fromInt(w.超级列表框->headerItem()->textAlignment(column)));
  }
  w.超级列表框->scrollToItem(row);
  if (!downloadNow) return;
  const bool torrent = w.选择框_下载模式->isChecked();
  w.编辑框_下载地址->setText(torrent ? cells[6] : cells[5]);
  w.编辑框_保存文件名->setText(SafeName(cells[1] + (torrent ? QStringLiteral(".torrent") : QStringLiteral(".zip"))));
  StartDownload(w);
}

void SelectMapDataKind(MainWindow& w) {
  const int row = w.组合框_图资->currentIndex();
  if (row == 5 || row == 6) {
    w.编辑框_增量更新->setEnabled(true);
    w.编辑框_增量更新->clear();
    w.编辑框_增量更新->setFocus();
    return;
  }
  if (auto hint = RegionHint(row)) w.气球提示框1->popUp(QString::fromStdString(*hint), QCursor::pos());
  w.编辑框_增量更新->setEnabled(false);
  w.编辑框_增量更新->clear();
}

void DownloadMapData(MainWindow& w) {
  MapDataChoice choice;
  choice.row = w.组合框_图资->currentIndex();
  choice.version = w.编辑框_图资->text().toStdString();
  choice.incremental = w.编辑框_增量更新->text().toStdString();
  choice.btMode = w.选择框_下载模式->isChecked();
  choice.secondPart = w.选择框_下载开关->isChecked();
  auto download = MapDataAddress(choice, w.state.downloadServer);
  if (!download) return;
  w.编辑框_下载地址->setText(QString::fromStdString(download->address));
  w.编辑框_保存文件名->setText(SafeName(QString::fromStdString(download->fileName)));
  StartDownload(w);
}
