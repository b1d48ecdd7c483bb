#include "fatalerror.h"

#include <cstdlib>

#include <QMessageBox>

#include "librarycall.h"

namespace ui {

void ShowLibraryCallErrorAndExit(const std::string& libraryFile, const std::string& function) {
  QString text = QStringLiteral("运行时出错!\n\n错误信息：") +
                 QString::fromStdString(core::LibraryCallErrorText(libraryFile, function));
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorvel"), text, QMessageBox::Ok);
  box.exec();
  std::exit(-1);
}

}  // namespace ui
