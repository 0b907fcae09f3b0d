// TransferService: downloads a file on a worker thread and puts it in the
// place of the target only when it arrived whole.
//
// A transfer is a handle to the object; null means no object yet (the first
// start makes one). It holds the object's address, so it is as wide as an
// address: 32 bits in the 32-bit library, 64 in the 64-bit one. The events go
// to the handler of field 15 on the thread that called start: the worker
// posts them to a message-only window of that thread, whose window procedure
// calls the handler. Nothing of the caller runs on the worker.
//
// Outcome of one start:
//   event 3 (size)  when the server announces the length
//   event 4         the new file has replaced the target
//   event 9         anything else; the target is left exactly as it was
// The download goes to a temporary file beside the target, which the system
// deletes with its handle until the download is accepted. It is accepted
// only with a 2xx status, the announced length (when there is one) and a
// complete program image (see is_complete_image): without a length, a
// connection that closed early is told only by the image itself. The target
// is then renamed aside (a running program's file cannot be overwritten, but
// it can be renamed), the new file moved in, and the aside file deleted or,
// when it is still in use, left to the program's next start (and marked for
// deletion at the next restart where the system allows that). A failed
// move puts the old file back; when that fails too, the new file is copied
// into place, so that the program's path never stays empty.
//
// Each start first removes what earlier updates left beside the target (see
// update_files.h), as the program does at its start.
// A start that cannot even begin (no memory, no window, no thread) reports
// event 9 to the handler at once.
#pragma once

#include <windows.h>

#include <cstdint>

#include "updater/download.h"
#include "updater/file_swap.h"
#include "updater/image_check.h"
#include "updater/settings.h"
#include "updater/update_files.h"

namespace updata {

struct TransferObject;
using TransferHandle = TransferObject*;

// Begins the transfer described by settings and returns at once. While a
// transfer of this handle is still running, a further start is ignored.
void transfer_start(TransferHandle* transfer, const TransferSettings* settings);
// Bytes received so far by the latest start (0 for no object).
int32_t transfer_progress(TransferHandle transfer);
// True from start until its last event has been delivered.
bool transfer_running(TransferHandle transfer);
// Ends the object: a running transfer is stopped (its events are dropped) and
// the handle becomes null. process_ending: the process is going down and other
// threads are gone; only memory is given back then.
void transfer_release(TransferHandle* transfer, bool process_ending = false);

// The operations the updater module drives; tests of the module put their
// own in place of the real ones.
struct TransferOps {
  void (*start)(TransferHandle* transfer, const TransferSettings* settings);
  int32_t (*progress)(TransferHandle transfer);
  void (*release)(TransferHandle* transfer, bool process_ending);
};
extern const TransferOps kWinInetTransfer;

// Test seam: the thread start of a transfer. Null puts the system's own back.
using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE routine, void* param);
void set_transfer_thread_starter(ThreadStarter starter);

}  // namespace updata
