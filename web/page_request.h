// The page request: one HTTP/1.1 or HTTPS exchange on a worker thread while
// the calling thread keeps dispatching its window messages.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// Cell form with the nine arguments address, method, proxy, extra_headers,
// send_data, accept_compressed, open_flags, cookies_out, headers_out (the last
// two by reference: cell_ref(TAG_TEXT, Text*)). Result: the decoded body,
// empty on any failure.
Text page_request(int argc, const Cell* args);

// The harvesting logic's call: address only.
Text page_request(const Text& address);
// The same, also handing back the raw response header block (empty when no
// answer arrived), from which the caller can read the status line.
Text page_request(const Text& address, Text* headers_out);

// Test seam: the time-out of one wait for the worker (90 000 ms unless
// changed). The program never changes it.
void set_page_request_wait_timeout(uint32_t milliseconds);

}  // namespace cx
