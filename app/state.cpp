#include "app/state.h"

namespace cx {

Text site_base_address;
Text listing_address;
Text page_text;
int32_t fetch_running = 0;
int32_t tile_index = 0;
int32_t row_number = 0;
Text current_title;
Text current_href;
Text more_marker;

void release_globals() {
  page_text = Text();
  listing_address = Text();
  current_title = Text();
  current_href = Text();
  site_base_address = Text();
  more_marker = Text();
}

}  // namespace cx
