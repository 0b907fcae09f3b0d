// One download of the updater: the new program file fetched into a
// temporary file beside the target and put in the target's place only when
// it arrived whole (the steps are told in transfer.h). Runs on the worker of
// a transfer; reports back through the fields the transfer object gives it.
#pragma once

#include <windows.h>

#include <cstdint>

namespace updata {

struct DownloadJob {
  // Copied from the settings at start: the caller may change them meanwhile.
  char* source;
  char* target;
  char* referrer;
  char* endings;
  int attempts, connect_timeout, send_timeout, receive_timeout, retry_pause;
  int write_buffer, read_chunk;
  // The transfer object's: a stop asked for, the bytes received, and the
  // slot of the session (closed by another thread to end a wait at once).
  volatile LONG* cancel;
  volatile LONG* done;
  void* volatile* session;
  // Told the size of the file when the server announces it.
  void (*announce_size)(void* context, int32_t size);
  void* context;
};

// TRANSFER_FINISHED when the new file has replaced the target, else
// TRANSFER_FAILED with the target as it was.
int32_t run_download(const DownloadJob& job);

// True when name ends in one of the "|"-separated endings (ASCII case ignored).
// An empty list allows every name.
bool has_listed_ending(const char* name, const char* endings);

}  // namespace updata
