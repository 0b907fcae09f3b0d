// The window layer's own records: registry entries for windows and their
// items, and the base of the control kinds. Internal to ui/.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "services/value.h"
#include "ui/definition.h"
#include "ui/handles.h"

namespace cx {

struct LiveWindow;
struct LiveItem;

// The common properties 0..7 as stored; the live control's values take over
// while it exists.
struct StoredCommon {
  int32_t left = 0, top = 0, width = 0, height = 0;
  Text tag;
  bool visible = false;
  bool disabled = false;
  Bytes pointer;
};

enum class ValueKind { integer, logical, text, bytes };

// One kind-specific property: the kind's own index is the position in the
// kind's table (property number minus 8). The setter receives the value
// already converted to `type`.
template <class K>
struct KindProperty {
  ValueKind type;
  Cell (*get)(const K&);
  void (*set)(K&, const Cell&);
};

// A value converted to one kind; keeps any text or byte string it made.
struct Converted {
  Cell cell{};
  Text text;
  Bytes bytes;
};
Converted convert_value(const Cell& value, ValueKind kind);

// Result cells of the property tables.
Cell result_int(int32_t v);
Cell result_bool(bool v);
Cell result_text(Text t);        // the caller of get_property owns the block
Cell result_bytes(const Bytes& b);
// A copy of the byte string a cell refers to.
Bytes copy_bytes(const Cell& v);

class Control {
 public:
  Control(LiveWindow& window, LiveItem& item) : window_(window), item_(item) {}
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Builds the control hidden as a child of `parent`; false when it fails.
  // Kinds without a window of their own return true and keep hwnd() null.
  virtual bool create(HWND parent) = 0;
  // Kind-specific properties by the kind's own index; false: no such index.
  virtual bool get(int32_t index, Cell* out) = 0;
  virtual bool set(int32_t index, const Cell& value) = 0;

  // Messages the parent passes on to the control they concern.
  virtual void on_command(int code) {}
  virtual HBRUSH on_ctl_color(HDC dc) { return nullptr; }
  virtual LRESULT on_notify(NMHDR* header) { return 0; }
  // Called after the control was moved or resized through its properties.
  virtual void on_moved() {}
  // Called after the parent painted `update` (its client coordinates).
  virtual void on_parent_painted(const RECT& update) {}
  // Brings the control's window up to date before its common properties
  // are read or written (a kind that holds its painting back lets go).
  virtual void settle() {}

  HWND hwnd() const { return hwnd_; }
  LiveItem& item() { return item_; }
  LiveWindow& window() { return window_; }
  static Control* from_hwnd(HWND hwnd);

 protected:
  // Raises one of this control's events (no arguments, no result).
  void raise(int32_t event);
  // Takes a freshly created child window into this control.
  void attach(HWND hwnd);

  LiveWindow& window_;
  LiveItem& item_;
  HWND hwnd_ = nullptr;
};

// Looks up `index` in a kind's table and runs it on `kind`.
template <class K, size_t N>
bool table_get(const KindProperty<K> (&table)[N], const K& kind, int32_t index, Cell* out) {
  if (index < 0 || size_t(index) >= N) return false;
  *out = table[index].get(kind);
  return true;
}
template <class K, size_t N>
bool table_set(const KindProperty<K> (&table)[N], K& kind, int32_t index, const Cell& value) {
  if (index < 0 || size_t(index) >= N) return false;
  Converted v = convert_value(value, table[index].type);
  table[index].set(kind, v.cell);
  return true;
}

struct LiveItem {
  const ItemDef* def = nullptr;
  StoredCommon stored;
  int command = 0;  // child-window and menu command identifier
  std::unique_ptr<Control> control;
};

struct LiveWindow {
  const WindowDef* def = nullptr;
  StoredCommon stored;
  std::vector<LiveItem> items;
  HWND hwnd = nullptr;
  bool destroying = false;
  BrushHandle background;
  IconHandle big_icon;
  IconHandle small_icon;

  LiveItem* find(uint32_t control_id);
  LiveItem* find_command(int command);
  bool live() const { return hwnd != nullptr && !destroying; }
};

// Registry access for the kinds and the access layer.
LiveWindow* find_window(uint32_t window_id);
// Resolves a reference to a live control of `kind` or reports the run-time
// error for a reference that names nothing live.
Control& resolve_live(uint32_t window_id, uint32_t control_id, uint32_t kind);

// Factories of the control kinds.
std::unique_ptr<Control> make_button(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_check_box(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_edit_box(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_label(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_common_dialog(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_list_view(LiveWindow& w, LiveItem& item);
std::unique_ptr<Control> make_menu_entry(LiveWindow& w, LiveItem& item, HMENU owner, UINT position);

void register_label_class();
void register_frame_class();
// Builds the window's menu bar, the hidden window and its controls in
// creation order, each control behind the one before; false on failure.
bool build_window(LiveWindow& w);
// Called when the platform window is gone: releases the live side.
void window_destroyed(LiveWindow& w);

// Shared helpers of the kinds.
HFONT default_gui_font();
FontHandle font_from_description(const FontDesc& desc);
// A font description carried as a byte string: exactly 60 bytes or none.
bool font_description_from_bytes(const Bytes& b, FontDesc* out);
Bytes font_description_bytes(const FontDesc& desc);
COLORREF system_colour(uint32_t stored);  // COLOUR_BUTTON_FACE -> button face
// Creates a hidden child window at the item's stored rectangle with the
// item's disabled and tab-stop flags added to `style`.
HWND create_child_window(const char* window_class, const char* text, DWORD style, DWORD ex_style,
                         const LiveItem& item, HWND parent, void* param = nullptr);
// Replaces the style bits in `mask` with `bits` and lets the control repaint.
void change_style(HWND hwnd, DWORD mask, DWORD bits);
Text window_text(HWND hwnd);
int32_t clamp_align(int32_t value);
// A system button's alignment bits for a clamped alignment.
DWORD button_h_align_style(int32_t align);
DWORD button_v_align_style(int32_t align);
// Sets a system button's horizontal or vertical alignment from a property
// value: the clamped value is kept in `align` and the style bits follow it.
void set_button_h_align(HWND hwnd, int32_t& align, const Cell& value);
void set_button_v_align(HWND hwnd, int32_t& align, const Cell& value);

}  // namespace cx
