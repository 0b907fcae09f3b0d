// The window registry, event delivery and window loading.
#include <windows.h>
#include <commctrl.h>

#include "services/runtime.h"
#include "ui/main_window.h"
#include "ui/registry_state.h"

namespace cx {

namespace {

constexpr int kFirstCommand = 0x100;      // clear of IDOK, IDCANCEL and friends
const char kServiceClass[] = "CxService";

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

Registry& reg() {
  static Registry r;
  return r;
}

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

}  // namespace cx
