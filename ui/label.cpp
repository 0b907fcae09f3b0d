// Transparent label: a child window of its own class without a background
// brush and with the extended transparent style. It never erases, so what
// lies behind it shows through; changing what it shows therefore first has
// the parent and the overlapping siblings repaint the label's rectangle.
//
// A caption wider than the label is not cut at the label's edge: the label
// draws through its parent's device context, so its text ends only at the
// window's edge (or under a control stacked above it). What it drew outside
// its own rectangle (its spill) is the label's to clear when the text
// changes, moves or hides, and to draw again when the parent has painted
// over it.
#include <windows.h>

#include "ui/live.h"

namespace cx {

namespace {

const char kLabelClass[] = "CxTransparentLabel";

// The label picks character set, precisions, quality and pitch itself.
FontHandle label_font(const FontDesc& desc) {
  FontDesc d = desc;
  d.char_set = DEFAULT_CHARSET;
  d.out_precision = OUT_DEFAULT_PRECIS;
  d.clip_precision = CLIP_DEFAULT_PRECIS;
  d.quality = PROOF_QUALITY;
  d.pitch_and_family = DEFAULT_PITCH | FF_DONTCARE;
  return font_from_description(d);
}

class TransparentLabel final : public Control {
 public:
  TransparentLabel(LiveWindow& w, LiveItem& item) : Control(w, item), def_(std::get<LabelDef>(item.def->settings)) {
    effect_ = clamp_effect(def_.effect);
    text_colour_ = def_.text_colour;
    h_align_ = clamp_align(def_.h_align);
    v_align_ = clamp_align(def_.v_align);
    word_wrap_ = def_.word_wrap;
    has_font_ = def_.font != nullptr;
    if (has_font_) {
      font_desc_ = *def_.font;
      font_ = label_font(font_desc_);
    }
  }

  static void register_class() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = window_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = nullptr;                                    // nothing of its own is erased
    wc.lpszClassName = kLabelClass;
    RegisterClassExA(&wc);
  }

  bool create(HWND parent) override {
    attach(create_child_window(kLabelClass, def_.caption, 0, WS_EX_TRANSPARENT, item_, parent, this));
    return hwnd_ != nullptr;
  }

  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override {
    if (!table_set(kProperties, *this, index, value)) return false;
    repaint_after_change();
    return true;
  }
  void on_moved() override { repaint_after_change(); }
  void on_parent_painted(const RECT& update) override {
    if (!IsWindowVisible(hwnd_) || !spill_meets(update)) return;
    // The parent's background now covers part of the spill: draw it again.
    spill_pending_ = true;
    InvalidateRect(hwnd_, nullptr, FALSE);
  }

