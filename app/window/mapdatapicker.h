#pragma once
// 图资选择 (the map-data picker): every kind of 组合框_图资 with a tick box and its file's state in
// the save folder, for the version typed in the main window; the ticked ones start together as
// rows of the download list. Like the other windows, it holds its controls under their names
// and routes each event to one handler.
#include <functional>

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

class MapDataPicker : public QWidget {
  Q_OBJECT

 public:
  MapDataPicker();

  // Columns of 列表_图资; a row's tick box is in kKind, its kind's number in kKind's user data.
  enum Column { kKind, kFile, kState, kColumns };

  struct Handlers {
    std::function<void()> selectAll;   // 按钮_全选: every kind that needs no update identifier
    std::function<void()> selectNone;  // 按钮_全不选
    std::function<void()> start;       // 按钮_开始下载
    std::function<void()> refresh;     // 时钟_图资: the states again while it is shown
  } handlers;

  QLabel* 标签_图资版本;  // the version and the folder the states are of
  QTreeWidget* 列表_图资;
  QPushButton* 按钮_全选;
  QPushButton* 按钮_全不选;
  QPushButton* 按钮_开始下载;
  QLabel* 标签_图资提示;  // why nothing started, what was started
  QTimer* 时钟_图资;      // runs while the picker is shown

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};
