#pragma once
// The main window: every control under the name the program gives it, the table that routes
// each control event to its one handler, and the created / about-to-be-destroyed events.
// The window's classes stay outside a namespace: their class names are the type selectors of
// the skins' style sheets ("StatusBar QLabel") and what the tests read of each control.
#include <functional>
#include <optional>
#include <vector>

#include <QWidget>

#include "programstate.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

class QSystemTrayIcon;

class BalloonTip;
class DownloadListWindow;
class MapDataPicker;
class ProbeWindow;
class StatusBar;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(core::ProgramState& state);
  ~MainWindow() override;

  // The one handler of each routed control event; no other control event is handled.
  struct Handlers {
    std::function<void()> searchReleases;            // 按钮_渠道主程序搜索 clicked
    std::function<void()> releaseListDoubleClicked;  // 超级列表框 double-clicked
    std::function<void()> selectMapDataKind;         // 组合框_图资 current item changed
    std::function<void()> downloadMapData;           // 按钮_图资下载 clicked
    std::function<void()> downloadModeClicked;       // 选择框_下载模式 clicked
    std::function<void()> chooseFolderFromButton;    // 按钮_选择目录 clicked
    std::function<void()> chooseFolderFromEdit;      // 编辑框_保存目录 double-clicked
    std::function<void()> cancelDownload;            // 按钮_取消 clicked
    std::function<void()> pollProgress;              // 时钟_下载 tick
    std::function<void()> probeDataArrived;          // 客户1 on ProbeWindow: data arrived; never set, as
                                                     // the size probe reads its answer itself
    std::function<void()> openCompletedFolder;       // 状态条2's first part double-clicked
    std::function<void()> openDownloadList;          // Ctrl+J, a click on the progress (进度条1 or
                                                     // 状态条2's last part), the tray icon
    std::function<void()> pollReleaseCheck;          // 时钟_新版本 tick: the background search's end
    std::function<void()> pickMapData;               // the menu of 组合框_图资 and 按钮_图资下载: several
                                                     // kinds at once
    std::function<bool()> confirmClose;              // the window is closing: false keeps it open
  } handlers;

  struct Step {
    const char* name;
    std::function<void()> run;
  };
  std::vector<Step> createdSteps;   // the rest of start-up, in order
  std::vector<Step> shutdownSteps;  // run once when the window is about to be destroyed

  // The created event. A step that ends the program sets endProgram; no later step runs.
  void RunCreatedEvent();
  std::optional<int> endProgram;

  core::ProgramState& state;

  QGroupBox* 分组框_主程序;
  QLabel* 标签_设备号;
  QLineEdit* 编辑框_渠道设备号;
  QPushButton* 按钮_渠道主程序搜索;
  QCheckBox* 选择框_下载开关;
  QLineEdit* 编辑框_图资;
  QComboBox* 组合框_图资;
  QLineEdit* 编辑框_增量更新;
  QPushButton* 按钮_图资下载;
  QLineEdit* 编辑框_版本;
  QTreeWidget* 超级列表框;
  BalloonTip* 气球提示框1;

  QGroupBox* 分组框_高速下载;
  QLabel* 标签_文件名;
  QLineEdit* 编辑框_保存文件名;
  QCheckBox* 选择框_下载模式;
  QPushButton* 按钮_取消;
  QLineEdit* 编辑框_下载地址;
  QTimer* 时钟_下载;
  QTimer* 时钟_新版本;  // runs while the day's search for a new release runs
  QLabel* 标签_保存目录;
  QLineEdit* 编辑框_保存目录;
  QPushButton* 按钮_选择目录;
  StatusBar* 状态条1;
  QProgressBar* 进度条1;
  StatusBar* 状态条2;

  ProbeWindow* probeWindow;
  DownloadListWindow* 下载列表窗口;  // its own window, hidden until opened
  MapDataPicker* 图资选择窗口;       // likewise
  QSystemTrayIcon* 托盘图标;         // null where the desktop has no tray

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSearchGroup();
  void BuildDownloadGroup();
  void BuildTrayIcon();
  void ConnectEvents();
  void Dispatch(const std::function<void()>& handler);
  bool shutDown_ = false;
};

// What a failure text too long for 状态条2's first part ends with there: a click on the part
// opens the download list, which shows the whole text.
inline constexpr const char* kSeeTheList = "（点此查看）";

// The captions of 状态条1 while nothing is downloading.
void ShowIdleCaptions(StatusBar* bar);

// Sets the period of a window timer in milliseconds; 0 stops it.
void SetTimerPeriod(QTimer* timer, int milliseconds);
