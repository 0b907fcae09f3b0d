// The window registry: the stored window definitions, the live windows built
// from them, event delivery to the program's handlers and window loading.
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

}  // namespace cx
