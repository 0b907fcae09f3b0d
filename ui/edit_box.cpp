// Edit box: a system edit control with its content as property 8.
#include <windows.h>

#include "ui/live.h"

namespace cx {

namespace {

// A single-line box must be at least as tall as its font's text plus the
// two edges, or the text would be cut.
int32_t minimum_single_line_height(HFONT font) {
  WindowDC screen(nullptr);
  TEXTMETRICA tm{};
  {
    Selection keep(screen.get(), font);
    GetTextMetricsA(screen.get(), &tm);
  }
  return tm.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
}

class EditBox final : public Control {
 public:
  EditBox(LiveWindow& w, LiveItem& item) : Control(w, item), def_(std::get<EditDef>(item.def->settings)) {
    if (def_.font) font_ = font_from_description(*def_.font);
    back_brush_.reset(CreateSolidBrush(system_colour(def_.back_colour)));
  }

  bool create(HWND parent) override {
    DWORD style = def_.h_align == ALIGN_CENTRE ? ES_CENTER : def_.h_align == ALIGN_FAR ? ES_RIGHT : ES_LEFT;
    if (def_.multi_line) style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
    if (def_.auto_hscroll) style |= ES_AUTOHSCROLL;
    if (def_.read_only) style |= ES_READONLY;
    if (def_.password) style |= ES_PASSWORD;
    if (def_.case_mode == CASE_UPPER) style |= ES_UPPERCASE;
    if (def_.case_mode == CASE_LOWER) style |= ES_LOWERCASE;
    if (!def_.hide_selection) style |= ES_NOHIDESEL;
    if (def_.simple_border) style |= WS_BORDER;

    HFONT font = font_ ? font_.get() : default_gui_font();
    if (!def_.multi_line) {
      int32_t needed = minimum_single_line_height(font);
      if (item_.stored.height < needed) item_.stored.height = needed;
    }
    attach(create_child_window("EDIT", def_.text, style, 0, item_, parent));
    if (!hwnd_) return false;
    SendMessageA(hwnd_, WM_SETFONT, WPARAM(font), FALSE);
    if (def_.password && def_.password_char) SendMessageA(hwnd_, EM_SETPASSWORDCHAR, WPARAM(uint8_t(def_.password_char)), 0);
    SendMessageA(hwnd_, EM_SETLIMITTEXT, WPARAM(def_.max_length > 0 ? def_.max_length : 0), 0);
    int32_t start = def_.selection_start < 0 ? 0 : def_.selection_start;
    int32_t length = def_.selection_length < 0 ? 0 : def_.selection_length;
    SendMessageA(hwnd_, EM_SETSEL, WPARAM(start), LPARAM(start + length));
    return true;
  }

  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override { return table_set(kProperties, *this, index, value); }

  HBRUSH on_ctl_color(HDC dc) override {
    SetTextColor(dc, system_colour(def_.text_colour));
    SetBkColor(dc, system_colour(def_.back_colour));
    return back_brush_.get();
  }

 private:
  static Cell get_content(const EditBox& e) { return result_text(window_text(e.hwnd_)); }
  static void set_content(EditBox& e, const Cell& v) { SetWindowTextA(e.hwnd_, cell_as_text(v)); }

  static constexpr KindProperty<EditBox> kProperties[] = {
      {ValueKind::text, get_content, set_content},  // 8 content
  };

  const EditDef& def_;
  FontHandle font_;
  BrushHandle back_brush_;
};

}  // namespace

std::unique_ptr<Control> make_edit_box(LiveWindow& w, LiveItem& item) { return std::make_unique<EditBox>(w, item); }

}  // namespace cx
