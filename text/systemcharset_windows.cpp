#include <windows.h>

#include "systemcharset.h"

namespace text::system {

namespace {

std::u16string Wide(unsigned codePage, std::string_view bytes, DWORD flags) {
  const int n = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), out.data(), n);
  return std::u16string(out.begin(), out.end());
}

}  // namespace

std::u16string Decode(const SystemCharset& charset, std::string_view bytes) {
  CPINFO info{};
  if (bytes.empty() || !GetCPInfo(charset.codePage, &info)) return {};
  // Windows itself puts its default character where a byte does not fit, and goes on.
  return Wide(charset.codePage, bytes, 0);
}

char16_t DecodeCp936Pair(unsigned char lead, unsigned char trail) {
  const char pair[2] = {char(lead), char(trail)};
  const std::u16string unit = Wide(936, std::string_view(pair, 2), MB_ERR_INVALID_CHARS);
  return unit.size() == 1 ? unit[0] : 0;
}

char16_t ComposePair(char16_t base, char16_t mark) {
  const wchar_t pair[2] = {wchar_t(base), wchar_t(mark)};
  wchar_t composed[4] = {};
  const int n = NormalizeString(NormalizationC, pair, 2, composed, 4);
  return n == 1 ? char16_t(composed[0]) : 0;
}

}  // namespace text::system
