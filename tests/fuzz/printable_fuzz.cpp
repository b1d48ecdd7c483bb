// Texts from servers made safe for a terminal: nothing a terminal acts on comes out, the
// output is well-formed UTF-8, and a text that needed nothing escaped comes out as it went in.
#include "fuzz.h"
#include "printable.h"
#include "utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string shown = common::Printable(text);
  for (size_t i = 0; i < shown.size(); ++i) {
    const auto c = static_cast<unsigned char>(shown[i]);
    FUZZ_CHECK(c >= 0x20 && c != 0x7F, "a C0 control or DEL passed on");
    FUZZ_CHECK(!(c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0),
               "a C1 control passed on");
  }
  FUZZ_CHECK(common::IsUtf8(shown), "malformed UTF-8 passed on");
  if (shown.find('\\') == std::string::npos) FUZZ_CHECK(shown == text, "a clean text changed");
  return 0;
}
