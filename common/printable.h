#pragma once
// Texts from servers (page fields, failure texts, torrent and file names) shown on a terminal:
// a terminal acts on control characters (ESC sequences set the title, clear the screen,
// recolour; C1 controls do the same on some terminals), so they are shown escaped, never
// passed on.
#include <string>
#include <string_view>

namespace common {

// `text` (UTF-8) with every C0 control, DEL and C1 control escaped ("\x1b", "\u009b"), and
// every byte that is not part of well-formed UTF-8 as "\xNN". Everything else is kept.
std::string Printable(std::string_view text);

}  // namespace common
