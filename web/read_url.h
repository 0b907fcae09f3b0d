// Plain HTTP/1.0 reader for the maker's version file.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// How a read_url call ended.
enum class ReadUrlOutcome {
  complete,  // the server ended the body
  failed,    // no answer, a failed or timed-out transfer: the body may be cut
  too_long,  // more than kReadUrlLimit bytes: nothing is returned
};

// The most read_url takes: a version file is two short lines. A longer answer
// is refused rather than held in memory.
constexpr uint32_t kReadUrlLimit = 64 * 1024;
// A silent or crawling server holds read_url for at most about this long:
// each connect, send and receive gives up after its own time-out, and no
// further read starts once the whole call has taken kReadUrlBudgetMs.
constexpr uint32_t kReadUrlStepTimeoutMs = 5000;
constexpr uint32_t kReadUrlBudgetMs = 10000;

// Raw response body as a byte string; empty when nothing was received.
// Blocking; no window messages are handled meanwhile. outcome, when given,
// tells a complete answer from a cut or refused one.
Bytes read_url(const Text& address, ReadUrlOutcome* outcome = nullptr);
// Closes the reader's root handle (end of the program).
void read_url_shutdown();

// Test seam: when set, called after every read of read_url with the chunk
// size chosen for the answer and the bytes that arrived (0 at the end). The program never
// sets it.
using ReadUrlObserver = void (*)(uint32_t chunk_size, uint32_t bytes_read, void* context);
void set_read_url_observer(ReadUrlObserver observer, void* context);
// The reader's root transport handle (null before the first read_url that
// opened it, and after read_url_shutdown).
const void* read_url_root_handle();

}  // namespace cx
