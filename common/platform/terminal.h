#pragma once
// Whether an output goes to a terminal (and so may be redrawn, or needs its texts made safe).
#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

}  // namespace platform
