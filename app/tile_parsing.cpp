#include "app/tile_parsing.h"

#include <vector>

#include "app/cutting.h"
#include "app/paging.h"
#include "app/state.h"
#include "services/runtime.h"
#include "services/text.h"
#include "ui/main_window.h"

namespace cx {

namespace {
const char* const kTileStart = "cx-lockup-title";
const char* const kTileEnd = "cx-lockup-meta";
const char* const kTitleMarker = "title=\"";
const char* const kHrefMarker = "href=\"";
const char* const kQuote = "\"";
}  // namespace

bool add_listing_rows(const Text& page) {
  std::vector<Text> tiles;
  const int32_t n = text_between_all(page, Text::literal(kTileStart), Text::literal(kTileEnd), tiles);
  if (n < 1) {
    end_fetch_run("信息已加载完毕,正在整理信息...", RunEnd::progress_only);
    return false;
  }
  for (tile_index = 1; tile_index <= n; ++tile_index, ++row_number) {
    const Text& tile = tiles[size_t(tile_index - 1)];
    current_title = text_between(tile, Text::literal(kTitleMarker), Text::literal(kQuote));
    current_href = text_between(tile, Text::literal(kHrefMarker), Text::literal(kQuote));
    // Titles and hrefs go in as they stand in the markup; the base address is
    // put in front of every href, even a complete one.
    list_insert_row(超级列表框_视频, row_number, to_text(int64_t(row_number)));
    list_set_cell(超级列表框_视频, row_number, 1, current_title);
    list_set_cell(超级列表框_视频, row_number, 2, site_base_address + current_href);
  }
  return true;
}

void parse_listing_page(Text& page) {
  if (!add_listing_rows(page)) return;
  find_more_marker();
  delay(kPageWaitMs);
  fetch_next_pages();
}

}  // namespace cx
