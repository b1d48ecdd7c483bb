#pragma once
// Lets the caller's events run while a blocking network call waits. Returning false asks the
// call to stop; the window's pump processes its events and says whether it is still open.
#include <functional>

namespace common {

using EventPump = std::function<bool()>;

}  // namespace common
