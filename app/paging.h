// Continuation paging: follows the "Load more" continuations page after page.
#pragma once

#include "services/value.h"

namespace cx {

// The wait between the steps of a run (the window handles no messages).
constexpr int32_t kPageWaitMs = 2000;
// A page that could not be fetched is requested this many more times.
constexpr int kPageRetries = 2;

// Looks for the continuation marker in page_text; without one the run ends.
void find_more_marker();
// Requests, decodes and lists the continuation pages until the run ends, then
// shows the end of the run.
void fetch_next_pages();

// Starts the record of the addresses requested in this run.
void begin_run_addresses(const Text& first_address);

// Requests address; an answer that did not arrive whole (no answer at all, a
// body cut short, a failed read) or that has an HTTP status of 400 or more is
// repeated up to kPageRetries times, each after the usual wait, while the run
// goes on. False when no attempt succeeded; page is then empty.
bool fetch_page(const Text& address, Text& page);

// How a run ends: at the end of the paging the stop label also says that
// every thread has stopped; a first page that failed, or a page without
// tiles, shows only its progress text.
enum class RunEnd { threads_stopped, progress_only };
// Ends the run: fetch_running 0, the progress text, the stop label where how
// says so, and the button "获取" enabled again.
void end_fetch_run(const char* progress_text, RunEnd how);

// The progress label after a page could not be fetched.
extern const char* const kFetchFailedText;

}  // namespace cx
