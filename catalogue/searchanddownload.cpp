#include "searchanddownload.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
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

void Pump() { QCoreApplication::processEvents(); }

}  // namespace

void SearchReleases(MainWindow& w) {
  const bool downloadNow = w.选择框_下载开关->isChecked();
  const ProgramState& s = w.state;
  const std::string page = HttpFetch(s.portalServer + kPortalPath, 1, ReleaseFormText(ToGbk(w.编辑框_渠道设备号->text())),
                                     nullptr, nullptr, {}, nullptr, false, {}, {}, {}, {}, {}, 0, nullptr, nullptr,
                                     nullptr, true, Pump);
  const ReleasePage r = ParseReleasePage(page, s.downloadServer, Pump);
  w.编辑框_版本->setText(FromGbk(r.version + " " + r.size));
  if (r.version.empty()) {
    w.编辑框_版本->setText(QStringLiteral("查无结果！"));
    return;
  }
  auto* row = new QTreeWidgetItem();
  w.超级列表框->addTopLevelItem(row);
  const QString cells[10] = {
      QString::number(w.超级列表框->topLevelItemCount()), FromGbk(r.version), FromGbk(r.releaseDate),
      FromGbk(r.size), QString::fromStdString(ProbeRemoteSize(r.torrentLink, Pump)), FromGbk(r.programLink),
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
