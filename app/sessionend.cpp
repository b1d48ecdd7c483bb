#include <QCoreApplication>
#include <QWidget>

#include "sessionend.h"

namespace app {

void CloseForSessionEnd(QWidget& window) {
  window.hide();  // a hidden window closes without the question
  window.close();
  QCoreApplication::quit();  // a hidden window's close does not end the event loop
}

}  // namespace app
