// Plain HTTP/1.0 reader for the maker's version file, and browser launch.
#pragma once

#include "services/value.h"

namespace cx {

// Raw response body as a byte string; empty when nothing was received.
// Blocking; no window messages are handled meanwhile.
Bytes read_url(const Text& address);
// Closes the reader's root handle (end of the program).
void read_url_shutdown();

// Opens the address with the shell's "open" verb; no address: the default.
void open_in_browser(const Text* address = nullptr);
void open_in_browser(const Text& address);

}  // namespace cx
