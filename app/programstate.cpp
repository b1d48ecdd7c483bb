#include "programstate.h"

void ExitRoutine(ProgramState& state) {
  state.createParams.Release();
  state.progressInfo.Release();
  state.currentTask = nullptr;
  state.sockets.Release();
}
