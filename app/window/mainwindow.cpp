#include "mainwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>

#include "controls.h"
#include "downloadlistwindow.h"
#include "mapdata.h"
#include "mapdatapicker.h"
#include "progressfigures.h"

// The resources of a static library are registered by hand.
static void LoadWindowResources() { Q_INIT_RESOURCE(ui); }

namespace {

const char* const kTitle = "Quorvel（2020.02.02特别版）---By：Tavrin";

// Every control is created under its own name, at its place relative to its group.
template <typename Control>
Control* Place(QWidget* group, const char* name, int x, int y, int width, int height) {
  auto* control = new Control(group);
  control->setObjectName(QString::fromUtf8(name));
  control->setGeometry(x, y, width, height);
  return control;
}

template <typename Control>
Control* Place(QWidget* group, const char* name, int x, int y, int width, int height, const char* caption) {
  auto* control = Place<Control>(group, name, x, y, width, height);
  control->setText(QString::fromUtf8(caption));
  return control;
}

struct Column {
  const char* title;
  int width;
  int alignment;  // 0 left, 1 right
};

// Columns 5 to 9 have width 0: they carry each row's links and map names, unseen.
const Column kReleaseColumns[] = {
    {"序号", 40, 0},      {"版本号", 135, 0},       {"发布日期", 65, 1},          {"文件大小", 85, 1},
    {"种子大小", 65, 1},  {"主程序下载链接", 0, 0}, {"主程序种子下载链接", 0, 0}, {"配套图文件", 0, 0},
    {"主程序图资", 0, 0}, {"图资下载链接", 0, 0},
};

void SetUpReleaseColumns(QTreeWidget* list) {
  list->setColumnCount(std::size(kReleaseColumns));
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->header()->setStretchLastSection(false);
  QTreeWidgetItem* header = list->headerItem();
  for (int i = 0; i < int(std::size(kReleaseColumns)); ++i) {
    const Column& column = kReleaseColumns[i];
    header->setText(i, QString::fromUtf8(column.title));
    header->setTextAlignment(i, (column.alignment == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    list->setColumnWidth(i, column.width);
    list->setColumnHidden(i, column.width == 0);
  }
}

}  // namespace

void ShowIdleCaptions(StatusBar* bar) {
  bar->setPartText(0, QString::fromUtf8(records::kSpeedCaption));
  bar->setPartText(1, QString::fromUtf8(records::kDownloadedCaption));
  bar->setPartText(2, QString::fromUtf8(records::kTotalCaption));
}

void SetTimerPeriod(QTimer* timer, int milliseconds) {
  if (milliseconds <= 0) {
    timer->stop();
  } else {
    timer->start(milliseconds);
  }
}

MainWindow::MainWindow(core::ProgramState& programState) : state(programState) {
  setWindowTitle(QString::fromUtf8(kTitle));
  setFixedSize(468, 336);
  // A window of fixed size has nothing to maximise: no button for it.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  move(50, 50);
  LoadWindowResources();
  setWindowIcon(QIcon(QStringLiteral(":/quorvel/quorvel-64.png")));
  BuildSearchGroup();
  BuildDownloadGroup();
  // Enter or Space on a focused button presses it (Space does by itself; Enter only for
  // buttons that take it, which outside a dialog none do unless told).
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  // The map-data version (seven characters) fits its 50 px box only without the box's own
  // inner margin.
  编辑框_图资->setTextMargins(-1, 0, -1, 0);
  probeWindow = new ProbeWindow();
  下载列表窗口 = new DownloadListWindow();
  下载列表窗口->setWindowIcon(windowIcon());
  下载列表窗口->setAttribute(Qt::WA_QuitOnClose, false);  // the program ends with the main window
  图资选择窗口 = new MapDataPicker();
  图资选择窗口->setWindowIcon(windowIcon());
  图资选择窗口->setAttribute(Qt::WA_QuitOnClose, false);
  BuildTrayIcon();

  ConnectEvents();
}

MainWindow::~MainWindow() {
  delete probeWindow;
  delete 下载列表窗口;
  delete 图资选择窗口;
}

void MainWindow::BuildTrayIcon() {
  托盘图标 = nullptr;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  托盘图标 = new QSystemTrayIcon(windowIcon(), this);
  托盘图标->setObjectName(QStringLiteral("托盘图标"));
  托盘图标->setToolTip(QString::fromUtf8(kTitle));
  auto* menu = new QMenu(this);
  connect(menu->addAction(QStringLiteral("下载列表 (Ctrl+J)")), &QAction::triggered, this,
          [this] { Dispatch(handlers.openDownloadList); });
  auto showWindow = [this] {
    showNormal();
    raise();
    activateWindow();
  };
  connect(menu->addAction(QStringLiteral("显示主窗口")), &QAction::triggered, this, showWindow);
  connect(托盘图标, &QSystemTrayIcon::messageClicked, this, showWindow);  // a new release is in its list
  托盘图标->setContextMenu(menu);
  connect(托盘图标, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) Dispatch(handlers.openDownloadList);
  });
  托盘图标->show();
}

