#include "app/paging.h"

#include <string>
#include <unordered_set>
#include <utility>

#include "app/cutting.h"
#include "app/escape_decoding.h"
#include "app/state.h"
#include "app/tile_parsing.h"
#include "services/runtime.h"
#include "services/text.h"
#include "ui/main_window.h"
#include "web/page_request.h"

namespace cx {

const char* const kFetchFailedText = "获取失败,列表可能不完整";

namespace {

const char* const kMoreMarkerEnglish = "Load more";
const char* const kMoreMarkerChinese = "加载更多";
const char* const kNextPageText = "正在获取下一页...";

// Addresses requested in the current run: a continuation leading back to one
// of them would page forever.
std::unordered_set<std::string> requested_addresses;

void show_progress(const char* text) { set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::literal(text)); }

void restore_fetch_button() {
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::literal("获取"));
  set_bool_property(按钮_获取_停止, PROP_DISABLED, false);
}

void show_end_of_run(const char* progress_text) {
  show_progress(progress_text);
  set_text_property(透明标签_停止信息, LABEL_CAPTION, Text::literal("已停止全部线程"));
  restore_fetch_button();
}

}  // namespace

void begin_run_addresses(const Text& first_address) {
  requested_addresses.clear();
  requested_addresses.insert(std::string(first_address.view()));
}

int32_t status_from_headers(const Text& raw_headers) {
  // "HTTP/1.1 503 Service Unavailable": the code follows the first blank.
  const std::string_view h = raw_headers.view();
  const size_t line_end = h.find("\r\n");
  const std::string_view line = h.substr(0, line_end);
  const size_t blank = line.find(' ');
  if (line.substr(0, 5) != "HTTP/" || blank == std::string_view::npos) return 0;
  int32_t code = 0;
  size_t i = blank + 1;
  for (int digits = 0; i < line.size() && digits < 3 && line[i] >= '0' && line[i] <= '9'; ++i, ++digits)
    code = code * 10 + (line[i] - '0');
  return code;
}

bool fetch_page(const Text& address, Text& page) {
  for (int attempt = 0;; ++attempt) {
    Text headers;
    page = page_request(address, &headers);
    // No header block means no answer arrived at all.
    const int32_t status = status_from_headers(headers);
    if (!headers.empty() && status < 400) return true;
    if (attempt == kPageRetries || fetch_running != 1) return false;
    delay(kPageWaitMs);
  }
}

void find_more_marker() {
  if (find_text(page_text, Text::literal(kMoreMarkerEnglish)) > 0) {
    more_marker = Text::literal(kMoreMarkerEnglish);
    show_progress(kNextPageText);
    return;
  }
  if (find_text(page_text, Text::literal(kMoreMarkerChinese)) > 0) {
    more_marker = Text::literal(kMoreMarkerChinese);
    show_progress(kNextPageText);
    return;
  }
  show_progress("信息已加载完毕,正在整理信息...");
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::literal("获取"));
  fetch_running = 0;
}

// Each pass: find marker, take address, wait, request, decode, wait, list the
// rows, find marker, wait. A flat loop keeps long channels off the stack.
void fetch_next_pages() {
  while (fetch_running == 1) {
    find_more_marker();
    show_progress(kNextPageText);
    const Text block = text_between(page_text, more_marker, more_marker);
    const Text href = text_between(block, Text::literal("href=\""), Text::literal("\""));
    const Text address = site_base_address + href;
    if (!requested_addresses.insert(std::string(address.view())).second) {
      fetch_running = 0;
      break;
    }
    show_progress("正在解码....");
    delay(kPageWaitMs);

    const bool fetched = fetch_page(address, page_text);
    if (!fetched) {
      fetch_running = 0;
      show_end_of_run(kFetchFailedText);
      return;
    }
    page_text = decode_escapes(std::move(page_text));
    show_progress("已解码,准备加载...");
    delay(kPageWaitMs);

    if (!add_listing_rows(page_text)) break;
    find_more_marker();
    delay(kPageWaitMs);
  }
  show_end_of_run("已经全部获取");
}

}  // namespace cx
