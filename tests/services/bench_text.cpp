// Speed of the text primitives on page-like GBK texts (ASCII markup with
// Chinese titles), beside the plain library searches on the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>

#include "services/text.h"

using namespace cx;

namespace {

// About `bytes` of listing-page markup; the sought marker sits at the end.
std::string make_page(size_t bytes) {
  std::string page;
  page.reserve(bytes + 256);
  static const char* titles[] = {"视频标题：第一集 精彩内容", "新闻 — 今日要闻", "音乐 MV 合集（高清）", "教程：如何使用"};
  for (int i = 0; page.size() < bytes; ++i) {
    page += "<div class=\"cx-lockup\"><a class=\"cx-lockup-title\" href=\"/watch?v=";
    page += std::to_string(100000 + i);
    page += "\" title=\"";
    page += titles[i % 4];
    page += "\">";
    page += titles[(i + 1) % 4];
    page += "</a><span class=\"cx-lockup-meta\">12万次观看 · 3天前</span></div>\n";
  }
  page += "<button>Load more</button>";
  return page;
}

const std::string& page_1mb() {
  static const std::string p = make_page(1 << 20);
  return p;
}

// find_text over the page for marker; ignore_case 1 compares ASCII letters
// without regard to case.
void BM_find_text(benchmark::State& state, const char* marker, int ignore_case) {
  Text page = Text::copy(page_1mb());
  Text sought = Text::copy(marker);
  for (auto _ : state) benchmark::DoNotOptimize(find_text(page, sought, std::nullopt, ignore_case));
  state.SetBytesProcessed(int64_t(state.iterations()) * page.length());
}

// The library's own search over the same bytes, for comparison.
void BM_string_view_find(benchmark::State& state, const char* marker) {
  std::string_view page(page_1mb());
  for (auto _ : state) benchmark::DoNotOptimize(page.find(marker));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void BM_memmem(benchmark::State& state) {
  const std::string& page = page_1mb();
  for (auto _ : state) benchmark::DoNotOptimize(memmem(page.data(), page.size(), "Load more", 9));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void BM_text_middle(benchmark::State& state) {
  Text page = Text::copy(page_1mb());
  int32_t half = page.length() / 2;
  for (auto _ : state) {
    Text t = text_middle(page, half / 2, half);
    benchmark::DoNotOptimize(t.block());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * half);
}

// Escaped quotes rewritten, as the logic does before decoding: every few
// dozen bytes one replacement.
void BM_replace_text(benchmark::State& state) {
  Text page = Text::copy(make_page(size_t(state.range(0)) << 20));
  Text sought = Text::copy("\"");
  Text repl = Text::copy("\\\"");
  for (auto _ : state) {
    Text t = replace_text(page, sought, repl);
    benchmark::DoNotOptimize(t.block());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * page.length());
}

}  // namespace

BENCHMARK_CAPTURE(BM_find_text, marker_at_end, "Load more", 0);
BENCHMARK_CAPTURE(BM_find_text, ignore_case, "load MORE", 1);
BENCHMARK_CAPTURE(BM_string_view_find, marker_at_end, "Load more");
BENCHMARK(BM_memmem);
// The first byte '<' occurs every few dozen bytes.
BENCHMARK_CAPTURE(BM_find_text, frequent_first_byte, "<button>", 0);
BENCHMARK_CAPTURE(BM_string_view_find, frequent_first_byte, "<button>");
BENCHMARK(BM_text_middle);
BENCHMARK(BM_replace_text)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
