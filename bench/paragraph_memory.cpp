// Peak memory of CollectParagraphs on a hostile 16 MiB page of empty paragraphs, next to the
// page's own size: the matcher works a piece at a time, so the peak stays near the page.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "texthelpers.h"

using namespace text;

namespace {
long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}
}  // namespace

int main() {
  std::string page;
  page.reserve(16 << 20);
  while (page.size() < (16u << 20)) page += "<p></p>";
  const long before = PeakKiB();
  const std::string paragraphs = CollectParagraphs(page);
  std::printf("page %zu KiB, result %zu KiB, peak before %ld KiB, peak after %ld KiB (+%ld KiB)\n", page.size() / 1024,
              paragraphs.size() / 1024, before, PeakKiB(), PeakKiB() - before);
}
