// Prints how long the real window takes to turn a 1 MB listing page of 1 000
// tiles into rows (the run's waits left out), and the same page cut alone.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cutting.h"
#include "app/state.h"
#include "app/tile_parsing.h"
#include "services/runtime.h"
#include "ui/registry.h"
#include "ui/main_window.h"

namespace {

int32_t nothing() { return 1; }

double now_ms() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * double(c.QuadPart) / double(f.QuadPart);
}

std::string listing_page(int tiles, size_t target) {
  std::string tile_markup;
  std::string page = "<html><head><title>频道</title></head><body><div id=\"contents\">";
  const size_t per_tile = target / size_t(tiles);
  for (int i = 0; i < tiles; ++i) {
    std::string t = "<div class=\"cx-grid-item\"><h3 class=\"cx-lockup-title\"><a id=\"video-title\" title=\"第" +
                    std::to_string(i) + "集 Clipdex 演示视频 &amp; more\" href=\"/watch?v=v" + std::to_string(i) +
                    "\">title</a></h3><div class=\"cx-lockup-meta\"><span>1.2万次观看</span>";
    while (t.size() < per_tile) t += "<span class=\"cx-badge\">metadata filler 元数据</span>";
    page += t + "</div></div>\n";
  }
  return page + "</div></body></html>";
}

}  // namespace

int main() {
  using namespace cx;
  runtime_startup();
  registry_startup();
  std::vector<EventHandler> handlers(H_SLOT_COUNT, nothing);
  register_handlers(handlers.data(), H_SLOT_COUNT);
  load_window(MAIN_WINDOW_ID);
  runtime_hooks().delay = [](int32_t) {};

  const Text page = Text::copy(listing_page(1000, 1 << 20));
  std::printf("page: %d bytes, 1000 tiles\n", page.length());

  std::vector<Text> pieces;
  double t0 = now_ms();
  const int32_t n = text_between_all(page, Text::literal("cx-lockup-title"), Text::literal("cx-lockup-meta"), pieces);
  double t1 = now_ms();
  std::printf("cutting alone: %.1f ms (%d tiles)\n", t1 - t0, n);

  site_base_address = Text::literal("https://www.clipdex.com");
  for (int round = 0; round < 3; ++round) {
    list_delete_all(超级列表框_视频);
    row_number = 0;
    fetch_running = 1;
    page_text = page;
    t0 = now_ms();
    parse_listing_page(page_text);
    t1 = now_ms();
    std::printf("parse_listing_page, round %d: %.1f ms, %d rows\n", round + 1, t1 - t0, list_row_count(超级列表框_视频));
  }
  std::printf("goal 100 ms\n");
  ExitProcess(0);
}
