// The window registry, event delivery, window loading, the message loop and
// the end of the program.
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <vector>

#include "services/runtime.h"
#include "ui/dispatch.h"
#include "ui/live.h"
#include "ui/main_window.h"

namespace cx {

namespace {

constexpr UINT kEndMessage = WM_APP + 1;  // to the service window: end with wParam
constexpr int kFirstCommand = 0x100;      // clear of IDOK, IDCANCEL and friends
const char kServiceClass[] = "CxService";

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
  HWND service = nullptr;
  bool classes_registered = false;
  bool loop_running = false;
  bool ending = false;
};

Registry& reg() {
  static Registry r;
  return r;
}

StoredCommon stored_from(int32_t left, int32_t top, int32_t width, int32_t height, uint32_t flags) {
  StoredCommon s;
  s.left = left;
  s.top = top;
  s.width = width;
  s.height = height;
  s.visible = (flags & ITEM_VISIBLE) != 0;
  s.disabled = (flags & ITEM_DISABLED) != 0;
  return s;
}

std::unique_ptr<LiveWindow> make_entry(const WindowDef& def) {
  auto w = std::make_unique<LiveWindow>();
  w->def = &def;
  w->stored = stored_from(def.left, def.top, def.width, def.height, def.flags);
  w->items.resize(def.items.size());
  for (size_t i = 0; i < def.items.size(); ++i) {
    const ItemDef& d = def.items[i];
    LiveItem& it = w->items[i];
    it.def = &d;
    it.stored = stored_from(d.left, d.top, d.width, d.height, d.flags);
    it.command = kFirstCommand + int(i);
  }
  return w;
}

LRESULT CALLBACK service_procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kEndMessage) end_program(int32_t(wp));
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void register_classes() {
  Registry& r = reg();
  if (r.classes_registered) return;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  register_frame_class();
  register_label_class();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = service_procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kServiceClass;
  RegisterClassExA(&wc);
  r.service = CreateWindowExA(0, kServiceClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  r.classes_registered = true;
}

bool any_open_window() {
  for (auto& [id, w] : reg().windows)
    if (w->live()) return true;
  return false;
}

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

// The window layer's own handling of a message before it is dispatched:
// Tab and Shift+Tab move between the tab stops of our windows. True when
// the message has been handled.
bool handled_before_dispatch(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  for (auto& [id, w] : reg().windows)
    if (w->live() && w->hwnd == top && IsDialogMessageA(top, &msg)) return true;
  return false;
}

void dispatch_message(MSG& msg) {
  if (handled_before_dispatch(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

// process_events pumps through the same handling as the message loop, so
// that the keyboard works alike inside a long handler.
bool filter_pumped_message(void* msg) { return handled_before_dispatch(*static_cast<MSG*>(msg)); }

// The live window or control a reference names, for the runtime services
// (the owner of a message box); null when it names nothing live or names
// an item of another kind.
void* handle_of_reference(uint32_t tag, uint32_t window_id, uint32_t control_id) {
  if (tag == TAG_WINDOW) return window_handle(window_id);
  LiveWindow* w = find_window(window_id);
  LiveItem* item = w && w->live() ? w->find(control_id) : nullptr;
  if (!item || item->def->kind != tag) return nullptr;
  return window_handle(window_id, control_id);
}

// Classes, the service window and the runtime's hooks into this layer, once.
void start_window_layer() {
  register_classes();
  runtime_hooks().window_handle = handle_of_reference;
  runtime_hooks().filter_message = filter_pumped_message;
}

}  // namespace

// ---------------------------------------------------------------------------
// Registry

LiveItem* LiveWindow::find(uint32_t control_id) {
  for (LiveItem& it : items)
    if (it.def->id == control_id) return &it;
  return nullptr;
}

LiveItem* LiveWindow::find_command(int command) {
  size_t i = size_t(command - kFirstCommand);
  return command >= kFirstCommand && i < items.size() ? &items[i] : nullptr;
}

LiveWindow* find_window(uint32_t window_id) {
  auto& windows = reg().windows;
  auto it = windows.find(window_id);
  return it == windows.end() ? nullptr : it->second.get();
}

Control& resolve_live(uint32_t window_id, uint32_t control_id, uint32_t kind) {
  LiveWindow* w = find_window(window_id);
  LiveItem* item = w && w->live() ? w->find(control_id) : nullptr;
  if (!item || !item->control || item->def->kind != kind)
    runtime_error("指定窗口或窗口组件不存在或尚未载入", 0);
  return *item->control;
}

void registry_startup() {
  Registry& r = reg();
  r.thread = GetCurrentThreadId();
  start_window_layer();
  for (const WindowDef* def : stored_window_definitions())
    if (!r.windows.count(def->id)) r.windows[def->id] = make_entry(*def);
}

bool register_window_definition(const WindowDef& def) {
  Registry& r = reg();
  if (r.thread == 0) r.thread = GetCurrentThreadId();
  start_window_layer();
  auto it = r.windows.find(def.id);
  if (it != r.windows.end() && it->second->hwnd) return false;
  r.windows[def.id] = make_entry(def);
  return true;
}

bool window_is_open(uint32_t window_id) {
  LiveWindow* w = find_window(window_id);
  return w && w->live();
}

void* window_handle(uint32_t window_id, uint32_t control_id) {
  LiveWindow* w = find_window(window_id);
  if (!w || !w->live()) return nullptr;
  if (control_id == 0) return w->hwnd;
  LiveItem* item = w->find(control_id);
  return item && item->control ? item->control->hwnd() : nullptr;
}

void register_handlers(const EventHandler* table, int count) {
  reg().handlers.assign(table, table + (count > 0 ? count : 0));
}

void register_end_routine(void (*routine)()) { reg().end_routines.push_back(routine); }
void register_service_release(void (*routine)()) { reg().service_releases.push_back(routine); }
void register_idle_work(void* window, IdleWork work) { reg().idle.push_back({static_cast<HWND>(window), work}); }

int32_t& event_suppression() { return reg().suppression; }

// ---------------------------------------------------------------------------
// Events

namespace {

bool kind_raises_events(uint32_t kind) {
  switch (kind) {
    case TAG_WINDOW:
    case TAG_MENU:
    case TAG_EDIT:
    case TAG_BUTTON:
    case TAG_CHECKBOX:
    case TAG_LISTVIEW:
    case TAG_LABEL: return true;
    default: return false;  // the common dialog and unknown kinds
  }
}

int32_t slot_for(std::span<const EventBinding> events, int32_t index) {
  for (const EventBinding& b : events)
    if (b.event == index) return b.slot;
  return H_NONE;
}

}  // namespace

int32_t deliver_event(EventRecord& ev) {
  Registry& r = reg();
  if (r.suppression > 0) return ev.result;
  LiveWindow* w = find_window(ev.window);
  if (!w) runtime_error("未找到引发事件的窗口", 0);
  int32_t slot = H_NONE;
  if (ev.control == 0) {
    slot = slot_for(w->def->events, ev.index);
  } else {
    LiveItem* item = w->find(ev.control);
    if (!item) runtime_error("未找到引发事件的窗口组件", 0);
    if (!kind_raises_events(item->def->kind)) runtime_error("引发事件的窗口组件无效", 0);
    if (const MenuDef* menu = std::get_if<MenuDef>(&item->def->settings))
      slot = menu->slot;
    else
      slot = slot_for(item->def->events, ev.index);
  }
  if (slot < 0 || size_t(slot) >= r.handlers.size() || !r.handlers[size_t(slot)]) return ev.result;
  int32_t result = r.handlers[size_t(slot)]();
  if (ev.has_result) ev.result = result != 0 ? 1 : 0;
  return ev.result;
}

// ---------------------------------------------------------------------------
// Loading

namespace {

// The control of `w` that holds the keyboard focus (a part of a control,
// such as a list's header, counts as the control); null when the focus is
// elsewhere or on the window itself.
Control* focused_control(LiveWindow& w) {
  HWND focus = GetFocus();
  if (!focus || !IsChild(w.hwnd, focus)) return nullptr;
  for (HWND h = focus; h && h != w.hwnd; h = GetParent(h))
    if (Control* c = Control::from_hwnd(h); c && &c->window() == &w) return c;
  return nullptr;
}

// A window just shown with the focus inside tells the focused control so.
void deliver_focus_gained(LiveWindow& w) {
  Control* c = focused_control(w);
  if (!c) return;
  EventRecord ev{w.def->id, c->item().def->id, EVENT_FOCUS_GAINED, 0, nullptr, false, 0};
  deliver_event(ev);
}

}  // namespace

void load_window(uint32_t window_id) {
  Registry& r = reg();
  LiveWindow* w = find_window(window_id);
  if (!w) runtime_error("载入启动窗口失败", 0);
  if (w->live()) {
    if (IsIconic(w->hwnd))
      ShowWindow(w->hwnd, SW_RESTORE);
    else
      SetForegroundWindow(w->hwnd);
    return;
  }

  ++r.suppression;
  if (!build_window(*w)) {
    if (w->hwnd) DestroyWindow(w->hwnd);
    runtime_error("载入启动窗口失败", 0);
  }
  for (LiveItem& item : w->items)
    if (item.control && item.control->hwnd() && item.stored.visible) ShowWindow(item.control->hwnd(), SW_SHOWNA);
  process_events();
  --r.suppression;

  HWND hwnd = w->hwnd;
  EventRecord created{window_id, 0, EVENT_WINDOW_CREATED, 0, nullptr, false, 0};
  deliver_event(created);
  for (int32_t index : {EVENT_WINDOW_STARTED, EVENT_WINDOW_STARTED_LATE}) {
    if (!w->live() || w->hwnd != hwnd) return;
    EventRecord ev{window_id, 0, index, 0, nullptr, false, 0};
    deliver_event(ev);
  }
  if (!w->live() || w->hwnd != hwnd || !w->stored.visible) return;
  int show = w->def->start_state == START_MINIMIZED   ? SW_SHOWMINIMIZED
             : w->def->start_state == START_MAXIMIZED ? SW_SHOWMAXIMIZED
                                                      : SW_SHOWNORMAL;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  if (w->live() && w->hwnd == hwnd) deliver_focus_gained(*w);
}

void window_destroyed(LiveWindow& w) {
  for (LiveItem& item : w.items) item.control.reset();
  w.big_icon.reset();
  w.small_icon.reset();
  w.background.reset();
  w.hwnd = nullptr;
  w.destroying = false;
  Registry& r = reg();
  // The last window gone ends the message loop.
  if (r.loop_running && !r.ending && !any_open_window()) PostQuitMessage(0);
}

// ---------------------------------------------------------------------------
// Message loop and end

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
