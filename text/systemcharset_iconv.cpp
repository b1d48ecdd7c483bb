#include <iconv.h>
#include <unicode/unorm2.h>

#include <cerrno>
#include <cstdlib>

#include "systemcharset.h"

namespace text::system {

std::u16string Decode(const SystemCharset& charset, std::string_view bytes) {
  std::u16string out;
  iconv_t cd = iconv_open("UTF-16LE", charset.iconvName);
  if (cd == iconv_t(-1)) return out;
  char16_t buffer[1024];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, (sizeof buffer - outLeft) / 2);
    if (rc == size_t(-1) && errno != E2BIG) {
      out += u'?';
      ++in, --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

char16_t DecodeCp936Pair(unsigned char lead, unsigned char trail) {
  struct Converter {
    iconv_t cd = iconv_open("UTF-16LE", "GB18030");
    ~Converter() { iconv_close(cd); }
  };
  thread_local Converter converter;
  if (converter.cd == iconv_t(-1)) std::abort();  // glibc always has GB18030; without it nothing would be right
  char in[2] = {char(lead), char(trail)};
  char16_t out[4] = {};
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  size_t inLeft = 2, outLeft = sizeof out;
  iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter.cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0 || outLeft != sizeof out - 2)
    return 0;
  return out[0];
}

char16_t ComposePair(char16_t base, char16_t mark) {
  UErrorCode error = U_ZERO_ERROR;
  static const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  if (!nfc) return 0;
  UChar32 composed = unorm2_composePair(nfc, base, mark);
  return composed > 0 && composed < 0x10000 ? char16_t(composed) : 0;
}

}  // namespace text::system
