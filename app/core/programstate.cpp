#include "programstate.h"

#include "platform/fileio.h"

namespace core {

void ExitRoutine(ProgramState& state) {
  state.session.Release();
  state.sockets.Release();
}

ProgramState::~ProgramState() {
  if (guardFd >= 0) platform::CloseFile(guardFd);
}

}  // namespace core
