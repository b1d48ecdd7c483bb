#include "programstate.h"

#include <unistd.h>

void ExitRoutine(ProgramState& state) {
  state.createParams.Release();
  state.progressInfo.Release();
  state.currentTask = nullptr;
  state.sockets.Release();
}

ProgramState::~ProgramState() {
  if (guardFd >= 0) close(guardFd);
}
