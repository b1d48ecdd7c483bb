#pragma once
// Writes GBK test texts from readable UTF-16 literals.
#include <string>
#include <string_view>

#include "gbk.h"

inline std::string G(std::u16string_view text) { return text::gbk::Encode(text, false); }
