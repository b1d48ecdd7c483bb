#include "programstate.h"

void ExitRoutine(ProgramState& state) {
  // The download records are released here once they exist.
  state.currentTask = 0;
  state.sockets.Release();
}
