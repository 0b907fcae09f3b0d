// Push button: a system button that raises its clicked event (0) when the
// parent hears of a click.
#include <windows.h>

#include "ui/live.h"

namespace cx {

namespace {

class PushButton final : public Control {
 public:
  PushButton(LiveWindow& w, LiveItem& item) : Control(w, item), def_(std::get<ButtonDef>(item.def->settings)) {
    default_button_ = def_.default_button;
    h_align_ = clamp_align(def_.h_align);
    v_align_ = clamp_align(def_.v_align);
    has_font_ = def_.font != nullptr;
    if (has_font_) font_desc_ = *def_.font;
  }

  bool create(HWND parent) override {
    DWORD style = (default_button_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | button_h_align_style(h_align_) |
                  button_v_align_style(v_align_);
    attach(create_child_window("BUTTON", def_.caption, style, 0, item_, parent));
    if (!hwnd_) return false;
    apply_font();
    return true;
  }

  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override { return table_set(kProperties, *this, index, value); }

  void on_command(int code) override {
    if (code == BN_CLICKED) raise(EVENT_CLICKED);
  }

 private:
  void apply_font() {
    font_.reset();
    if (has_font_) font_ = font_from_description(font_desc_);
    SendMessageA(hwnd_, WM_SETFONT, WPARAM(font_ ? font_.get() : default_gui_font()), TRUE);
  }

  static Cell get_picture(const PushButton& b) { return result_bytes(b.picture_); }
  static void set_picture(PushButton& b, const Cell& v) { b.picture_ = copy_bytes(v); }
  static Cell get_default(const PushButton& b) { return result_bool(b.default_button_); }
  static void set_default(PushButton& b, const Cell& v) {
    b.default_button_ = cell_as_bool(v);
    SendMessageA(b.hwnd_, BM_SETSTYLE, b.default_button_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
  static Cell get_caption(const PushButton& b) { return result_text(window_text(b.hwnd_)); }
  static void set_caption(PushButton& b, const Cell& v) {
    SetWindowTextA(b.hwnd_, cell_as_text(v));
    UpdateWindow(b.hwnd_);  // shown at once, also in the middle of long work
  }
  static Cell get_h_align(const PushButton& b) { return result_int(b.h_align_); }
  static void set_h_align(PushButton& b, const Cell& v) { set_button_h_align(b.hwnd_, b.h_align_, v); }
  static Cell get_v_align(const PushButton& b) { return result_int(b.v_align_); }
  static void set_v_align(PushButton& b, const Cell& v) { set_button_v_align(b.hwnd_, b.v_align_, v); }
  static Cell get_font(const PushButton& b) { return b.has_font_ ? result_bytes(font_description_bytes(b.font_desc_)) : result_bytes(Bytes()); }
  static void set_font(PushButton& b, const Cell& v) {
    b.has_font_ = font_description_from_bytes(copy_bytes(v), &b.font_desc_);
    b.apply_font();
  }

  static constexpr KindProperty<PushButton> kProperties[] = {
      {ValueKind::bytes, get_picture, set_picture},    // 8 picture
      {ValueKind::logical, get_default, set_default},  // 9 default button
      {ValueKind::text, get_caption, set_caption},     // 10 caption
      {ValueKind::integer, get_h_align, set_h_align},  // 11 horizontal alignment
      {ValueKind::integer, get_v_align, set_v_align},  // 12 vertical alignment
      {ValueKind::bytes, get_font, set_font},          // 13 font
  };

  const ButtonDef& def_;
  bool default_button_;
  int32_t h_align_;
  int32_t v_align_;
  bool has_font_;
  FontDesc font_desc_{};
  FontHandle font_;
  Bytes picture_;
};

}  // namespace

std::unique_ptr<Control> make_button(LiveWindow& w, LiveItem& item) { return std::make_unique<PushButton>(w, item); }

}  // namespace cx
