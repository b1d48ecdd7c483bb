#pragma once
// Decoding a page from the charset its meta element declares, as the Windows text stream
// did: the charset names Windows registers (case-insensitive) and their code pages, then the
// text converted to GBK.
#include <optional>
#include <string>
#include <string_view>

namespace text {

// The bytes decoded from `charset` and re-encoded in GBK (unmappable characters as "?"),
// up to the first NUL; nothing when the name is unknown.
std::optional<std::string> DecodeToGbk(std::string_view charset, std::string_view bytes);

}  // namespace text
