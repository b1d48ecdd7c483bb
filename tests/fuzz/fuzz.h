#pragma once
// What every fuzz target shares: a property that fails stops the run with its reason.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#define FUZZ_CHECK(condition, why)                                         \
  do {                                                                     \
    if (!(condition)) {                                                    \
      std::fprintf(stderr, "property broken: %s (%s)\n", why, #condition); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

inline std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}
