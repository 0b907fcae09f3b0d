// Globals of the harvesting logic: created with the process (integers 0, texts
// empty), used only on the window thread; assigning a text releases the old.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

extern Text site_base_address;
extern Text listing_address;
extern Text page_text;
extern int32_t fetch_running;
extern int32_t tile_index;
extern int32_t row_number;
extern Text current_title;
extern Text current_href;
extern Text more_marker;

// Releases the six text globals (end routine of the program).
void release_globals();

}  // namespace cx
