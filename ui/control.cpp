// The base of the control kinds and the helpers they share.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <unordered_map>

#include "services/text.h"
#include "ui/registry.h"
#include "ui/live.h"

namespace cx {

namespace {

// The control behind each child window, for the messages the parent passes
// on. A table of the process's own rather than a window property: under Wine
// every property lookup is a round trip to the server, and the list sends its
// parent a notification for every row inserted.
std::unordered_map<HWND, Control*>& controls_by_window() {
  static std::unordered_map<HWND, Control*> table;
  return table;
}

bool cell_is_zero(const Cell& v) {
  switch (v.tag) {
    case TAG_FLOAT: return v.v.f32 == 0.0f;
    case TAG_DOUBLE:
    case TAG_DATE: return v.v.f64 == 0.0;
    case TAG_LONG: return v.v.i64 == 0;
    case TAG_ABSENT: return true;
    default: return to_integer(v) == 0;
  }
}

}  // namespace

Converted convert_value(const Cell& value, ValueKind kind) {
  Converted c;
  switch (kind) {
    case ValueKind::integer:
      c.cell = cell_int(value.tag == TAG_BOOL ? int32_t(cell_as_bool(value)) : to_integer(value));
      break;
    case ValueKind::logical:
      c.cell = cell_bool(value.tag == TAG_BOOL ? cell_as_bool(value) : !cell_is_zero(value));
      break;
    case ValueKind::text:
      c.text = value.tag == TAG_TEXT ? Text::copy(std::string_view(cell_as_text(value))) : to_text(value);
      c.cell = cell_text(c.text);
      break;
    case ValueKind::bytes:
      c.bytes = to_bytes(value);
      c.cell = cell_bytes(c.bytes);
      break;
  }
  return c;
}

Cell result_int(int32_t v) { return cell_int(v); }
Cell result_bool(bool v) { return cell_bool(v); }

Cell result_text(Text t) {
  Cell c{};
  c.tag = TAG_TEXT;
  c.v.ptr = t.release();
  return c;
}

Cell result_bytes(const Bytes& b) {
  Cell c{};
  c.tag = TAG_BYTES;
  if (!b.empty()) {
    size_t n = size_t(b.size());
    auto* block = static_cast<BytesBlock*>(heap_allocate(offsetof(BytesBlock, data) + n));
    block->dims = 1;
    block->length = int32_t(n);
    std::memcpy(block->data, b.data(), n);
    c.v.ptr = block;
  }
  return c;
}

Bytes copy_bytes(const Cell& v) {
  const BytesBlock* b = cell_as_bytes(v);
  return b->length > 0 ? Bytes::copy(b->data, size_t(b->length)) : Bytes();
}

Control::~Control() {
  auto& table = controls_by_window();
  auto it = table.find(hwnd_);
  if (it != table.end() && it->second == this) table.erase(it);
}

Control* Control::from_hwnd(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto& table = controls_by_window();
  auto it = table.find(hwnd);
  return it == table.end() ? nullptr : it->second;
}

void Control::attach(HWND hwnd) {
  hwnd_ = hwnd;
  if (hwnd) controls_by_window()[hwnd] = this;
}

void Control::raise(int32_t event) {
  EventRecord ev{window_.def->id, item_.def->id, event, 0, nullptr, false, 0};
  deliver_event(ev);
}

HFONT default_gui_font() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

FontHandle font_from_description(const FontDesc& desc) {
  LOGFONTA lf;
  static_assert(sizeof(lf) == sizeof(desc), "font description has the logical-font layout");
  std::memcpy(&lf, &desc, sizeof(lf));
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return FontHandle(CreateFontIndirectA(&lf));
}

bool font_description_from_bytes(const Bytes& b, FontDesc* out) {
  if (b.size() != int32_t(sizeof(FontDesc))) return false;
  std::memcpy(out, b.data(), sizeof(FontDesc));
  out->face[sizeof(out->face) - 1] = 0;
  return true;
}

Bytes font_description_bytes(const FontDesc& desc) { return Bytes::copy(&desc, sizeof(desc)); }

COLORREF system_colour(uint32_t stored) {
  return stored == COLOUR_BUTTON_FACE ? GetSysColor(COLOR_BTNFACE) : COLORREF(stored & 0x00FFFFFFu);
}

HWND create_child_window(const char* window_class, const char* text, DWORD style, DWORD ex_style,
                         const LiveItem& item, HWND parent, void* param) {
  style |= WS_CHILD;
  if (item.stored.disabled) style |= WS_DISABLED;
  if (item.def->flags & ITEM_TABSTOP) style |= WS_TABSTOP;
  return CreateWindowExA(ex_style, window_class, text ? text : "", style, item.stored.left, item.stored.top,
                         item.stored.width, item.stored.height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.command)), GetModuleHandleA(nullptr),
                         param);
}

void change_style(HWND hwnd, DWORD mask, DWORD bits) {
  LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  LONG next = LONG((DWORD(style) & ~mask) | (bits & mask));
  if (next == style) return;
  SetWindowLongA(hwnd, GWL_STYLE, next);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(hwnd, nullptr, TRUE);
}

Text window_text(HWND hwnd) {
  int n = GetWindowTextLengthA(hwnd);
  if (n <= 0) return Text();
  char* block = static_cast<char*>(heap_allocate(size_t(n) + 1));
  int got = GetWindowTextA(hwnd, block, n + 1);
  block[got > 0 ? got : 0] = 0;
  return Text::adopt(block);
}

int32_t clamp_align(int32_t value) { return value < ALIGN_NEAR ? ALIGN_NEAR : value > ALIGN_FAR ? ALIGN_FAR : value; }

DWORD button_h_align_style(int32_t a) { return a == ALIGN_NEAR ? BS_LEFT : a == ALIGN_FAR ? BS_RIGHT : BS_CENTER; }
DWORD button_v_align_style(int32_t a) { return a == ALIGN_NEAR ? BS_TOP : a == ALIGN_FAR ? BS_BOTTOM : BS_VCENTER; }

void set_button_h_align(HWND hwnd, int32_t& align, const Cell& value) {
  align = clamp_align(cell_as_int(value));
  change_style(hwnd, BS_CENTER, button_h_align_style(align));
}

void set_button_v_align(HWND hwnd, int32_t& align, const Cell& value) {
  align = clamp_align(cell_as_int(value));
  change_style(hwnd, BS_VCENTER, button_v_align_style(align));
}

}  // namespace cx
