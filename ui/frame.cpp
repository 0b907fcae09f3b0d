// The window kind: a top-level window built from its definition, with its
// menu bar and controls. Its procedure passes the notifications of the
// controls on to them and turns close requests and destruction into events.
#include <windows.h>

#include <cstring>
#include <map>

#include "ui/registry.h"
#include "ui/live.h"

namespace cx {

namespace {

const char kFrameClass[] = "CxForm";

// Reads the largest image of an icon file held in memory.
IconHandle icon_from_file(std::span<const uint8_t> file, int size) {
  if (file.size() < 6) return IconHandle();
  uint16_t type = uint16_t(file[2] | file[3] << 8);
  uint16_t count = uint16_t(file[4] | file[5] << 8);
  if (type != 1 || count == 0 || file.size() < 6 + size_t(count) * 16) return IconHandle();
  size_t best = 0;
  int best_width = -1;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = file.data() + 6 + i * 16;
    int width = e[0] == 0 ? 256 : e[0];
    if (width > best_width) {
      best_width = width;
      best = i;
    }
  }
  const uint8_t* e = file.data() + 6 + best * 16;
  uint32_t bytes, offset;
  std::memcpy(&bytes, e + 8, 4);
  std::memcpy(&offset, e + 12, 4);
  if (offset > file.size() || bytes > file.size() - offset) return IconHandle();
  return IconHandle(CreateIconFromResourceEx(const_cast<uint8_t*>(file.data() + offset), bytes, TRUE, 0x00030000,
                                             size, size, LR_DEFAULTCOLOR));
}

std::unique_ptr<Control> make_control(LiveWindow& w, LiveItem& item) {
  switch (item.def->kind) {
    case TAG_BUTTON: return make_button(w, item);
    case TAG_CHECKBOX: return make_check_box(w, item);
    case TAG_EDIT: return make_edit_box(w, item);
    case TAG_LABEL: return make_label(w, item);
    case TAG_COMMON_DIALOG: return make_common_dialog(w, item);
    case TAG_LISTVIEW: return make_list_view(w, item);
    default: return nullptr;
  }
}

bool has_children(const LiveWindow& w, uint32_t id) {
  for (const LiveItem& it : w.items)
    if (const MenuDef* m = std::get_if<MenuDef>(&it.def->settings); m && m->parent == id) return true;
  return false;
}

// The menu bar from the window's menu entries, in creation order; entries
// whose visible flag is clear are left out. Null when there are none.
MenuHandle build_menu(LiveWindow& w) {
  MenuHandle bar(CreateMenu());
  std::map<uint32_t, HMENU> popups;
  bool any = false;
  for (LiveItem& item : w.items) {
    const MenuDef* m = std::get_if<MenuDef>(&item.def->settings);
    if (!m || !item.stored.visible) continue;
    HMENU owner = bar.get();
    if (m->parent != 0) {
      auto p = popups.find(m->parent);
      if (p == popups.end()) continue;
      owner = p->second;
    }
    UINT state = (item.stored.disabled ? MF_GRAYED : 0) | ((item.def->flags & ITEM_CHECKED) ? MF_CHECKED : 0);
    UINT position = UINT(GetMenuItemCount(owner));
    const char* caption = m->caption ? m->caption : "";
    if (has_children(w, item.def->id)) {
      HMENU popup = CreatePopupMenu();
      AppendMenuA(owner, MF_POPUP | MF_STRING | state, UINT_PTR(popup), caption);
      popups[item.def->id] = popup;
    } else {
      AppendMenuA(owner, MF_STRING | state, UINT_PTR(item.command), caption);
    }
    item.control = make_menu_entry(w, item, owner, position);
    any = true;
  }
  if (!any) bar.reset();
  return bar;
}

class Frame {
 public:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* w = static_cast<LiveWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(w));
      w->hwnd = hwnd;
    }
    auto* w = reinterpret_cast<LiveWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!w) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
      case WM_COMMAND: return on_command(*w, wp, lp);
      case WM_NOTIFY: return on_notify(*w, hwnd, msg, wp, lp);
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORSTATIC: return on_ctl_color(hwnd, msg, wp, lp);
      case WM_ERASEBKGND: paint_background(*w, reinterpret_cast<HDC>(wp)); return 1;
      case WM_PRINTCLIENT: paint_background(*w, reinterpret_cast<HDC>(wp)); return 0;
      case WM_PAINT: on_paint(*w, hwnd); return 0;
      case WM_CLOSE: on_close(*w); return 0;
      case WM_DESTROY: on_destroy(*w); return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        window_destroyed(*w);
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

 private:
  static LRESULT on_command(LiveWindow& w, WPARAM wp, LPARAM lp) {
    if (HWND child = reinterpret_cast<HWND>(lp)) {
      Control* c = Control::from_hwnd(child);
      if (c && &c->window() == &w) c->on_command(HIWORD(wp));
      return 0;
    }
    // Menu choice (0) or accelerator (1).
    LiveItem* item = w.find_command(LOWORD(wp));
    if (item && item->def->kind == TAG_MENU) {
      EventRecord ev{w.def->id, item->def->id, 0, 0, nullptr, false, 0};
      deliver_event(ev);
    }
    return 0;
  }

  static LRESULT on_notify(LiveWindow& w, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* header = reinterpret_cast<NMHDR*>(lp);
    Control* c = header ? Control::from_hwnd(header->hwndFrom) : nullptr;
    if (c && &c->window() == &w) return c->on_notify(header);
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  static LRESULT on_ctl_color(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Control* c = Control::from_hwnd(reinterpret_cast<HWND>(lp));
    if (c)
      if (HBRUSH brush = c->on_ctl_color(reinterpret_cast<HDC>(wp))) return LRESULT(brush);
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  // Shared by erasing and by printing the client area.
  static void paint_background(LiveWindow& w, HDC dc) {
    RECT rc;
    GetClientRect(w.hwnd, &rc);
    FillRect(dc, &rc, w.background.get());
  }

  // The background is painted when erasing; controls that draw beyond
  // their own rectangle hear where it went over them.
  static void on_paint(LiveWindow& w, HWND hwnd) {
    RECT update{};
    GetUpdateRect(hwnd, &update, FALSE);
    { PaintScope ps(hwnd); }
    if (IsRectEmpty(&update)) return;
    for (LiveItem& item : w.items)
      if (item.control) item.control->on_parent_painted(update);
  }

  // The close request and then the close query may each keep the window open.
  static void on_close(LiveWindow& w) {
    HWND hwnd = w.hwnd;
    for (int32_t index : {EVENT_WINDOW_CLOSE_REQUEST, EVENT_WINDOW_CLOSE_QUERY}) {
      EventRecord ev{w.def->id, 0, index, 0, nullptr, true, 1};
      deliver_event(ev);
      if (!ev.result || w.hwnd != hwnd) return;
    }
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }

  static void on_destroy(LiveWindow& w) {
    w.destroying = true;
    EventRecord ev{w.def->id, 0, EVENT_WINDOW_DESTROYING, 0, nullptr, false, 0};
    deliver_event(ev);
  }
};

}  // namespace

