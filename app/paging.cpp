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

// The continuation href behind marker in page_text: the first *href value in
// the markup between the marker's first two occurrences; empty without one.
Text continuation_href(const Text& marker) {
  const Text block = text_between(page_text, marker, marker);
  return text_between(block, Text::literal("href=\""), Text::literal("\""));
}

}  // namespace

void end_fetch_run(const char* progress_text, RunEnd how) {
  fetch_running = 0;
  show_progress(progress_text);
  if (how == RunEnd::threads_stopped)
    set_text_property(透明标签_停止信息, LABEL_CAPTION, Text::literal("已停止全部线程"));
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::literal("获取"));
  set_bool_property(按钮_获取_停止, PROP_DISABLED, false);
}

void begin_run_addresses(const Text& first_address) {
  requested_addresses.clear();
  requested_addresses.insert(std::string(first_address.view()));
}

bool fetch_page(const Text& address, Text& page) {
  for (int attempt = 0;; ++attempt) {
    // The page before is let go first: it is never held beside a new answer.
    page = Text();
    PageAnswer answer = request_page(address);
    // A part of a page would be listed as if it were all of it; an error
    // page is no page of the channel.
    if (answer.whole && answer.status_code < 400) {
      page = std::move(answer.text);
      return true;
    }
    if (attempt == kPageRetries || fetch_running != 1) return false;
    delay(kPageWaitMs);
  }
}

void find_more_marker() {
  // A marker counts only with a continuation address behind it: the words
  // alone (in a video's title, say) lead nowhere.
  for (const char* marker : {kMoreMarkerEnglish, kMoreMarkerChinese}) {
    if (find_text(page_text, Text::literal(marker)) > 0 && !continuation_href(Text::literal(marker)).empty()) {
      more_marker = Text::literal(marker);
      show_progress(kNextPageText);
      return;
    }
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
    if (fetch_running != 1) break;
    show_progress(kNextPageText);
    const Text address = site_base_address + continuation_href(more_marker);
    if (!requested_addresses.insert(std::string(address.view())).second) {
      fetch_running = 0;
      break;
    }
    show_progress("正在解码....");
    delay(kPageWaitMs);

    const bool fetched = fetch_page(address, page_text);
    if (!fetched) {
      end_fetch_run(kFetchFailedText, RunEnd::threads_stopped);
      return;
    }
    page_text = decode_escapes(std::move(page_text));
    show_progress("已解码,准备加载...");
    delay(kPageWaitMs);

    if (!add_listing_rows(page_text)) break;
    find_more_marker();
    delay(kPageWaitMs);
  }
  end_fetch_run("已经全部获取", RunEnd::threads_stopped);
}

}  // namespace cx
