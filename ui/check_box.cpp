// Check box: a two-state box that toggles itself when clicked; the parent then
// hears of the click and the box raises its clicked event (0), so a handler
// always sees the new state. Setting the checked property raises nothing.
#include <windows.h>

#include "ui/live.h"

namespace cx {

namespace {

class CheckBox final : public Control {
 public:
  CheckBox(LiveWindow& w, LiveItem& item) : Control(w, item), def_(std::get<CheckBoxDef>(item.def->settings)) {
    push_like_ = def_.push_like;
    flat_ = def_.flat;
    text_left_ = def_.text_left;
    h_align_ = clamp_align(def_.h_align);
    v_align_ = clamp_align(def_.v_align);
    text_colour_ = def_.text_colour;
    back_colour_ = def_.back_colour;
    has_font_ = def_.font != nullptr;
    if (has_font_) font_desc_ = *def_.font;
  }

  bool create(HWND parent) override {
    DWORD style = BS_AUTOCHECKBOX | button_h_align_style(h_align_) | button_v_align_style(v_align_);
    if (push_like_) style |= BS_PUSHLIKE;
    if (flat_) style |= BS_FLAT;
    if (text_left_) style |= BS_LEFTTEXT;
    if (def_.multi_line) style |= BS_MULTILINE;
    attach(create_child_window("BUTTON", def_.caption, style, 0, item_, parent));
    if (!hwnd_) return false;
    apply_font();
    make_brush();
    SendMessageA(hwnd_, BM_SETCHECK, def_.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
  }

  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override { return table_set(kProperties, *this, index, value); }

  void on_command(int code) override {
    if (code == BN_CLICKED) raise(EVENT_CLICKED);
  }

  HBRUSH on_ctl_color(HDC dc) override {
    SetTextColor(dc, system_colour(text_colour_));
    SetBkColor(dc, system_colour(back_colour_));
    return back_brush_.get();
  }

 private:
  void apply_font() {
    font_.reset();
    if (has_font_) font_ = font_from_description(font_desc_);
    SendMessageA(hwnd_, WM_SETFONT, WPARAM(font_ ? font_.get() : default_gui_font()), TRUE);
  }
  void make_brush() { back_brush_.reset(CreateSolidBrush(system_colour(back_colour_))); }
  void switch_style(DWORD bit, bool on) { change_style(hwnd_, bit, on ? bit : 0); }

  static Cell get_picture(const CheckBox& c) { return result_bytes(c.picture_); }
  static void set_picture(CheckBox& c, const Cell& v) { c.picture_ = copy_bytes(v); }
  static Cell get_push_like(const CheckBox& c) { return result_bool(c.push_like_); }
  static void set_push_like(CheckBox& c, const Cell& v) { c.switch_style(BS_PUSHLIKE, c.push_like_ = cell_as_bool(v)); }
  static Cell get_flat(const CheckBox& c) { return result_bool(c.flat_); }
  static void set_flat(CheckBox& c, const Cell& v) { c.switch_style(BS_FLAT, c.flat_ = cell_as_bool(v)); }
  static Cell get_caption(const CheckBox& c) { return result_text(window_text(c.hwnd_)); }
  static void set_caption(CheckBox& c, const Cell& v) { SetWindowTextA(c.hwnd_, cell_as_text(v)); }
  static Cell get_text_left(const CheckBox& c) { return result_bool(c.text_left_); }
  static void set_text_left(CheckBox& c, const Cell& v) { c.switch_style(BS_LEFTTEXT, c.text_left_ = cell_as_bool(v)); }
  static Cell get_h_align(const CheckBox& c) { return result_int(c.h_align_); }
  static void set_h_align(CheckBox& c, const Cell& v) { set_button_h_align(c.hwnd_, c.h_align_, v); }
  static Cell get_v_align(const CheckBox& c) { return result_int(c.v_align_); }
  static void set_v_align(CheckBox& c, const Cell& v) { set_button_v_align(c.hwnd_, c.v_align_, v); }
  static Cell get_text_colour(const CheckBox& c) { return result_int(int32_t(c.text_colour_)); }
  static void set_text_colour(CheckBox& c, const Cell& v) {
    c.text_colour_ = uint32_t(cell_as_int(v));
    InvalidateRect(c.hwnd_, nullptr, TRUE);
  }
  static Cell get_back_colour(const CheckBox& c) { return result_int(int32_t(c.back_colour_)); }
  static void set_back_colour(CheckBox& c, const Cell& v) {
    c.back_colour_ = uint32_t(cell_as_int(v));
    c.make_brush();
    InvalidateRect(c.hwnd_, nullptr, TRUE);
  }
  static Cell get_font(const CheckBox& c) {
    return c.has_font_ ? result_bytes(font_description_bytes(c.font_desc_)) : result_bytes(Bytes());
  }
  static void set_font(CheckBox& c, const Cell& v) {
    c.has_font_ = font_description_from_bytes(copy_bytes(v), &c.font_desc_);
    c.apply_font();
  }
  static Cell get_checked(const CheckBox& c) {
    return result_bool(SendMessageA(c.hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED);
  }
  static void set_checked(CheckBox& c, const Cell& v) {
    SendMessageA(c.hwnd_, BM_SETCHECK, cell_as_bool(v) ? BST_CHECKED : BST_UNCHECKED, 0);
  }

  static constexpr KindProperty<CheckBox> kProperties[] = {
      {ValueKind::bytes, get_picture, set_picture},          // 8 picture
      {ValueKind::logical, get_push_like, set_push_like},    // 9 push-like
      {ValueKind::logical, get_flat, set_flat},              // 10 flat
      {ValueKind::text, get_caption, set_caption},           // 11 caption
      {ValueKind::logical, get_text_left, set_text_left},    // 12 text on the left
      {ValueKind::integer, get_h_align, set_h_align},        // 13 horizontal alignment
      {ValueKind::integer, get_v_align, set_v_align},        // 14 vertical alignment
      {ValueKind::integer, get_text_colour, set_text_colour},  // 15 text colour
      {ValueKind::integer, get_back_colour, set_back_colour},  // 16 background colour
      {ValueKind::bytes, get_font, set_font},                // 17 font
      {ValueKind::logical, get_checked, set_checked},        // 18 checked
  };

  const CheckBoxDef& def_;
  bool push_like_, flat_, text_left_;
  int32_t h_align_, v_align_;
  uint32_t text_colour_, back_colour_;
  bool has_font_;
  FontDesc font_desc_{};
  FontHandle font_;
  BrushHandle back_brush_;
  Bytes picture_;
};

}  // namespace

std::unique_ptr<Control> make_check_box(LiveWindow& w, LiveItem& item) { return std::make_unique<CheckBox>(w, item); }

}  // namespace cx
