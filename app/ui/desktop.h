#pragma once
// What the handlers ask of the user and of the desktop: a question answered before something
// that cannot be taken back (a file fetched again over the one there, a download's data
// deleted), and a folder opened in the file manager.
#include <QString>

class QWidget;

namespace ui {

// True when the user chose `yes`; Enter and Esc choose `no`, so that a stray key or a second
// click on the button that asked never does it.
bool Ask(QWidget* parent, const QString& text, const QString& yes, const QString& no);

// Opens a folder in the desktop's file manager; false when none could open it.
bool OpenFolder(const QString& folder);
// Opens a file with the desktop's program for its type; false when none could.
bool OpenFile(const QString& path);

}  // namespace ui
