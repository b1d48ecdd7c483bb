#pragma once

namespace ui {

// The window speaks Chinese whatever the system's locale: Qt's own texts (the buttons and
// captions of the folder choosers and message boxes) come from Qt's zh_CN translations.

// Installs Qt's zh_CN translations into the running application; false when they are not
// installed on this system (the package qt6-translations-l10n), the dialogs then speak English.
bool LoadChineseQtTexts();

}  // namespace ui
