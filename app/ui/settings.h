#pragma once
// The three values remembered between runs (device number, map-data version, save folder),
// mirrored in the main window's edit boxes, and the two folder choosers of the save folder.
#include <string>

#include <QString>

class MainWindow;

namespace ui {

// The current user's desktop folder with a trailing "/".
QString DesktopFolder();

void LoadSettings(MainWindow& window);
void StoreSettings(MainWindow& window);

// The common end of both choosers: a non-empty path goes into 编辑框_保存目录 and is stored
// at once; an empty one (cancelled) changes nothing.
void AcceptChosenFolder(MainWindow& window, const QString& path);

// 按钮_选择目录: the folder-only dialog.
void ChooseSaveFolderFromButton(MainWindow& window);
// 编辑框_保存目录 double-clicked: the dialog with an edit field for typing a folder name.
void ChooseSaveFolderFromEdit(MainWindow& window);

}  // namespace ui