void register_frame_class() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = Frame::procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = nullptr;  // each window erases with its own colour
  wc.lpszClassName = kFrameClass;
  RegisterClassExA(&wc);
}

bool build_window(LiveWindow& w) {
  const WindowDef& def = *w.def;
  MenuHandle bar = build_menu(w);

  DWORD style = WS_CLIPSIBLINGS;
  if (def.border == BORDER_NONE) {
    style |= WS_POPUP;
  } else {
    style |= WS_CAPTION;
    if (def.border == BORDER_SIZABLE) style |= WS_THICKFRAME;
  }
  if (def.control_box) style |= WS_SYSMENU;
  if (def.min_button) style |= WS_MINIMIZEBOX;
  if (def.max_button) style |= WS_MAXIMIZEBOX;
  DWORD ex_style = 0;
  if (def.in_taskbar) ex_style |= WS_EX_APPWINDOW;
  if (def.topmost) ex_style |= WS_EX_TOPMOST;

  int32_t x = w.stored.left, y = w.stored.top;
  if (def.start_position == START_CENTRED) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w.stored.width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - w.stored.height) / 2;
  }
  w.background.reset(CreateSolidBrush(system_colour(def.background)));
  HWND hwnd = CreateWindowExA(ex_style, kFrameClass, def.caption ? def.caption : "", style, x, y, w.stored.width,
                              w.stored.height, nullptr, bar.get(), GetModuleHandleA(nullptr), &w);
  if (!hwnd) {
    for (LiveItem& item : w.items) item.control.reset();
    return false;
  }
  bar.release();  // the window owns its menu bar now

  if (!def.movable) RemoveMenu(GetSystemMenu(hwnd, FALSE), SC_MOVE, MF_BYCOMMAND);
  if (w.stored.disabled) EnableWindow(hwnd, FALSE);
  if (!def.icon.empty()) {
    w.big_icon = icon_from_file(def.icon, 0);
    w.small_icon = icon_from_file(def.icon, GetSystemMetrics(SM_CXSMICON));
    if (w.big_icon) SendMessageA(hwnd, WM_SETICON, ICON_BIG, LPARAM(w.big_icon.get()));
    if (w.small_icon) SendMessageA(hwnd, WM_SETICON, ICON_SMALL, LPARAM(w.small_icon.get()));
  }
  SendMessageA(hwnd, WM_SETFONT, WPARAM(default_gui_font()), FALSE);

  HWND previous = nullptr;
  for (LiveItem& item : w.items) {
    if (item.def->kind == TAG_MENU) continue;  // built with the menu bar
    item.control = make_control(w, item);
    if (!item.control || !item.control->create(hwnd)) return false;
    if (HWND child = item.control->hwnd()) {
      SetWindowPos(child, previous ? previous : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      previous = child;
    }
  }
  return true;
}

}  // namespace cx

