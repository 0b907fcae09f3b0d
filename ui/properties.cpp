// Property access by number on a loaded window: 0..7 common to every control
// (the stored values for a control without a window of its own), 8 and up
// handed to the control's kind.
#include <windows.h>

#include "services/runtime.h"
#include "services/text.h"
#include "ui/access.h"
#include "ui/live.h"

namespace cx {

namespace {

constexpr int32_t kFirstKindProperty = 8;

struct Target {
  LiveWindow* window;
  LiveItem* item;  // null: the window itself
  StoredCommon& stored() { return item ? item->stored : window->stored; }
  Control* control() { return item ? item->control.get() : nullptr; }
  HWND hwnd() {
    if (!item) return window->live() ? window->hwnd : nullptr;
    return item->control ? item->control->hwnd() : nullptr;
  }
};

// Properties belong to loaded windows: a window that is only registered, or
// is already gone, is reported rather than read or written silently.
Target find_target(ControlRef ref) {
  LiveWindow* w = find_window(ref.window);
  if (!w || !w->live()) runtime_error("未载入欲访问窗口组件所在的窗口", 0);
  if (ref.control == 0) return Target{w, nullptr};
  LiveItem* item = w->find(ref.control);
  if (!item) runtime_error("指定窗口或窗口组件不存在或尚未载入", 0);
  return Target{w, item};
}

// The live rectangle: a control's relative to its parent's client area, a
// window's on the screen.
RECT live_rect(HWND hwnd) {
  RECT rc;
  GetWindowRect(hwnd, &rc);
  HWND parent = (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr;
  if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

Cell get_common(Target& t, int32_t number) {
  if (Control* c = t.control()) c->settle();
  StoredCommon& s = t.stored();
  HWND hwnd = t.hwnd();
  if (hwnd) {
    RECT rc = live_rect(hwnd);
    switch (number) {
      case PROP_LEFT: return cell_int(rc.left);
      case PROP_TOP: return cell_int(rc.top);
      case PROP_WIDTH: return cell_int(rc.right - rc.left);
      case PROP_HEIGHT: return cell_int(rc.bottom - rc.top);
      case PROP_VISIBLE: return cell_bool((GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0);
      case PROP_DISABLED: return cell_bool(!IsWindowEnabled(hwnd));
      default: break;
    }
  }
  switch (number) {
    case PROP_LEFT: return cell_int(s.left);
    case PROP_TOP: return cell_int(s.top);
    case PROP_WIDTH: return cell_int(s.width);
    case PROP_HEIGHT: return cell_int(s.height);
    case PROP_TAG: return result_text(s.tag);
    case PROP_VISIBLE: return cell_bool(s.visible);
    case PROP_DISABLED: return cell_bool(s.disabled);
    default: return result_bytes(s.pointer);  // PROP_MOUSE_POINTER
  }
}

void move_live(Target& t, HWND hwnd, int32_t number, int32_t value) {
  RECT rc = live_rect(hwnd);
  int x = rc.left, y = rc.top, cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  switch (number) {
    case PROP_LEFT: x = value; break;
    case PROP_TOP: y = value; break;
    case PROP_WIDTH: cx = value; break;
    default: cy = value; break;
  }
  SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  if (Control* c = t.control()) c->on_moved();
}

void set_common(Target& t, int32_t number, const Cell& value) {
  if (Control* c = t.control()) c->settle();
  StoredCommon& s = t.stored();
  HWND hwnd = t.hwnd();
  bool child = t.item != nullptr;
  switch (number) {
    case PROP_LEFT:
    case PROP_TOP:
    case PROP_WIDTH:
    case PROP_HEIGHT: {
      int32_t v = cell_as_int(convert_value(value, ValueKind::integer).cell);
      if (hwnd) {
        move_live(t, hwnd, number, v);
      } else {
        int32_t* field[] = {&s.left, &s.top, &s.width, &s.height};
        *field[number] = v;
      }
      break;
    }
    case PROP_TAG: s.tag = convert_value(value, ValueKind::text).text; break;
    case PROP_VISIBLE: {
      bool v = cell_as_bool(convert_value(value, ValueKind::logical).cell);
      if (hwnd)
        ShowWindow(hwnd, v ? (child ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
      else
        s.visible = v;
      break;
    }
    case PROP_DISABLED: {
      bool v = cell_as_bool(convert_value(value, ValueKind::logical).cell);
      if (hwnd)
        EnableWindow(hwnd, !v);
      else
        s.disabled = v;
      break;
    }
    default: s.pointer = convert_value(value, ValueKind::bytes).bytes; break;  // PROP_MOUSE_POINTER
  }
}

bool is_common(int32_t number) { return number >= 0 && number < kFirstKindProperty; }

}  // namespace

Cell get_property(ControlRef ref, int32_t number) {
  Target t = find_target(ref);
  Cell out{};
  if (t.item && t.item->def->kind == TAG_MENU) {
    if (!t.item->control) runtime_error("指定窗口尚未载入", 0);
    t.item->control->get(number, &out);
    return out;
  }
  if (is_common(number)) return get_common(t, number);
  if (number < 0 || !t.item) return out;  // the window kind has no numbers of its own here
  if (!t.item->control) runtime_error("指定窗口尚未载入", 0);
  t.item->control->get(number - kFirstKindProperty, &out);
  return out;
}

void set_property(ControlRef ref, int32_t number, const Cell& value) {
  Target t = find_target(ref);
  if (t.item && t.item->def->kind == TAG_MENU) {
    if (!t.item->control) runtime_error("指定窗口尚未载入", 0);
    t.item->control->set(number, value);
    return;
  }
  if (is_common(number)) return set_common(t, number, value);
  if (number < 0 || !t.item) return;
  if (!t.item->control) runtime_error("指定窗口尚未载入", 0);
  t.item->control->set(number - kFirstKindProperty, value);
}

Text get_text_property(ControlRef ref, int32_t number) {
  Cell c = get_property(ref, number);
  if (c.tag != TAG_TEXT) {
    cell_release(&c);
    runtime_error_by_index(RTE_TYPE_MISMATCH);
  }
  return cell_take_text(&c);
}

void set_text_property(ControlRef ref, int32_t number, const Text& value) {
  set_property(ref, number, cell_text(value));
}

namespace {

// A logical or numeric property as the kind asked for; any other value is a
// type mismatch.
Cell numeric_property(ControlRef ref, int32_t number, ValueKind kind) {
  Cell c = get_property(ref, number);
  if (c.tag != TAG_BOOL && !tag_is_numeric(c.tag)) {
    cell_release(&c);
    runtime_error_by_index(RTE_TYPE_MISMATCH);
  }
  return convert_value(c, kind).cell;
}

}  // namespace

bool get_bool_property(ControlRef ref, int32_t number) {
  return cell_as_bool(numeric_property(ref, number, ValueKind::logical));
}

void set_bool_property(ControlRef ref, int32_t number, bool value) { set_property(ref, number, cell_bool(value)); }

int32_t get_int_property(ControlRef ref, int32_t number) {
  return cell_as_int(numeric_property(ref, number, ValueKind::integer));
}

void set_int_property(ControlRef ref, int32_t number, int32_t value) { set_property(ref, number, cell_int(value)); }

}  // namespace cx
