// The updater module: its state, the window "更新程序" and the handlers of its
// start button, its timer and the transfer events. Everything here runs on the
// host's window thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "updater/settings.h"
#include "updater/transfer.h"

namespace updata {

struct ModuleState {
  char* download_address;  // first argument of the last update_window call
  char* target_path;       // second argument
  TransferHandle transfer;
  int32_t total_size;      // announced by event 3
  TransferSettings* settings;
};

// The body of the library's export 更新窗口: shows the window (made on the
// first call; the module starts then) and keeps copies of both texts. Null
// counts as the empty text. Returns at once.
uint32_t update_window(const char* address, const char* path);

// Handlers, also reachable by tests.
void on_start_clicked();
void on_timer_tick();
int32_t __stdcall on_transfer_event(int32_t code, int32_t unused1, int32_t value, int32_t unused2, int32_t unused3);

// Library unload: gives back the texts, the transfer and the settings record.
// process_ending: called while the process goes down (other threads are gone).
void module_unload(bool process_ending);

// Inspection for tests.
const ModuleState& module_state();
bool module_started();
HWND module_window();            // null while not shown
int32_t module_timer_interval(); // 0 = idle
// Control identifiers inside the window.
enum : int { ID_PROGRESS = 1, ID_LABEL = 2, ID_BUTTON = 3 };
// The transfer operations the module drives (the WinInet ones by default).
void module_use_transfer(const TransferOps* ops);

}  // namespace updata
