#pragma once
// A control's text as the cores take it: UTF-16 units for the engine's records and the
// portal's form, UTF-8 for everything else.
#include <string>

#include <QString>

namespace ui {

inline std::u16string Units(const QString& text) { return text.toStdU16String(); }
inline std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace ui
