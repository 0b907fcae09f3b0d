// Window registry, event delivery, window loading, message loop and the end
// of the program.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// A handler takes the event's arguments (none in this program) and returns a
// logical result, which is kept only when the event expects one.
using EventHandler = int32_t (*)();
void register_handlers(const EventHandler* table, int count);

struct EventRecord {
  uint32_t window;
  uint32_t control;   // 0: the window itself
  int32_t index;      // event index
  int32_t argc;
  const Cell* args;
  bool has_result;    // the event expects a result
  int32_t result;
};

// Fills the registry from the stored window definitions (start-up step).
void registry_startup();
void load_window(uint32_t window_id);
int32_t deliver_event(EventRecord& ev);
void run_message_loop();
[[noreturn]] void end_program(int32_t exit_code);
// End routines run by end_program in registration order.
void register_end_routine(void (*routine)());

// The event-suppression counter (above 0: no event reaches a handler).
int32_t& event_suppression();

struct WindowDef;
// Adds a window definition to the registry (replacing an unloaded one with
// the same identifier); false when a window with that identifier is open.
// The definition must outlive the registry entry.
bool register_window_definition(const WindowDef& def);
// True while the window has a live platform window.
bool window_is_open(uint32_t window_id);
// The platform handle of an open window or control (null otherwise), for
// code that must hand a window to the system (owners of boxes and dialogs).
void* window_handle(uint32_t window_id, uint32_t control_id = 0);

// Release routines of the service modules, run by end_program after the end
// routines.
void register_service_release(void (*routine)());
// Idle work of a control: runs while the message loop has nothing to do,
// newest first, as long as its window exists; returns whether it wants more
// idle time (count grows from 0 within one idle phase).
using IdleWork = bool (*)(void* window, int32_t count);
void register_idle_work(void* window, IdleWork work);

}  // namespace cx
