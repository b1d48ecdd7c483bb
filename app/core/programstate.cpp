#include "programstate.h"

#include "processguard.h"

namespace core {

void ExitRoutine(ProgramState& state) {
  state.session.Release();
  state.sockets.Release();
}

ProgramState::~ProgramState() { ReleaseGuard(guard); }

}  // namespace core
