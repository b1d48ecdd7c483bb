#pragma once
// Whether an output goes to a terminal (and so may be redrawn, or needs its texts made safe).
#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);
// Our texts are UTF-8: the console shows them so (on Windows its code page is set to 65001; a
// terminal here takes the bytes as they are).
void UseUtf8Terminal();

}  // namespace platform
