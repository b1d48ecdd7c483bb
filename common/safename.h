#pragma once
// File names made of texts from the network (a version on a web page, the last part of an
// address): one safe component inside the save folder. Used by the window and by dlget.
#include <cstddef>
#include <string>
#include <string_view>

namespace common {

// The longest safe name: with the engine's "<name>.part.ctl.tmp" beside it, it still fits
// the 255 bytes a file name may have.
constexpr size_t kMaxSafeNameBytes = 255 - 13;

// A text from a page made into one safe file-name component (UTF-8 in, UTF-8 out): no "/"
// or "\", no control characters, never "", "." or "..", never hidden (no leading "."), and
// at most kMaxSafeNameBytes bytes, shortened before its extension at a character border.
std::string SafeFileName(std::string_view name);

}  // namespace common