void MainWindow::BuildSearchGroup() {
  auto* g = 分组框_主程序 = Place<QGroupBox>(this, "分组框_主程序", 5, 5, 455, 175);
  g->setTitle(QStringLiteral("资源搜索"));
  标签_设备号 = Place<QLabel>(g, "标签_设备号", 8, 15, 72, 20, "设备号： ");
  编辑框_渠道设备号 = Place<QLineEdit>(g, "编辑框_渠道设备号", 50, 15, 40, 20);
  按钮_渠道主程序搜索 = Place<QPushButton>(g, "按钮_渠道主程序搜索", 93, 15, 56, 20, "渠道搜索");
  选择框_下载开关 = Place<QCheckBox>(g, "选择框_下载开关", 160, 18, 59, 15, "下载关");
  编辑框_图资 = Place<QLineEdit>(g, "编辑框_图资", 8, 43, 50, 20);
  组合框_图资 = Place<QComboBox>(g, "组合框_图资", 72, 43, 245, 25);
  for (const catalogue::MapDataKind& kind : catalogue::MapDataKinds())
    组合框_图资->addItem(QString::fromUtf8(kind.caption));
  组合框_图资->setCurrentIndex(-1);  // nothing chosen until the user picks a kind
  编辑框_增量更新 = Place<QLineEdit>(g, "编辑框_增量更新", 322, 43, 66, 20);
  按钮_图资下载 = Place<QPushButton>(g, "按钮_图资下载", 391, 43, 56, 20, "=> 下载");
  编辑框_版本 = Place<QLineEdit>(g, "编辑框_版本", 8, 65, 440, 20);
  编辑框_版本->setVisible(false);
  超级列表框 = Place<QTreeWidget>(g, "超级列表框", 8, 68, 440, 100);
  SetUpReleaseColumns(超级列表框);
  气球提示框1 = new BalloonTip(g);
  气球提示框1->setObjectName(QStringLiteral("气球提示框1"));
}

void MainWindow::BuildDownloadGroup() {
  auto* g = 分组框_高速下载 = Place<QGroupBox>(this, "分组框_高速下载", 5, 189, 455, 115);
  g->setTitle(QStringLiteral("高速下载"));
  标签_文件名 = Place<QLabel>(g, "标签_文件名", 8, 15, 55, 20, "文 件 名：");
  编辑框_保存文件名 = Place<QLineEdit>(g, "编辑框_保存文件名", 64, 15, 300, 20);
  选择框_下载模式 = Place<QCheckBox>(g, "选择框_下载模式", 367, 15, 46, 20, "文件");
  按钮_取消 = Place<QPushButton>(g, "按钮_取消", 416, 15, 32, 20, "取消");
  编辑框_下载地址 = Place<QLineEdit>(g, "编辑框_下载地址", 249, 24, 25, 20);
  编辑框_下载地址->setVisible(false);
  时钟_下载 = new QTimer(this);
  时钟_下载->setObjectName(QStringLiteral("时钟_下载"));
  时钟_新版本 = new QTimer(this);
  时钟_新版本->setObjectName(QStringLiteral("时钟_新版本"));
  标签_保存目录 = Place<QLabel>(g, "标签_保存目录", 7, 40, 55, 20, "保存目录：");
  编辑框_保存目录 = Place<QLineEdit>(g, "编辑框_保存目录", 64, 40, 350, 20);
  按钮_选择目录 = Place<QPushButton>(g, "按钮_选择目录", 417, 40, 30, 20, "...");
  状态条1 = Place<StatusBar>(g, "状态条1", 5, 65, 440, 20);
  ShowIdleCaptions(状态条1);
  进度条1 = Place<QProgressBar>(g, "进度条1", 4, 84, 443, 10);
  进度条1->setRange(0, 100);
  进度条1->setValue(0);
  进度条1->setTextVisible(false);
  // At 10 px high the platform styles draw no chunk at all; a plain bar always shows.
  进度条1->setStyleSheet(
      QStringLiteral("QProgressBar { border: 1px solid #8f8f91; background: #ffffff; }"
                     "QProgressBar::chunk { background: #3d7fd6; }"));
  状态条2 = Place<StatusBar>(g, "状态条2", 5, 90, 440, 20);
  // The bar overlaps the bottom row of 状态条1 and the top of 状态条2: the status bars leave
  // those rows to it, so their repaints never cover it.
  状态条1->setMask(QRegion(0, 0, 440, 19));
  状态条2->setMask(QRegion(0, 4, 440, 16));
  进度条1->raise();
}

