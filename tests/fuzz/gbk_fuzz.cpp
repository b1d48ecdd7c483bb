// Code page 936 conversions: any bytes decode, and what decodes from valid text encodes back.
#include "fuzz.h"
#include "gbk.h"

using namespace text;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string units = text::gbk::Decode(bytes);
  FUZZ_CHECK(units.size() <= bytes.size(), "more characters than bytes");
  const std::string back = text::gbk::Encode(units, false);
  // Decoding then encoding never grows the text beyond two bytes a unit.
  FUZZ_CHECK(back.size() <= 2 * units.size(), "an encoding longer than two bytes a unit");
  FUZZ_CHECK(text::gbk::Decode(back).size() == units.size() || back.find('?') != std::string::npos,
             "a decoded text that does not decode again to as many characters");
  const std::string utf16 = GbkToUtf16(bytes, true);
  FUZZ_CHECK(utf16.size() % 2 == 0, "UTF-16 of an odd length");
  (void)Utf16ToGbk(bytes);
  return 0;
}
