#pragma once
// The session's end closes the window as its close box does, without the question, so that
// every download pauses with its resume data and the list keeps them for the next start:
// SIGTERM here (logout, shutdown, `kill`), WM_ENDSESSION on Windows.
class QWidget;

namespace app {

void CloseAtSessionEnd(QWidget& window);
// What both systems do then (sessionend.cpp).
void CloseForSessionEnd(QWidget& window);

}  // namespace app
