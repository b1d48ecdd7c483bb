#include "controls.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

StatusBar::StatusBar(QWidget* parent) : QFrame(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (int i = 0; i < 3; ++i) {
    parts_[i] = new QLabel(this);
    parts_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    parts_[i]->setTextFormat(Qt::PlainText);  // servers' texts: "<img src=...>" is shown, not rendered
    if (i < 2) parts_[i]->setFixedWidth(145);
    parts_[i]->installEventFilter(this);
    layout->addWidget(parts_[i], i < 2 ? 0 : 1);
  }
}

void StatusBar::setPartText(int part, const QString& text) {
  if (part < 0 || part >= 3) return;
  parts_[part]->setText(text);
  parts_[part]->setToolTip(text);
}

bool StatusBar::eventFilter(QObject* watched, QEvent* event) {
  for (int i = 0; i < 3; ++i) {
    if (watched != parts_[i]) continue;
    if (event->type() == QEvent::MouseButtonDblClick) emit partDoubleClicked(i);
    if (event->type() == QEvent::MouseButtonRelease) emit partClicked(i);
  }
  return QFrame::eventFilter(watched, event);
}

QString StatusBar::partText(int part) const { return part >= 0 && part < 3 ? parts_[part]->text() : QString(); }

BalloonTip::BalloonTip(QObject* parent)
    : QObject(parent),
      styleSheet_(QStringLiteral("body { font-family: 宋体; font-size: 9pt; }\n"
                                 "h1 { font-size: 12pt; font-weight: bold; }\n"
                                 "h2 { font-size: 10pt; font-weight: bold; }\n"
                                 "pre { font-family: monospace; }\n"
                                 "a { color: #0645ad; text-decoration: underline; }\n"
                                 "small { font-size: 8pt; }\n")),
      window_(new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)) {
  window_->setTextFormat(Qt::RichText);
  window_->setObjectName(QStringLiteral("气球提示框1_窗口"));
  window_->setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; border: 1px solid #767676; padding: 6px; }"));
  window_->installEventFilter(this);
}

bool BalloonTip::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::MouseButtonPress) window_->hide();
  return QObject::eventFilter(watched, event);
}

BalloonTip::~BalloonTip() { delete window_; }

void BalloonTip::popUp(const QString& text, const QPoint& screenPosition) {
  QString body = text.toHtmlEscaped()
                     .replace(QStringLiteral("\r\n"), QStringLiteral("<br>"))
                     .replace(u'\n', QStringLiteral("<br>"));
  window_->setText(QStringLiteral("<html><head><style>") + styleSheet_ + QStringLiteral("</style></head><body>") +
                   body + QStringLiteral("</body></html>"));
  window_->adjustSize();
  window_->move(screenPosition + QPoint(12, 16));
  window_->show();
  window_->raise();
  QTimer::singleShot(10000, window_, &QWidget::hide);
}

ProbeWindow::ProbeWindow() : 客户1(new TcpClient(this)) {
  setObjectName(QStringLiteral("ProbeWindow"));
  客户1->setObjectName(QStringLiteral("客户1"));
}
