#pragma once
// The download list window (下载列表): every download of this run and earlier ones, one row
// each, the actions on the chosen row, and the settings that concern all downloads. Like the
// main window, it holds its controls under their names and routes each event to one handler.
#include <functional>

#include <QWidget>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

class DownloadListWindow : public QWidget {
  Q_OBJECT

 public:
  DownloadListWindow();

  // Columns of 表格_下载.
  enum Column { kName, kSize, kProgress, kSpeed, kTimeLeft, kState, kSource, kColumns };

  struct Handlers {
    std::function<void()> pause, resume, retry, cancel, remove, openFolder, verify, repair, swarm;  // the buttons
    std::function<void()> clearFinished;   // 按钮_清除已完成
    std::function<void()> addDownload;     // 按钮_添加下载: an address pasted by hand
    std::function<void()> openFile;        // 按钮_打开文件
    std::function<void()> arrange;         // 编辑框_筛选 edited, or a column's heading clicked
    std::function<void()> pickMapData;     // 按钮_图资: several map-data kinds at once
    std::function<void()> toggle;          // Space: pause a running row, continue a paused one
    std::function<void()> copyAddress;     // Ctrl+C
    std::function<void()> choose;          // another row chosen: which buttons apply
    std::function<void()> settingChanged;  // 选择框_启动时继续, 数值框_限速 or 数值框_同时下载
    std::function<void()> tick;            // 时钟_列表
  } handlers;

  QLineEdit* 编辑框_筛选;  // shows only the rows whose name or address holds its text
  QPushButton* 按钮_添加下载;
  QTableWidget* 表格_下载;  // several rows may be chosen: the buttons act on each of them
  int sortColumn = -1;      // the column the rows are ordered by; -1: the newest first
  Qt::SortOrder sortOrder = Qt::AscendingOrder;
  QPushButton* 按钮_暂停;
  QPushButton* 按钮_继续;
  QPushButton* 按钮_重试;
  QPushButton* 按钮_删除;  // cancel: stops the download and deletes its partial data
  QPushButton* 按钮_移除;
  QPushButton* 按钮_打开目录;
  QPushButton* 按钮_打开文件;  // a completed one, with the desktop's program for its type
  QPushButton* 按钮_校验;
  QPushButton* 按钮_修复;        // fetches a checked archive's bad pieces again
  QPushButton* 按钮_BT下载;      // a downloaded torrent's content, through the swarm
  QPushButton* 按钮_清除已完成;  // the completed rows leave the list; their files stay
  QPushButton* 按钮_图资;
  QCheckBox* 选择框_启动时继续;
  QCheckBox* 选择框_自动BT;      // a torrent downloaded in BT mode goes on with its content at once
  QCheckBox* 选择框_检查新版本;  // the saved device's new release looked for once a day
  QLabel* 标签_限速;
  QSpinBox* 数值框_限速;  // KiB a second for all downloads together; 0: no limit
  QLabel* 标签_同时下载;
  QSpinBox* 数值框_同时下载;
  QLabel* 标签_提示;  // what the chosen row has to say: why it failed and what to do, what an action could not do
  QTimer* 时钟_列表;  // follows the downloads, also while the window is hidden

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MakeTable();
  QHBoxLayout* MakeFilter();
  void ShowMenu(const QPoint& at);
  QHBoxLayout* MakeButtons();
  QHBoxLayout* MakeSettings();
  void RouteEvents();
};
