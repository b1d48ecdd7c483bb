// Peak memory of reading hostile pages, next to the pages' own size:
//   - CollectParagraphs on 16 MiB of empty paragraphs: the matcher works a piece at a time, so
//     the peak stays near the page;
//   - ParseReleasePage on a 250 MiB page whose bulk is inside the release table, where the
//     table's cells are matched: the peak should stay near two copies of the page.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "releasepage.h"
#include "texthelpers.h"

namespace {

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Paragraphs() {
  std::string page;
  page.reserve(16 << 20);
  while (page.size() < (16u << 20)) page += "<p></p>";
  const long before = PeakKiB();
  const std::string paragraphs = text::CollectParagraphs(page);
  std::printf("paragraphs: page %zu KiB, result %zu KiB, peak before %ld KiB, peak after %ld KiB (+%ld KiB)\n",
              page.size() / 1024, paragraphs.size() / 1024, before, PeakKiB(), PeakKiB() - before);
}

void ReleaseTable() {
  std::string page = "<table cellpadding=\"0\" cellspacing=\"0\" class=\"dt\">\n<tr><td>V3.2.1</td><td>";
  const size_t size = size_t(250) << 20;
  page.reserve(size + 4096);
  const std::string filler(1 << 20, 'x');  // one cell of it all
  while (page.size() < size) page += filler;
  page += "</td></tr>\n</table>\n<div class=\"mbm cl\"></div>";
  const catalogue::ReleasePage r = catalogue::ParseReleasePage(page, "http://127.0.0.1");
  std::printf("release table: page %zu MiB, version %s, peak %ld MiB (%.2f copies of the page)\n", page.size() >> 20,
              r.version.c_str(), PeakKiB() >> 10, double(PeakKiB()) * 1024 / double(page.size()));
}

}  // namespace

int main() {
  Paragraphs();
  ReleaseTable();
}
