#include "downloadlistwindow.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template <typename Control>
Control* Named(Control* control, const char* name) {
  control->setObjectName(QString::fromUtf8(name));
  return control;
}

QPushButton* Button(const char* name, const char* caption) {
  return Named(new QPushButton(QString::fromUtf8(caption)), name);
}

}  // namespace

DownloadListWindow::DownloadListWindow() {
  setObjectName(QStringLiteral("下载列表"));
  setWindowTitle(QStringLiteral("下载列表"));
  resize(860, 480);  // room for a dozen rows
  MakeTable();
  标签_提示 = Named(new QLabel, "标签_提示");
  标签_提示->setTextFormat(Qt::PlainText);  // it quotes file names and failure texts
  标签_提示->setWordWrap(true);
  标签_提示->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for three lines whatever it says, so that nothing above or below it moves.
  标签_提示->setFixedHeight(标签_提示->fontMetrics().lineSpacing() * 3 + 4);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(MakeFilter());
  layout->addWidget(表格_下载);
  layout->addLayout(MakeButtons());
  layout->addWidget(标签_提示);
  layout->addLayout(MakeSettings());

  时钟_列表 = new QTimer(this);
  时钟_列表->setObjectName(QStringLiteral("时钟_列表"));
  时钟_列表->setInterval(500);
  RouteEvents();
}

void DownloadListWindow::MakeTable() {
  表格_下载 = Named(new QTableWidget(0, kColumns, this), "表格_下载");
  表格_下载->setHorizontalHeaderLabels({QStringLiteral("文件名"), QStringLiteral("大小"), QStringLiteral("进度"),
                                        QStringLiteral("速度"), QStringLiteral("剩余时间"), QStringLiteral("状态"),
                                        QStringLiteral("来源")});
  表格_下载->setSelectionBehavior(QAbstractItemView::SelectRows);
  表格_下载->setSelectionMode(QAbstractItemView::ExtendedSelection);
  表格_下载->setEditTriggers(QAbstractItemView::NoEditTriggers);
  表格_下载->verticalHeader()->hide();
  表格_下载->verticalHeader()->setDefaultSectionSize(表格_下载->fontMetrics().height() + 8);  // a dozen rows and more
  表格_下载->setTabKeyNavigation(false);  // Tab leaves the table for the buttons
  // The name takes what the others leave, and never less than a name's worth: a long state
  // text is cut with its whole text in the tooltip.
  QHeaderView* header = 表格_下载->horizontalHeader();
  header->setSectionResizeMode(kName, QHeaderView::Stretch);
  header->setMinimumSectionSize(48);
  表格_下载->setColumnWidth(kSize, 80);
  表格_下载->setColumnWidth(kProgress, 64);
  表格_下载->setColumnWidth(kSpeed, 90);
  表格_下载->setColumnWidth(kTimeLeft, 72);
  表格_下载->setColumnWidth(kState, 180);
  表格_下载->setColumnWidth(kSource, 150);
  表格_下载->setMinimumWidth(160 + 80 + 64 + 90 + 72 + 180 + 150);
  表格_下载->setWordWrap(false);
  表格_下载->setContextMenuPolicy(Qt::DefaultContextMenu);
  表格_下载->installEventFilter(this);
  表格_下载->viewport()->installEventFilter(this);
}

QHBoxLayout* DownloadListWindow::MakeFilter() {
  编辑框_筛选 = Named(new QLineEdit, "编辑框_筛选");
  编辑框_筛选->setPlaceholderText(QStringLiteral("筛选：文件名或地址"));
  编辑框_筛选->setClearButtonEnabled(true);
  按钮_添加下载 = Button("按钮_添加下载", "添加下载…");
  auto* filter = new QHBoxLayout;
  filter->addWidget(编辑框_筛选, 1);
  filter->addWidget(按钮_添加下载);
  return filter;
}

QHBoxLayout* DownloadListWindow::MakeButtons() {
  按钮_暂停 = Button("按钮_暂停", "暂停");
  按钮_继续 = Button("按钮_继续", "继续");
  按钮_重试 = Button("按钮_重试", "重试");
  按钮_删除 = Button("按钮_删除", "取消下载");
  按钮_移除 = Button("按钮_移除", "从列表移除");
  按钮_打开目录 = Button("按钮_打开目录", "打开目录");
  按钮_打开文件 = Button("按钮_打开文件", "打开文件");
  按钮_校验 = Button("按钮_校验", "校验");
  按钮_修复 = Button("按钮_修复", "修复");
  按钮_BT下载 = Button("按钮_BT下载", "用 BT 下载内容");
  按钮_清除已完成 = Button("按钮_清除已完成", "清除已完成");
  按钮_图资 = Button("按钮_图资", "下载图资…");
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {按钮_暂停, 按钮_继续, 按钮_重试, 按钮_删除, 按钮_移除, 按钮_打开目录, 按钮_打开文件, 按钮_校验,
                         按钮_修复, 按钮_BT下载})
    buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(按钮_清除已完成);
  buttons->addWidget(按钮_图资);
  return buttons;
}

