#include "releasecheck.h"

#include <QDate>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>

#include "controls.h"
#include "mainwindow.h"
#include "searchhandlers.h"
#include "settingstable.h"
#include "widgettext.h"

namespace ui {

namespace {

std::string Today() { return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString(); }

void Announce(MainWindow& w, const std::string& device, const catalogue::ReleaseRow& row) {
  AppendReleaseRow(w, row);
  w.超级列表框->setCurrentItem(w.超级列表框->topLevelItem(w.超级列表框->topLevelItemCount() - 1));
  const QString text = QStringLiteral("设备 %1：%2（%3）\n已列在主窗口的列表中。")
                           .arg(QString::fromStdString(device), QString::fromStdString(row.version),
                                QString::fromStdString(row.releaseDate));
  if (w.托盘图标) {
    w.托盘图标->showMessage(QStringLiteral("有新的主程序"), text, QSystemTrayIcon::Information, 15000);
    return;
  }
  w.气球提示框1->popUp(QStringLiteral("有新的主程序：") + text, w.超级列表框->mapToGlobal(QPoint(0, 0)));
}

}  // namespace

void StartReleaseCheck(MainWindow& w) {
  // The device the settings keep, not what is typed: the check is of the user's own device.
  const std::string device = core::ReadSetting(core::kDeviceNumber);
  if (!core::ReleaseCheckDue(core::ReadSwitch(core::kCheckNewRelease), device,
                             core::ReadSetting(core::kLastReleaseSeen), core::ReadSetting(core::kReleaseCheckDay),
                             Today()))
    return;
  core::WriteSetting(core::kReleaseCheckDay, Today());  // once a day, whatever comes of it
  w.state.releaseWatch.Start(device, w.state.servers);
  w.时钟_新版本->start(250);
}

void PollReleaseCheck(MainWindow& w) {
  std::optional<catalogue::ReleaseSearch> found = w.state.releaseWatch.Take();
  if (!found) return;
  w.时钟_新版本->stop();
  const std::string device = core::ReadSetting(core::kDeviceNumber);
  using Outcome = catalogue::ReleaseSearch::Outcome;
  if (found->outcome == Outcome::kFailed || found->outcome == Outcome::kTooSlow) {
    if (w.state.windowMessage.empty()) w.state.windowMessage = "检查新版本失败：" + found->status;
    return;
  }
  if (found->outcome != Outcome::kFound) return;
  if (core::IsNewRelease(core::ReadSetting(core::kLastReleaseSeen), device, found->row))
    Announce(w, device, found->row);
  core::WriteSetting(core::kLastReleaseSeen, core::SeenText(device, found->row));
}

void StopReleaseCheck(MainWindow& w) {
  w.时钟_新版本->stop();
  w.state.releaseWatch.Stop();
}

}  // namespace ui
