// Plain HTTP/1.0 reader for the maker's version file, and browser launch.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// Raw response body as a byte string; empty when nothing was received.
// Blocking; no window messages are handled meanwhile.
Bytes read_url(const Text& address);
// Closes the reader's root handle (end of the program).
void read_url_shutdown();

// Test seam: when set, called after every read of read_url with the chunk
// size asked for and the bytes that arrived (0 at the end). The program never
// sets it.
using ReadUrlObserver = void (*)(uint32_t chunk_size, uint32_t bytes_read, void* context);
void set_read_url_observer(ReadUrlObserver observer, void* context);
// The reader's root transport handle (null before the first read_url that
// opened it, and after read_url_shutdown).
const void* read_url_root_handle();

// The maker's site root, opened when open_in_browser gets no address.
extern const char kMakerSiteRoot[];

// Opens the address with the shell's "open" verb; no address: the default.
void open_in_browser(const Text* address = nullptr);
void open_in_browser(const Text& address);

}  // namespace cx