// The event table: each routed event reaches exactly one entry of `handlers`.
void MainWindow::ConnectEvents() {
  auto route = [this](auto* source, auto signal, std::function<void()> Handlers::*handler) {
    connect(source, signal, this, [this, handler] { Dispatch(handlers.*handler); });
  };
  route(按钮_渠道主程序搜索, &QPushButton::clicked, &Handlers::searchReleases);
  route(编辑框_渠道设备号, &QLineEdit::returnPressed, &Handlers::searchReleases);  // Enter searches
  超级列表框->viewport()->installEventFilter(this);
  超级列表框->installEventFilter(this);  // Enter on a row downloads it
  route(组合框_图资, &QComboBox::currentIndexChanged, &Handlers::selectMapDataKind);
  route(按钮_图资下载, &QPushButton::clicked, &Handlers::downloadMapData);
  // Their menu picks several kinds at once; a click keeps doing what it always did.
  for (QWidget* source : std::initializer_list<QWidget*>{组合框_图资, 按钮_图资下载}) {
    source->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(source, &QWidget::customContextMenuRequested, this, [this, source](const QPoint& at) {
      QMenu menu(this);
      menu.setObjectName(QStringLiteral("菜单_图资"));
      menu.addAction(QStringLiteral("选择多个图资下载…"), this, [this] { Dispatch(handlers.pickMapData); });
      menu.exec(source->mapToGlobal(at));
    });
  }
  route(选择框_下载模式, &QCheckBox::clicked, &Handlers::downloadModeClicked);
  route(按钮_选择目录, &QPushButton::clicked, &Handlers::chooseFolderFromButton);
  编辑框_保存目录->installEventFilter(this);
  route(按钮_取消, &QPushButton::clicked, &Handlers::cancelDownload);
  route(时钟_下载, &QTimer::timeout, &Handlers::pollProgress);
  route(时钟_新版本, &QTimer::timeout, &Handlers::pollReleaseCheck);
  route(probeWindow->客户1, &TcpClient::dataArrived, &Handlers::probeDataArrived);
  connect(状态条2, &StatusBar::partDoubleClicked, this, [this](int part) {
    if (part == 0) Dispatch(handlers.openCompletedFolder);
  });
  connect(状态条2, &StatusBar::partClicked, this, [this](int part) {
    if (part == 2 || (part == 0 && 状态条2->partText(0).endsWith(QString::fromUtf8(kSeeTheList))))
      Dispatch(handlers.openDownloadList);
  });
  进度条1->installEventFilter(this);
  connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+J")), this), &QShortcut::activated, this,
          [this] { Dispatch(handlers.openDownloadList); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched == 超级列表框) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Dispatch(handlers.releaseListDoubleClicked);
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonRelease && watched == 进度条1) Dispatch(handlers.openDownloadList);
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == 超级列表框->viewport()) Dispatch(handlers.releaseListDoubleClicked);
    if (watched == 编辑框_保存目录) {
      Dispatch(handlers.chooseFolderFromEdit);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::Dispatch(const std::function<void()>& handler) {
  if (handler) handler();
}

void MainWindow::RunCreatedEvent() {
  for (const Step& step : createdSteps) {
    step.run();
    if (endProgram) return;
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!shutDown_ && isVisible() && handlers.confirmClose && !handlers.confirmClose()) {
    event->ignore();
    return;
  }
  if (!shutDown_) {
    shutDown_ = true;
    state.shuttingDown = true;  // a search waiting inside an event handler ends now
    for (const Step& step : shutdownSteps) step.run();
  }
  下载列表窗口->hide();
  图资选择窗口->hide();
  event->accept();
}
