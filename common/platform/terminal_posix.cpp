#include <unistd.h>

#include "platform/terminal.h"

namespace platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void UseUtf8Terminal() {}

}  // namespace platform