QHBoxLayout* DownloadListWindow::MakeSettings() {
  选择框_启动时继续 = Named(new QCheckBox(QStringLiteral("启动时继续未完成的下载")), "选择框_启动时继续");
  选择框_启动时继续->setChecked(true);
  选择框_自动BT = Named(new QCheckBox(QStringLiteral("种子下载完后用 BT 下载内容")), "选择框_自动BT");
  选择框_检查新版本 = Named(new QCheckBox(QStringLiteral("每天检查新版本")), "选择框_检查新版本");
  选择框_检查新版本->setChecked(true);
  标签_限速 = Named(new QLabel(QStringLiteral("限速：")), "标签_限速");
  数值框_限速 = Named(new QSpinBox, "数值框_限速");
  数值框_限速->setRange(0, 1024 * 1024);
  数值框_限速->setSingleStep(64);
  数值框_限速->setSuffix(QStringLiteral(" KB/s"));
  数值框_限速->setSpecialValueText(QStringLiteral("不限"));
  标签_同时下载 = Named(new QLabel(QStringLiteral("同时下载：")), "标签_同时下载");
  数值框_同时下载 = Named(new QSpinBox, "数值框_同时下载");
  数值框_同时下载->setRange(1, 8);
  数值框_同时下载->setValue(3);
  auto* settings = new QHBoxLayout;
  settings->addWidget(选择框_启动时继续);
  settings->addWidget(选择框_自动BT);
  settings->addWidget(选择框_检查新版本);
  settings->addStretch();
  for (QWidget* w : std::initializer_list<QWidget*>{标签_限速, 数值框_限速, 标签_同时下载, 数值框_同时下载})
    settings->addWidget(w);
  return settings;
}

void DownloadListWindow::RouteEvents() {
  auto route = [this](auto* source, auto signal, std::function<void()> Handlers::*handler) {
    connect(source, signal, this, [this, handler] {
      if (handlers.*handler) (handlers.*handler)();
    });
  };
  route(按钮_暂停, &QPushButton::clicked, &Handlers::pause);
  route(按钮_继续, &QPushButton::clicked, &Handlers::resume);
  route(按钮_重试, &QPushButton::clicked, &Handlers::retry);
  route(按钮_删除, &QPushButton::clicked, &Handlers::cancel);
  route(按钮_移除, &QPushButton::clicked, &Handlers::remove);
  route(按钮_打开目录, &QPushButton::clicked, &Handlers::openFolder);
  route(按钮_打开文件, &QPushButton::clicked, &Handlers::openFile);
  route(按钮_校验, &QPushButton::clicked, &Handlers::verify);
  route(按钮_修复, &QPushButton::clicked, &Handlers::repair);
  route(按钮_BT下载, &QPushButton::clicked, &Handlers::swarm);
  route(按钮_清除已完成, &QPushButton::clicked, &Handlers::clearFinished);
  route(按钮_图资, &QPushButton::clicked, &Handlers::pickMapData);
  route(按钮_添加下载, &QPushButton::clicked, &Handlers::addDownload);
  route(编辑框_筛选, &QLineEdit::textChanged, &Handlers::arrange);
  // A heading orders the rows by its column, a second click the other way round.
  connect(表格_下载->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    sortOrder = column == sortColumn && sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortColumn = column;
    表格_下载->horizontalHeader()->setSortIndicatorShown(true);
    表格_下载->horizontalHeader()->setSortIndicator(column, sortOrder);
    if (handlers.arrange) handlers.arrange();
  });
  route(表格_下载, &QTableWidget::itemSelectionChanged, &Handlers::choose);
  route(表格_下载, &QTableWidget::cellDoubleClicked, &Handlers::openFolder);
  route(选择框_启动时继续, &QCheckBox::toggled, &Handlers::settingChanged);
  route(选择框_自动BT, &QCheckBox::toggled, &Handlers::settingChanged);
  route(选择框_检查新版本, &QCheckBox::toggled, &Handlers::settingChanged);
  route(数值框_限速, &QSpinBox::valueChanged, &Handlers::settingChanged);
  route(数值框_同时下载, &QSpinBox::valueChanged, &Handlers::settingChanged);
  route(时钟_列表, &QTimer::timeout, &Handlers::tick);
  // Ctrl+J closes it again, as it opened it; so does Esc.
  connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+J")), this), &QShortcut::activated, this, &QWidget::hide);
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);
}

bool DownloadListWindow::eventFilter(QObject* watched, QEvent* event) {
  auto call = [](const std::function<void()>& handler) {
    if (handler) handler();
    return true;
  };
  if (event->type() == QEvent::ContextMenu && watched == 表格_下载->viewport()) {
    ShowMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  if (event->type() != QEvent::KeyPress || watched != 表格_下载) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->matches(QKeySequence::Copy)) return call(handlers.copyAddress);
  switch (key->key()) {
    case Qt::Key_Delete: return call(handlers.remove);
    case Qt::Key_Space: return call(handlers.toggle);
    case Qt::Key_Return:
    case Qt::Key_Enter: return call(handlers.openFolder);
    case Qt::Key_Escape: return call([this] { hide(); });
    default: return QWidget::eventFilter(watched, event);
  }
}

// The buttons' actions for the row under the pointer, as the buttons allow them now.
void DownloadListWindow::ShowMenu(const QPoint& at) {
  const int row = 表格_下载->rowAt(表格_下载->viewport()->mapFromGlobal(at).y());
  if (row < 0) return;
  if (!表格_下载->item(row, 0) || !表格_下载->item(row, 0)->isSelected())
    表格_下载->selectRow(row);  // else the chosen rows
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("菜单_下载"));
  for (QPushButton* b : {按钮_暂停, 按钮_继续, 按钮_重试, 按钮_删除, 按钮_移除, 按钮_打开目录, 按钮_打开文件, 按钮_校验,
                         按钮_修复, 按钮_BT下载}) {
    QAction* action = menu.addAction(b->text(), b, &QPushButton::click);
    action->setEnabled(b->isEnabled());
  }
  menu.addSeparator();
  QAction* copy = menu.addAction(QStringLiteral("复制下载地址"), this, [this] {
    if (handlers.copyAddress) handlers.copyAddress();
  });
  copy->setShortcut(QKeySequence::Copy);
  menu.exec(at);
}
