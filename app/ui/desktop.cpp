#include "desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace ui {

bool Ask(QWidget* parent, const QString& text, const QString& yes, const QString& no) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvel"), text, QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("提问框"));
  QPushButton* accept = box.addButton(yes, QMessageBox::AcceptRole);
  QPushButton* keep = box.addButton(no, QMessageBox::RejectRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  box.exec();
  return box.clickedButton() == accept;
}

bool OpenFolder(const QString& folder) {
  return QDir(folder).exists() && QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool OpenFile(const QString& path) {
  return QFileInfo(path).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace ui
