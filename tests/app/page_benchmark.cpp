// Prints how long one continuation page of 1 000 videos takes from the bytes
// of its answer to its rows in the real window's list, the run's waits left
// out: the gzip-coded UTF-8 answer is decoded (decode_body), its escapes
// undone (decode_escapes: script engine and fallback) and its tiles cut into
// rows (add_listing_rows). The answer has the form the site sends: escaped
// tile markup of about 1 MB. Also prints the process's working set.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/escape_decoding.h"
#include "app/state.h"
#include "app/tile_parsing.h"
#include "services/runtime.h"
#include "tests/web/gzip_builder.h"
#include "ui/registry.h"
#include "ui/main_window.h"
#include "web/decode_body.h"

namespace {

using cx::Text;

int32_t nothing() { return 1; }

double now_ms() {
  static LARGE_INTEGER f = [] { LARGE_INTEGER x; QueryPerformanceFrequency(&x); return x; }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return 1000.0 * double(c.QuadPart) / double(f.QuadPart);
}

struct Memory {
  double working_mb, peak_mb;
};

Memory memory() {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
  return {double(m.WorkingSetSize) / 1048576.0, double(m.PeakWorkingSetSize) / 1048576.0};
}

// The site's escaping of markup inside a script literal: quotes, slashes and
// line feeds with a backslash, markup characters and everything outside
// printable ASCII as \uXXXX. The markup is given in GBK.
std::string script_escape(const std::string& gbk) {
  std::wstring w(gbk.size(), L'\0');
  w.resize(size_t(MultiByteToWideChar(936, 0, gbk.data(), int(gbk.size()), w.data(), int(w.size()))));
  std::string out;
  char buf[8];
  for (wchar_t c : w) {
    if (c == L'"') out += "\\\"";
    else if (c == L'\\') out += "\\\\";
    else if (c == L'/') out += "\\/";
    else if (c == L'\n') out += "\\n";
    else if (c == L'<' || c == L'>' || c == L'&' || c == L'=' || c > 0x7E || c < 0x20) {
      std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string video_id(int n) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string id;
  uint32_t x = uint32_t(n) * 2654435761u + 7u;
  for (int i = 0; i < 11; ++i, x = x * 1103515245u + 12345u) id += kChars[(x >> 16) % 64];
  return id;
}

// Titles as they stand in the markup (and so in the list).
std::string video_title(int n) {
  static const char* const kTitles[] = {"美食入门教程", "Night Sky Part ", "Tom &amp; Jerry 猫和老鼠 第", "围棋深度解析",
                                        "&quot;最后一课&quot; 纪录片 ", "Rock'n'Roll 现场 "};
  std::string t = kTitles[n % 6];
  if (n % 6 != 0 && n % 6 != 3) t += std::to_string(n + 1);
  return t;
}

// One tile as the site writes it (the thumbnail block left out).
std::string tile(int n) {
  const std::string id = video_id(n), idx = std::to_string(100000 + n);
  const std::string time = std::to_string(1 + n % 17) + ":" + std::to_string(10 + n % 50);
  return "<li class=\"channels-content-item cx-shelf-grid-item\">\n"
         "<div class=\"cx-lockup clearfix cx-lockup-video cx-lockup-grid\" data-context-item-id=\"" + id +
         "\"><div class=\"cx-lockup-dismissable\">\n<div class=\"cx-lockup-content\">\n"
         "<h3 class=\"cx-lockup-title \"><a class=\"cx-uix-sessionlink cx-tile-link spf-link\" dir=\"ltr\" title=\"" +
         video_title(n) + "\" aria-describedby=\"description-id-" + idx + "\" href=\"/watch?v=" + id +
         "\" rel=\"nofollow\">" + video_title(n) + "</a><span class=\"accessible-description\" id=\"description-id-" +
         idx + "\"> - 时长：" + time + "。</span></h3>\n<div class=\"cx-lockup-meta\"><ul class=\"cx-lockup-meta-info\"><li>" +
         std::to_string(1000 + n * 733) + "次观看</li><li>" + std::to_string(1 + n % 29) +
         "天前</li></ul></div>\n</div></div></div>\n</li>\n";
}

std::string continuation_answer(int first, int count) {
  std::string content = "\n\n";
  for (int n = first; n < first + count; ++n) content += tile(n);
  const std::string more =
      "\n\n<button class=\"cx-button load-more-button\" type=\"button\" aria-label=\"Load more\n\" "
      "data-uix-load-more-href=\"/browse_ajax?action_continuation=1&amp;continuation=bench-2\">"
      "<span class=\"load-more-text\">\n    Load more\n\n  </span></button>\n\n";
  // Decoded from GBK and escaped: the answer itself is plain ASCII, sent as UTF-8.
  return "{\"content_html\":\"" + script_escape(content) + "\",\r\n\"load_more_widget_html\":\"" +
         script_escape(more) + "\"}";
}

struct Round {
  double body, escapes, rows;
  double total() const { return body + escapes + rows; }
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cx;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  runtime_startup();
  registry_startup();
  std::vector<EventHandler> handlers(H_SLOT_COUNT, nothing);
  register_handlers(handlers.data(), H_SLOT_COUNT);
  load_window(MAIN_WINDOW_ID);
  process_events();
  site_base_address = Text::literal("https://www.clipdex.com");

  const int kVideos = 1000;
  const std::string answer = continuation_answer(0, kVideos);
  const std::string gz = cx::testing::gzip_member(answer);
  const Text content_type = Text::literal("application/json; charset=UTF-8");
  std::printf("answer: %zu bytes, %zu gzip-coded, %d videos\n", answer.size(), gz.size(), kVideos);
  const Memory idle = memory();

  std::vector<Round> done;
  bool rows_ok = true;
  for (int r = 0; r < rounds; ++r) {
    list_delete_all(超级列表框_视频);
    row_number = 0;
    fetch_running = 1;
    Round t{};
    double t0 = now_ms();
    page_text = decode_body(reinterpret_cast<const uint8_t*>(gz.data()), uint32_t(gz.size()), CODING_GZIP,
                            content_type);
    double t1 = now_ms();
    page_text = decode_escapes(std::move(page_text));
    double t2 = now_ms();
    add_listing_rows(page_text);
    double t3 = now_ms();
    t = {t1 - t0, t2 - t1, t3 - t2};
    done.push_back(t);
    std::printf("round %d: %.1f ms (body %.1f, escapes %.1f, rows %.1f)\n", r + 1, t.total(), t.body, t.escapes,
                t.rows);
    // Every row as the site's markup names it.
    const int32_t count = list_row_count(超级列表框_视频);
    for (int n : {0, 1, 2, 4, kVideos - 1}) {
      const std::string link = "https://www.clipdex.com/watch?v=" + video_id(n);
      if (count != kVideos || list_get_cell(超级列表框_视频, n, 0).view() != std::to_string(n) ||
          list_get_cell(超级列表框_视频, n, 1).view() != video_title(n) ||
          list_get_cell(超级列表框_视频, n, 2).view() != link)
        rows_ok = false;
    }
    process_events();  // the list's last repaint
  }
  const Memory after = memory();

  std::vector<double> totals, body, escapes, rows;
  for (const Round& t : done) {
    totals.push_back(t.total());
    body.push_back(t.body);
    escapes.push_back(t.escapes);
    rows.push_back(t.rows);
  }
  std::printf("per page, median of %d: %.1f ms (body %.1f, escapes %.1f, rows %.1f); best %.1f ms\n", rounds,
              median(totals), median(body), median(escapes), median(rows), *std::min_element(totals.begin(), totals.end()));
  std::printf("working set: %.1f MB before the first page, %.1f MB after the last (%d rows listed); peak %.1f MB\n",
              idle.working_mb, after.working_mb, list_row_count(超级列表框_视频), after.peak_mb);
  std::printf("goal 250 ms per page; rows %s\n", rows_ok ? "as the answer names them" : "WRONG");
  ExitProcess(rows_ok ? 0 : 1);
}
