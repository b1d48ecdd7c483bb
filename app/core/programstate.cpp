#include "programstate.h"

#include <unistd.h>

namespace core {

void ExitRoutine(ProgramState& state) {
  state.session.Release();
  state.sockets.Release();
}

ProgramState::~ProgramState() {
  if (guardFd >= 0) close(guardFd);
}

}  // namespace core
