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

// The address alone: the body text, empty on any failure.
Text page_request(const Text& address);

// What one GET of a page brought back, for callers that must tell a whole
// answer from a failure or a part of one.
struct PageAnswer {
  Text text;                // the decoded body; empty unless the answer is whole
  int32_t status_code = 0;  // 0: no status line arrived
  // The answer arrived whole: a status line, every byte the Content-Length
  // announced, a transfer that ended cleanly (no failed read, no time-out,
  // within the exchange's budget), a compressed body decoded to the end of
  // its stream, no byte dropped at the 64 MiB cap, and, for a body whose end
  // only the closing connection told, a page that shows its own end (see
  // page_shows_its_end). Nothing of an answer that is not whole is kept.
  bool whole = false;
};

// The harvesting logic's call: GET of address with the default header lines.
// (page_request above is the general form, which gives whatever body came.)
PageAnswer request_page(const Text& address);

// Test seam: the time-out of one wait for the worker (90 000 ms unless
// changed). The program never changes it.
void set_page_request_wait_timeout(uint32_t milliseconds);
// Test seam: the connect, send and receive time-outs of the transfer (90 000
// ms unless changed). The program never changes it.
void set_page_request_transfer_timeout(uint32_t milliseconds);
// Test seam: the time after which no further read of a body starts (300 000
// ms unless changed). The program never changes it.
void set_page_request_budget(uint32_t milliseconds);

}  // namespace cx
