// Throughput of the page helpers on a portal-like GBK page of 1 MB and 10 MB: time per call
// must grow with the page size, no faster.
#include <benchmark/benchmark.h>

#include <string>

#include "gbk.h"
#include "regexmatcher.h"
#include "texthelpers.h"

using namespace text;

namespace {

// A release table with Chinese cells, CRLF line ends and a few paragraphs, `bytes` long.
std::string PortalPage(size_t bytes) {
  const std::string row = text::gbk::Encode(
      u"<tr class=\"row\">\r\n<td>导航主程序 V3.2.1</td><td>2020-02-02</td><td>356.2 MB</td>"
      u"<td><a href=\"http://dl.example/p/3261/main.zip\">下载</a></td></tr>\r\n");
  const std::string paragraph = text::gbk::Encode(u"<p>说明：请先备份设备中的数据。</p>\r\n");
  std::string page = "<html><head><meta charset=gb2312></head><body><table>\r\n";
  for (int i = 0; page.size() < bytes; ++i) page += (i % 500 == 0) ? paragraph : row;
  return page + text::gbk::Encode(u"</table><div id=\"end\">末尾</div></body></html>");
}

void BM_TextBetween(benchmark::State& state) {
  const std::string page = PortalPage(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(TextBetween(page, "<div id=#引号end", "</div>"));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void BM_CollectParagraphs(benchmark::State& state) {
  const std::string page = PortalPage(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(CollectParagraphs(page));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

// A hostile page: nothing but empty paragraphs, about 150,000 a MiB.
void BM_CollectEmptyParagraphs(benchmark::State& state) {
  std::string page;
  while (page.size() < size_t(state.range(0))) page += "<p></p>";
  for (auto _ : state) benchmark::DoNotOptimize(CollectParagraphs(page));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

// A hostile page: a paragraph a line, about 100,000 lines a MiB (each line is matched alone).
void BM_CollectOneLineParagraphs(benchmark::State& state) {
  std::string page;
  while (page.size() < size_t(state.range(0))) page += "<p>x</p>\n";
  for (auto _ : state) benchmark::DoNotOptimize(CollectParagraphs(page));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void BM_MatchTableCells(benchmark::State& state) {
  const std::string page = PortalPage(size_t(state.range(0)));
  for (auto _ : state) {
    RegexMatcher m;
    m.Match("<td>(.*?)</td>", page);
    benchmark::DoNotOptimize(m.MatchCount());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

// A hostile pattern's runaway start positions, each given up at the match limit: the retry
// one position at a time runs in the JIT like the search itself.
void BM_RunawayRetry(benchmark::State& state) {
  const std::string subject = std::string(30, 'x') + "zy";
  for (auto _ : state) {
    RegexMatcher m;
    m.Match("(x+x+)+y", subject);
    benchmark::DoNotOptimize(m.MatchCount());
  }
}

// A pattern that costs the subject's length at every position: bounded by the search's budget.
void BM_QuadraticSearch(benchmark::State& state) {
  std::string subject;
  while (subject.size() < size_t(state.range(0))) subject += "ab";
  for (auto _ : state) {
    RegexMatcher m;
    m.Match("(?:a|b)*c", subject);
    benchmark::DoNotOptimize(m.MatchCount());
  }
}

void BM_GbkRoundTrip(benchmark::State& state) {
  const std::string page = PortalPage(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Utf16ToGbk(GbkToUtf16(page)));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

constexpr int64_t kMB = 1 << 20;
BENCHMARK(BM_TextBetween)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectParagraphs)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectEmptyParagraphs)->Arg(kMB)->Arg(16 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectOneLineParagraphs)->Arg(kMB)->Arg(4 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchTableCells)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunawayRetry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuadraticSearch)->Arg(400000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GbkRoundTrip)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
