#pragma once

namespace core {

struct ProgramState;

// Hands carried skin `number` (1 to 33; any other number hands an empty buffer) to the skin
// library, writing the library first when it is missing.
void AttachSkin(ProgramState& state, int number);

}  // namespace core
