// Menu entry: a title of the menu bar or an item of a drop-down menu. Its
// properties have a numbering of their own: 0 caption, 1 checked, 2 disabled.
#include <windows.h>

#include <string>

#include "ui/live.h"

namespace cx {

namespace {

class MenuEntry final : public Control {
 public:
  MenuEntry(LiveWindow& w, LiveItem& item, HMENU owner, UINT position)
      : Control(w, item), owner_(owner), position_(position) {}

  bool create(HWND) override { return true; }
  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override {
    if (!table_set(kProperties, *this, index, value)) return false;
    if (window_.hwnd) DrawMenuBar(window_.hwnd);
    return true;
  }

 private:
  UINT state() const {
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_STATE;
    GetMenuItemInfoA(owner_, position_, TRUE, &mi);
    return mi.fState;
  }
  void change_state(UINT bit, bool on) {
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_STATE;
    mi.fState = on ? (state() | bit) : (state() & ~bit);
    SetMenuItemInfoA(owner_, position_, TRUE, &mi);
  }

  static Cell get_caption(const MenuEntry& m) {
    int n = GetMenuStringA(m.owner_, m.position_, nullptr, 0, MF_BYPOSITION);
    if (n <= 0) return result_text(Text());
    std::string s(size_t(n) + 1, '\0');
    GetMenuStringA(m.owner_, m.position_, s.data(), n + 1, MF_BYPOSITION);
    return result_text(Text::copy(std::string_view(s.c_str())));
  }
  static void set_caption(MenuEntry& m, const Cell& v) {
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = const_cast<char*>(cell_as_text(v));
    SetMenuItemInfoA(m.owner_, m.position_, TRUE, &mi);
  }
  static Cell get_checked(const MenuEntry& m) { return result_bool((m.state() & MFS_CHECKED) != 0); }
  static void set_checked(MenuEntry& m, const Cell& v) { m.change_state(MFS_CHECKED, cell_as_bool(v)); }
  static Cell get_disabled(const MenuEntry& m) { return result_bool((m.state() & MFS_DISABLED) != 0); }
  static void set_disabled(MenuEntry& m, const Cell& v) { m.change_state(MFS_DISABLED, cell_as_bool(v)); }

  static constexpr KindProperty<MenuEntry> kProperties[] = {
      {ValueKind::text, get_caption, set_caption},
      {ValueKind::logical, get_checked, set_checked},
      {ValueKind::logical, get_disabled, set_disabled},
  };

  HMENU owner_;
  UINT position_;
};

}  // namespace

std::unique_ptr<Control> make_menu_entry(LiveWindow& w, LiveItem& item, HMENU owner, UINT position) {
  return std::make_unique<MenuEntry>(w, item, owner, position);
}

}  // namespace cx
