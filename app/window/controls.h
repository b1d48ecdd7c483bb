#pragma once
// The few window controls Qt has no direct counterpart for.
#include <QFrame>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QWidget>

class QLabel;

// A status bar with three parts: 145 px, 145 px and the rest. A part's tooltip holds its
// whole text, for texts longer than the part is wide.
class StatusBar : public QFrame {
  Q_OBJECT
 public:
  explicit StatusBar(QWidget* parent);
  void setPartText(int part, const QString& text);
  QString partText(int part) const;
  QLabel* part(int part) const { return parts_[part]; }

 signals:
  void partDoubleClicked(int part);
  void partClicked(int part);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* parts_[3];
};

// A balloon tip: nothing is drawn until it pops up with a text at a screen position; it
// goes away after a while or when clicked.
class BalloonTip : public QObject {
  Q_OBJECT
 public:
  explicit BalloonTip(QObject* parent);
  ~BalloonTip() override;
  // Rules for the tip's rich text: body text, headings, preformatted text, links, small print.
  QString styleSheet() const { return styleSheet_; }
  void popUp(const QString& text, const QPoint& screenPosition);
  QLabel* window() const { return window_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString styleSheet_;
  QLabel* window_;
};

// The TCP client control that the size probe uses; its one event is "data arrived".
class TcpClient : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
 signals:
  void dataArrived();
};

// A window that is never shown; it only holds the size probe's TCP client 客户1.
class ProbeWindow : public QWidget {
  Q_OBJECT
 public:
  ProbeWindow();
  TcpClient* 客户1;
};
