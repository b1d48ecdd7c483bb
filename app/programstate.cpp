#include "programstate.h"

void ExitRoutine(ProgramState& state) {
  // The download records and the socket library are released here once they exist.
  state.currentTask = 0;
}