 private:
  static LRESULT CALLBACK window_procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TransparentLabel*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
      case WM_PAINT: return self->on_paint();
      case WM_PRINTCLIENT: self->paint(reinterpret_cast<HDC>(wp)); return 0;
      case WM_ERASEBKGND: return 1;
      case WM_SHOWWINDOW:
        // Hidden by itself (not with its parent): the system clears only
        // the label's own rectangle.
        if (!wp && lp == 0) self->clear_drawn();
        break;
      case WM_GETFONT: return LRESULT(self->current_font());
      case WM_NCDESTROY: SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0); break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  // The label's own rectangle is painted where the system asks; outside it
  // the text is drawn only when the parent has just painted there, since
  // drawing text again over itself would thicken its smoothed edges. The
  // drawing goes through the parent's device context: a device context of
  // the label's own ends at the label's edge even when the class shares the
  // parent's (its clipping box then says otherwise, the pixels do not).
  LRESULT on_paint() {
    RegionHandle area(CreateRectRgn(0, 0, 0, 0));
    if (GetUpdateRgn(hwnd_, area.get(), FALSE) == ERROR) SetRectRgn(area.get(), 0, 0, 0, 0);
    { PaintScope validate(hwnd_); }
    if (spill_pending_) {
      RegionHandle outside = outside_region();
      CombineRgn(area.get(), area.get(), outside.get(), RGN_OR);
      spill_pending_ = false;
    }
    // Siblings above the label cover its text, unless they are transparent
    // themselves.
    for (HWND above = GetWindow(hwnd_, GW_HWNDPREV); above; above = GetWindow(above, GW_HWNDPREV)) {
      if (!IsWindowVisible(above) || (GetWindowLongA(above, GWL_EXSTYLE) & WS_EX_TRANSPARENT)) continue;
      RECT r;
      GetWindowRect(above, &r);
      MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&r), 2);
      RegionHandle covered(CreateRectRgnIndirect(&r));
      CombineRgn(area.get(), area.get(), covered.get(), RGN_DIFF);
    }
    HWND parent = GetParent(hwnd_);
    POINT origin{0, 0};
    MapWindowPoints(hwnd_, parent, &origin, 1);
    OffsetRgn(area.get(), origin.x, origin.y);
    WindowDC dc(parent);
    if (!dc.get()) return 0;
    SelectClipRgn(dc.get(), area.get());
    SetViewportOrgEx(dc.get(), origin.x, origin.y, nullptr);
    paint(dc.get());
    return 0;
  }

  // The parent's client area without the label's rectangle, in the label's
  // client coordinates (those of its device context).
  RegionHandle outside_region() const {
    HWND parent = GetParent(hwnd_);
    RECT all, mine;
    GetClientRect(parent, &all);
    MapWindowPoints(parent, hwnd_, reinterpret_cast<POINT*>(&all), 2);
    GetClientRect(hwnd_, &mine);
    RegionHandle outside(CreateRectRgnIndirect(&all));
    RegionHandle inside(CreateRectRgnIndirect(&mine));
    CombineRgn(outside.get(), outside.get(), inside.get(), RGN_DIFF);
    return outside;
  }

  // Whether the parent's update rectangle (its client coordinates) meets
  // what the label drew outside its own rectangle.
  bool spill_meets(const RECT& update) const {
    RECT in_label = update;
    MapWindowPoints(GetParent(hwnd_), hwnd_, reinterpret_cast<POINT*>(&in_label), 2);
    RECT drawn = drawn_;
    MapWindowPoints(GetParent(hwnd_), hwnd_, reinterpret_cast<POINT*>(&drawn), 2);
    RECT overlap;
    if (!IntersectRect(&overlap, &in_label, &drawn)) return false;
    RegionHandle outside = outside_region();
    return RectInRegion(outside.get(), &overlap) != 0;
  }

  // Has the parent (and the siblings over it) repaint what the label drew
  // outside its rectangle, so that nothing of it stays behind.
  void clear_drawn() {
    if (IsRectEmpty(&drawn_)) return;
    HWND parent = GetParent(hwnd_);
    InvalidateRect(parent, &drawn_, TRUE);
    drawn_ = RECT{};
    spill_pending_ = true;
  }

  // Where text drawn with `format` into rc lands, in the parent's client
  // coordinates, widened by the largest effect offset.
  RECT text_extent(HDC dc, const Text& caption, RECT rc, UINT format) const {
    RECT size = rc;
    const UINT placement = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;
    DrawTextA(dc, caption.c_str(), -1, &size, (format & ~placement) | DT_CALCRECT);
    int w = size.right - size.left, h = size.bottom - size.top;
    RECT out;
    out.left = (format & DT_CENTER) ? rc.left + (rc.right - rc.left - w) / 2
               : (format & DT_RIGHT) ? rc.right - w
                                     : rc.left;
    out.top = !(format & DT_SINGLELINE) ? rc.top
              : (format & DT_VCENTER)   ? rc.top + (rc.bottom - rc.top - h) / 2
              : (format & DT_BOTTOM)    ? rc.bottom - h
                                        : rc.top;
    out.right = out.left + w + 2;
    out.bottom = out.top + h + 2;
    MapWindowPoints(hwnd_, GetParent(hwnd_), reinterpret_cast<POINT*>(&out), 2);
    return out;
  }

  HFONT current_font() const { return font_ ? font_.get() : default_gui_font(); }

  void paint(HDC dc) {
    Text caption = window_text(hwnd_);
    if (caption.empty()) return;
    Selection font(dc, current_font());
    UINT format = DT_NOCLIP | (h_align_ == ALIGN_CENTRE ? DT_CENTER : h_align_ == ALIGN_FAR ? DT_RIGHT : DT_LEFT);
    if (word_wrap_)
      format |= DT_WORDBREAK;
    else
      format |= DT_SINGLELINE | (v_align_ == ALIGN_CENTRE ? DT_VCENTER : v_align_ == ALIGN_FAR ? DT_BOTTOM : DT_TOP);
    SetBkMode(dc, TRANSPARENT);
    RECT rc;
    GetClientRect(hwnd_, &rc);
    RECT extent = text_extent(dc, caption, rc, format);
    UnionRect(&drawn_, &drawn_, &extent);
    RECT text_rc = rc;
    switch (effect_) {
      case EFFECT_SHADOW: draw(dc, caption, offset(rc, 1), format, RGB(255, 255, 255)); break;
      case EFFECT_RAISED:
        draw(dc, caption, rc, format, RGB(255, 255, 255));
        text_rc = offset(rc, 1);
        break;
      case EFFECT_DEEP_SHADOW: draw(dc, caption, offset(rc, 2), format, RGB(0, 0, 0)); break;
      default: break;
    }
    draw(dc, caption, text_rc, format, system_colour(text_colour_));
  }

  static RECT offset(RECT rc, int by) {
    OffsetRect(&rc, by, by);
    return rc;
  }
  static void draw(HDC dc, const Text& caption, RECT rc, UINT format, COLORREF colour) {
    SetTextColor(dc, colour);
    DrawTextA(dc, caption.c_str(), -1, &rc, format);
  }

  // What lies under the label is painted again first, so that no trace of
  // the old text remains; the label then paints over it.
  void repaint_after_change() {
    HWND parent = GetParent(hwnd_);
    RECT mine;
    GetWindowRect(hwnd_, &mine);
    RECT in_parent = mine;
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&in_parent), 2);
    // What the label drew outside its rectangle goes too.
    RECT spill = drawn_;
    MapWindowPoints(parent, HWND_DESKTOP, reinterpret_cast<POINT*>(&spill), 2);
    UnionRect(&mine, &mine, &spill);
    UnionRect(&in_parent, &in_parent, &drawn_);
    drawn_ = RECT{};
    spill_pending_ = true;
    InvalidateRect(parent, &in_parent, TRUE);
    UpdateWindow(parent);
    for (HWND sibling = GetWindow(parent, GW_CHILD); sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
      if (sibling == hwnd_ || !IsWindowVisible(sibling)) continue;
      RECT theirs, overlap;
      GetWindowRect(sibling, &theirs);
      if (IntersectRect(&overlap, &mine, &theirs))
        RedrawWindow(sibling, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
  }

  static int32_t clamp_effect(int32_t e) { return e < EFFECT_NONE ? EFFECT_NONE : e > EFFECT_DEEP_SHADOW ? EFFECT_DEEP_SHADOW : e; }

  static Cell get_caption(const TransparentLabel& l) { return result_text(window_text(l.hwnd_)); }
  static void set_caption(TransparentLabel& l, const Cell& v) { SetWindowTextA(l.hwnd_, cell_as_text(v)); }
  static Cell get_effect(const TransparentLabel& l) { return result_int(l.effect_); }
  static void set_effect(TransparentLabel& l, const Cell& v) { l.effect_ = clamp_effect(cell_as_int(v)); }
  static Cell get_font(const TransparentLabel& l) {
    return l.has_font_ ? result_bytes(font_description_bytes(l.font_desc_)) : result_bytes(Bytes());
  }
  static void set_font(TransparentLabel& l, const Cell& v) {
    l.has_font_ = font_description_from_bytes(copy_bytes(v), &l.font_desc_);
    if (l.has_font_)
      l.font_ = label_font(l.font_desc_);
    else
      l.font_.reset();
  }
  static Cell get_text_colour(const TransparentLabel& l) { return result_int(int32_t(l.text_colour_)); }
  static void set_text_colour(TransparentLabel& l, const Cell& v) { l.text_colour_ = uint32_t(cell_as_int(v)); }
  static Cell get_h_align(const TransparentLabel& l) { return result_int(l.h_align_); }
  static void set_h_align(TransparentLabel& l, const Cell& v) { l.h_align_ = clamp_align(cell_as_int(v)); }
  static Cell get_word_wrap(const TransparentLabel& l) { return result_bool(l.word_wrap_); }
  static void set_word_wrap(TransparentLabel& l, const Cell& v) { l.word_wrap_ = cell_as_bool(v); }
  static Cell get_v_align(const TransparentLabel& l) { return result_int(l.v_align_); }
  static void set_v_align(TransparentLabel& l, const Cell& v) { l.v_align_ = clamp_align(cell_as_int(v)); }

  static constexpr KindProperty<TransparentLabel> kProperties[] = {
      {ValueKind::text, get_caption, set_caption},             // 8 caption
      {ValueKind::integer, get_effect, set_effect},            // 9 text effect
      {ValueKind::bytes, get_font, set_font},                  // 10 font
      {ValueKind::integer, get_text_colour, set_text_colour},  // 11 text colour
      {ValueKind::integer, get_h_align, set_h_align},          // 12 horizontal alignment
      {ValueKind::logical, get_word_wrap, set_word_wrap},      // 13 word wrap
      {ValueKind::integer, get_v_align, set_v_align},          // 14 vertical alignment
  };

  const LabelDef& def_;
  int32_t effect_;
  uint32_t text_colour_;
  int32_t h_align_, v_align_;
  bool word_wrap_;
  bool has_font_;
  FontDesc font_desc_{};
  FontHandle font_;
  RECT drawn_{};               // where the text went, in the parent's client coordinates
  bool spill_pending_ = true;  // the parent has painted over the spill since it was drawn
};

}  // namespace

void register_label_class() { TransparentLabel::register_class(); }

std::unique_ptr<Control> make_label(LiveWindow& w, LiveItem& item) {
  return std::make_unique<TransparentLabel>(w, item);
}

}  // namespace cx
