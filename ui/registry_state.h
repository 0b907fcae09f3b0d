// The state the registry and the message loop share (window layer only).
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "ui/live.h"
#include "ui/message_loop.h"
#include "ui/registry.h"

namespace cx {

struct IdleEntry {
  HWND window;
  IdleWork work;
};

struct Registry {
  std::map<uint32_t, std::unique_ptr<LiveWindow>> windows;
  std::vector<EventHandler> handlers;
  std::vector<void (*)()> end_routines;
  std::vector<void (*)()> service_releases;
  std::vector<IdleEntry> idle;
  int32_t suppression = 0;
  DWORD thread = 0;
  HWND service = nullptr;  // hidden window that takes an end asked for by another thread
  bool classes_registered = false;
  bool loop_running = false;
  bool ending = false;
};

Registry& reg();

// Whether any window of the registry is open.
bool any_open_window();
// The window layer's own handling of a message before it is dispatched
// (keyboard moves between tab stops); true when it has been handled.
bool handled_before_dispatch(MSG& msg);
// The message that asks the service window to end the program (wParam: the
// exit code).
constexpr UINT kEndMessage = WM_APP + 1;

}  // namespace cx
