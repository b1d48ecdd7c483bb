#include "mapdatapicker.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "mapdata.h"

namespace {

template <typename Control>
Control* Named(Control* control, const char* name) {
  control->setObjectName(QString::fromUtf8(name));
  return control;
}

}  // namespace

MapDataPicker::MapDataPicker() {
  setObjectName(QStringLiteral("图资选择"));
  setWindowTitle(QStringLiteral("下载图资"));
  resize(560, 600);
  标签_图资版本 = Named(new QLabel, "标签_图资版本");
  标签_图资版本->setTextFormat(Qt::PlainText);  // it quotes the folder
  标签_图资版本->setWordWrap(true);
  列表_图资 = Named(new QTreeWidget, "列表_图资");
  列表_图资->setColumnCount(kColumns);
  列表_图资->setHeaderLabels({QStringLiteral("图资"), QStringLiteral("文件"), QStringLiteral("保存目录里")});
  列表_图资->setRootIsDecorated(false);
  列表_图资->setUniformRowHeights(true);
  列表_图资->header()->setSectionResizeMode(kKind, QHeaderView::Stretch);
  列表_图资->setColumnWidth(kFile, 150);
  列表_图资->setColumnWidth(kState, 120);
  // The rows in the combo box's order, which is the catalogue's: the order they start in.
  for (const catalogue::MapDataKind& kind : catalogue::MapDataKinds()) {
    auto* item = new QTreeWidgetItem(列表_图资, {QString::fromUtf8(kind.caption)});
    item->setData(kKind, Qt::UserRole, 列表_图资->topLevelItemCount() - 1);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kKind, Qt::Unchecked);
  }
  按钮_全选 = Named(new QPushButton(QStringLiteral("全选（无需增量编号的）")), "按钮_全选");
  按钮_全不选 = Named(new QPushButton(QStringLiteral("全不选")), "按钮_全不选");
  按钮_开始下载 = Named(new QPushButton(QStringLiteral("开始下载")), "按钮_开始下载");
  标签_图资提示 = Named(new QLabel, "标签_图资提示");
  标签_图资提示->setTextFormat(Qt::PlainText);
  标签_图资提示->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(按钮_全选);
  buttons->addWidget(按钮_全不选);
  buttons->addStretch();
  buttons->addWidget(按钮_开始下载);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(标签_图资版本);
  layout->addWidget(列表_图资);
  layout->addLayout(buttons);
  layout->addWidget(标签_图资提示);

  auto route = [this](QPushButton* button, std::function<void()> Handlers::*handler) {
    connect(button, &QPushButton::clicked, this, [this, handler] {
      if (handlers.*handler) (handlers.*handler)();
    });
  };
  route(按钮_全选, &Handlers::selectAll);
  route(按钮_全不选, &Handlers::selectNone);
  route(按钮_开始下载, &Handlers::start);
  时钟_图资 = new QTimer(this);
  时钟_图资->setObjectName(QStringLiteral("时钟_图资"));
  时钟_图资->setInterval(500);  // files arrive and go while downloads run
  connect(时钟_图资, &QTimer::timeout, this, [this] {
    if (handlers.refresh) handlers.refresh();
  });
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);
}

void MapDataPicker::showEvent(QShowEvent* event) {
  时钟_图资->start();
  QWidget::showEvent(event);
}

void MapDataPicker::hideEvent(QHideEvent* event) {
  时钟_图资->stop();
  QWidget::hideEvent(event);
}
