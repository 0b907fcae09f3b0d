// The message loop, the idle work of controls and the end of the program.
#pragma once

#include <cstdint>

namespace cx {

// Runs until the thread's message queue receives the quit message.
void run_message_loop();
[[noreturn]] void end_program(int32_t exit_code);
// End routines run by end_program in registration order.
void register_end_routine(void (*routine)());
// Release routines of the service modules, run by end_program after the end
// routines.
void register_service_release(void (*routine)());
// Idle work of a control: runs while the message loop has nothing to do,
// newest first, as long as its window exists; returns whether it wants more
// idle time (count grows from 0 within one idle phase).
using IdleWork = bool (*)(void* window, int32_t count);
void register_idle_work(void* window, IdleWork work);

}  // namespace cx
