// Video tiles: cut out of a page, one list row per tile.
#pragma once

#include "services/value.h"

namespace cx {

// Adds one row per tile of page (IDs from row_number on). A page without a
// tile instead shows the end of the run and clears fetch_running; the result
// then is false.
bool add_listing_rows(const Text& page);

// Rows of the first page, then the continuation pages of the run.
void parse_listing_page(Text& page);

}  // namespace cx
