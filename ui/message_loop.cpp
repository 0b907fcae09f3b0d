// The message loop, the idle work of controls and the end of the program.
#include "ui/message_loop.h"

#include <windows.h>

#include "services/runtime.h"
#include "ui/registry_state.h"

namespace cx {

namespace {

// A control's idle work, newest first; entries whose window is gone drop out.
bool run_idle_work(int32_t count) {
  Registry& r = reg();
  bool more = false;
  for (size_t i = r.idle.size(); i-- > 0;) {
    if (i >= r.idle.size()) continue;  // work removed entries
    if (!IsWindow(r.idle[i].window)) {
      r.idle.erase(r.idle.begin() + std::ptrdiff_t(i));
      continue;
    }
    if (r.idle[i].work(r.idle[i].window, count)) more = true;
  }
  return more;
}

bool is_user_activity(const MSG& msg) {
  static POINT last{-1, -1};
  switch (msg.message) {
    case WM_PAINT:
    case WM_TIMER:
    case 0x0118:  // the system's caret-blink timer
      return false;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      if (msg.pt.x == last.x && msg.pt.y == last.y) return false;
      last = msg.pt;
      return true;
    default: return true;
  }
}

void dispatch_message(MSG& msg) {
  if (handled_before_dispatch(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

}  // namespace

bool any_open_window() {
  for (auto& [id, w] : reg().windows)
    if (w->live()) return true;
  return false;
}

// Tab and Shift+Tab move between the tab stops of our windows.
bool handled_before_dispatch(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  for (auto& [id, w] : reg().windows)
    if (w->live() && w->hwnd == top && IsDialogMessageA(top, &msg)) return true;
  return false;
}

void register_end_routine(void (*routine)()) { reg().end_routines.push_back(routine); }
void register_service_release(void (*routine)()) { reg().service_releases.push_back(routine); }
void register_idle_work(void* window, IdleWork work) { reg().idle.push_back({static_cast<HWND>(window), work}); }

void run_message_loop() {
  Registry& r = reg();
  r.loop_running = true;
  if (!any_open_window()) {
    r.loop_running = false;
    return;
  }
  MSG msg;
  bool idle = true;
  int32_t idle_count = 0;
  for (;;) {
    while (idle && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
      if (!run_idle_work(idle_count++)) idle = false;
    do {
      BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        r.loop_running = false;
        return;
      }
      dispatch_message(msg);
      if (is_user_activity(msg)) {
        idle = true;
        idle_count = 0;
      }
    } while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  }
}

void end_program(int32_t exit_code) {
  Registry& r = reg();
  if (r.thread != 0 && GetCurrentThreadId() != r.thread) {
    if (r.service) PostMessageA(r.service, kEndMessage, WPARAM(exit_code), 0);
    ExitProcess(UINT(exit_code));
  }
  r.ending = true;
  ++r.suppression;  // closing windows raises no further events
  r.idle.clear();
  for (auto& [id, w] : r.windows)
    if (w->live()) DestroyWindow(w->hwnd);
  for (auto routine : r.end_routines) routine();
  for (auto routine : r.service_releases) routine();
  runtime_shutdown();
  if (r.service) DestroyWindow(r.service);
  ExitProcess(UINT(exit_code));
}

}  // namespace cx
