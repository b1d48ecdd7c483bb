#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWidget>

#include "sessionend.h"

namespace app {

namespace {

// Windows asks every top-level window whether the session may end (WM_QUERYENDSESSION: yes),
// then says that it ends (WM_ENDSESSION): the process may be ended as soon as that message has
// been answered, so the window closes before the answer.
class SessionEndFilter : public QAbstractNativeEventFilter {
 public:
  explicit SessionEndFilter(QWidget& window) : window_(window) {}
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override {
    if (type != "windows_generic_MSG" || closed_) return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_QUERYENDSESSION) {
      *result = TRUE;
      return true;
    }
    if (msg->message != WM_ENDSESSION || msg->wParam == FALSE) return false;
    closed_ = true;
    CloseForSessionEnd(window_);
    *result = 0;
    return true;
  }

 private:
  QWidget& window_;
  bool closed_ = false;
};

}  // namespace

void CloseAtSessionEnd(QWidget& window) {
  auto* filter = new SessionEndFilter(window);
  QCoreApplication::instance()->installNativeEventFilter(filter);
  QObject::connect(&window, &QObject::destroyed, [filter] {
    QCoreApplication::instance()->removeNativeEventFilter(filter);
    delete filter;
  });
}

}  // namespace app
