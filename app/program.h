// The program's life: start-up, the handlers bound to the main window, end.
#pragma once

#include <cstdint>

namespace cx {

void on_main_window_created();
void on_main_window_destroyed();

// Start-up up to the window: runtime, window registry, the handlers, and
// what the end of the program runs and releases.
void program_startup();
// Start-up in its order, the message loop, and the end (does not return).
[[noreturn]] void run_program();

}  // namespace cx
