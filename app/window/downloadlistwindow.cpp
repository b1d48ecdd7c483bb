#include "downloadlistwindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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
  resize(720, 340);
  MakeTable();
  标签_提示 = Named(new QLabel, "标签_提示");
  标签_提示->setTextFormat(Qt::PlainText);  // it quotes file names and failure texts
  标签_提示->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
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
  表格_下载->setSelectionMode(QAbstractItemView::SingleSelection);
  表格_下载->setEditTriggers(QAbstractItemView::NoEditTriggers);
  表格_下载->verticalHeader()->hide();
  表格_下载->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
  表格_下载->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::ResizeToContents);
  表格_下载->setColumnWidth(kSize, 80);
  表格_下载->setColumnWidth(kProgress, 64);
  表格_下载->setColumnWidth(kSpeed, 90);
  表格_下载->setColumnWidth(kTimeLeft, 72);
  表格_下载->setWordWrap(false);
}

QHBoxLayout* DownloadListWindow::MakeButtons() {
  按钮_暂停 = Button("按钮_暂停", "暂停");
  按钮_继续 = Button("按钮_继续", "继续");
  按钮_重试 = Button("按钮_重试", "重试");
  按钮_删除 = Button("按钮_删除", "取消下载");
  按钮_移除 = Button("按钮_移除", "从列表移除");
  按钮_打开目录 = Button("按钮_打开目录", "打开目录");
  按钮_校验 = Button("按钮_校验", "校验");
  按钮_BT下载 = Button("按钮_BT下载", "用 BT 下载内容");
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {按钮_暂停, 按钮_继续, 按钮_重试, 按钮_删除, 按钮_移除, 按钮_打开目录, 按钮_校验, 按钮_BT下载})
    buttons->addWidget(b);
  buttons->addStretch();
  return buttons;
}

QHBoxLayout* DownloadListWindow::MakeSettings() {
  选择框_启动时继续 = Named(new QCheckBox(QStringLiteral("启动时继续未完成的下载")), "选择框_启动时继续");
  选择框_启动时继续->setChecked(true);
  选择框_自动BT = Named(new QCheckBox(QStringLiteral("种子下载完后用 BT 下载内容")), "选择框_自动BT");
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
  route(按钮_校验, &QPushButton::clicked, &Handlers::verify);
  route(按钮_BT下载, &QPushButton::clicked, &Handlers::swarm);
  route(表格_下载, &QTableWidget::itemSelectionChanged, &Handlers::choose);
  route(表格_下载, &QTableWidget::cellDoubleClicked, &Handlers::openFolder);
  route(选择框_启动时继续, &QCheckBox::toggled, &Handlers::settingChanged);
  route(选择框_自动BT, &QCheckBox::toggled, &Handlers::settingChanged);
  route(数值框_限速, &QSpinBox::valueChanged, &Handlers::settingChanged);
  route(数值框_同时下载, &QSpinBox::valueChanged, &Handlers::settingChanged);
  route(时钟_列表, &QTimer::timeout, &Handlers::tick);
  // Ctrl+J closes it again, as it opened it.
  connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+J")), this), &QShortcut::activated, this, &QWidget::hide);
}
