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

}  // namespace cx
