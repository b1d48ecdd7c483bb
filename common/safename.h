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

// A name we are given (a task's, a saved row's, a torrent's file) that is one file in its folder
// on Windows as well as on Linux: map data moves between the two on USB sticks and memory cards.
// Not "", "." or ".."; none of \ / : * ? " < > | (a ':' opens an NTFS stream); no control
// character; no trailing dot or blank (Windows drops them, naming another file); not a device
// name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with any extension, in any case).
bool IsSafeFileName(std::string_view name);

// A text from a page made into one safe file-name component (UTF-8 in, UTF-8 out): what
// IsSafeFileName takes, never hidden (no leading "."), and at most kMaxSafeNameBytes bytes,
// shortened before its extension at a character border.
std::string SafeFileName(std::string_view name);

}  // namespace common
