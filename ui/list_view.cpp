// List view: the system report list, filled and read through the ANSI
// list-view messages. The rows on screen are the only copy of their texts.
#include <windows.h>
#include <commctrl.h>

#include "services/heap.h"
#include "ui/access.h"
#include "ui/column_codec.h"
#include "ui/live.h"

namespace cx {

namespace {

constexpr int kFirstReadSize = 512;

// Changes to the rows reach the screen within this time. Repainting the
// list and its scroll bar after every single row costs more than the row
// itself, so while rows arrive in quick succession the painting is done
// once per interval, when the thread next handles its messages.
constexpr UINT kRepaintDelayMs = 20;
constexpr UINT_PTR kRepaintTimer = 0x43580001;

int column_format(const ColumnDef& c) {
  int fmt = c.alignment == ALIGN_CENTRE ? LVCFMT_CENTER : c.alignment == ALIGN_FAR ? LVCFMT_RIGHT : LVCFMT_LEFT;
  if (c.picture_on_right) fmt |= LVCFMT_BITMAP_ON_RIGHT;
  if (c.image != -1) fmt |= LVCFMT_IMAGE;
  return fmt;
}

class ListView final : public Control {
 public:
  ListView(LiveWindow& w, LiveItem& item) : Control(w, item), def_(std::get<ListDef>(item.def->settings)) {}

  bool create(HWND parent) override {
    DWORD style = LVS_REPORT;
    if (def_.single_selection) style |= LVS_SINGLESEL;
    if (def_.show_selection_always) style |= LVS_SHOWSELALWAYS;
    if (!def_.header_pressable) style |= LVS_NOSORTHEADER;
    if (def_.simple_border) style |= WS_BORDER;
    attach(create_child_window(WC_LISTVIEWA, "", style, 0, item_, parent));
    if (!hwnd_) return false;
    SendMessageA(hwnd_, WM_SETFONT, WPARAM(default_gui_font()), FALSE);
    DWORD ex = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_SUBITEMIMAGES;
    SendMessageA(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    SendMessageA(hwnd_, LVM_SETTEXTCOLOR, 0, LPARAM(system_colour(def_.text_colour)));
    SendMessageA(hwnd_, LVM_SETTEXTBKCOLOR, 0, LPARAM(system_colour(def_.text_back_colour)));
    SendMessageA(hwnd_, LVM_SETBKCOLOR, 0, LPARAM(system_colour(def_.back_colour)));

    std::vector<ColumnDef> columns = decode_columns(def_.columns);
    for (size_t i = 0; i < columns.size(); ++i) {
      LVCOLUMNA col{};
      col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
      col.fmt = column_format(columns[i]);
      col.cx = columns[i].width;
      col.pszText = const_cast<char*>(columns[i].caption.c_str());
      col.iSubItem = int(i);
      if (columns[i].image != -1) {
        col.mask |= LVCF_IMAGE;
        col.iImage = columns[i].image;
      }
      SendMessageA(hwnd_, LVM_INSERTCOLUMNA, i, LPARAM(&col));
    }
    // No stored rows and no stored selection.
    SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(hwnd_, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
    return true;
  }

  ~ListView() override {
    if (repaint_pending_ && IsWindow(hwnd_)) KillTimer(hwnd_, kRepaintTimer);
  }

  bool get(int32_t, Cell*) override { return false; }
  bool set(int32_t, const Cell&) override { return false; }
  void settle() override { repaint_now(); }

  int32_t row_count() const { return int32_t(SendMessageA(hwnd_, LVM_GETITEMCOUNT, 0, 0)); }

  int32_t column_count() const {
    HWND header = reinterpret_cast<HWND>(SendMessageA(hwnd_, LVM_GETHEADER, 0, 0));
    return header ? int32_t(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  }

  int32_t insert(int32_t position, const char* text, int32_t image, int32_t indent, int32_t value) {
    repaint_soon();
    LVITEMA it{};
    it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_INDENT;
    it.iItem = position < 0 ? row_count() : position;
    it.pszText = const_cast<char*>(text);
    it.lParam = value;
    it.iIndent = indent;
    // -1 means "no image"; passing it on would ask the parent for one.
    if (image != -1) {
      it.mask |= LVIF_IMAGE;
      it.iImage = image;
    }
    return int32_t(SendMessageA(hwnd_, LVM_INSERTITEMA, 0, LPARAM(&it)));
  }

  bool set_cell(int32_t row, int32_t column, const char* text) {
    if (row < 0 || row >= row_count() || column < 0 || column >= column_count()) return false;
    repaint_soon();
    LVITEMA it{};
    it.iSubItem = column;
    it.pszText = const_cast<char*>(text);
    return SendMessageA(hwnd_, LVM_SETITEMTEXTA, WPARAM(row), LPARAM(&it)) != 0;
  }

  Text get_cell(int32_t row, int32_t column) {
    size_t size = kFirstReadSize;
    char* buffer = static_cast<char*>(heap_allocate(size));
    buffer[0] = 0;
    for (;;) {
      LVITEMA it{};
      it.iSubItem = column;
      it.pszText = buffer;
      it.cchTextMax = int(size);
      size_t copied = size_t(SendMessageA(hwnd_, LVM_GETITEMTEXTA, WPARAM(row), LPARAM(&it)));
      // A double-byte character that does not fit is left out whole, so a
      // cut text can also end two bytes short of the buffer.
      if (copied + 2 < size || size >= (size_t(1) << 30)) break;
      size *= 2;
      buffer = static_cast<char*>(heap_reallocate(buffer, size));
      buffer[0] = 0;
    }
    Text t = Text::copy(std::string_view(buffer));
    heap_release(buffer);
    return t;
  }

  void delete_all() {
    repaint_soon();
    SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  }

 private:
  // Holds the list's painting back until the repaint timer comes due.
  void repaint_soon() {
    if (repaint_pending_ || !IsWindowVisible(hwnd_)) return;
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    if (!SetTimer(hwnd_, kRepaintTimer, kRepaintDelayMs, repaint_due)) {
      SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
      return;
    }
    repaint_pending_ = true;
  }

  void repaint_now() {
    if (!repaint_pending_) return;
    repaint_pending_ = false;
    KillTimer(hwnd_, kRepaintTimer);
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);  // the list updates its scroll bars and repaints
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
  }

  static void CALLBACK repaint_due(HWND hwnd, UINT, UINT_PTR, DWORD) {
    if (auto* self = static_cast<ListView*>(Control::from_hwnd(hwnd))) self->repaint_now();
  }

  const ListDef& def_;
  bool repaint_pending_ = false;
};

ListView& resolve_list(ControlRef list) {
  return static_cast<ListView&>(resolve_live(list.window, list.control, TAG_LISTVIEW));
}

bool present(int argc, const Cell* args, int i) { return i < argc && !cell_is_absent(args[i]); }

int32_t int_arg(int argc, const Cell* args, int i, int32_t absent) {
  return present(argc, args, i) ? cell_as_int(convert_value(args[i], ValueKind::integer).cell) : absent;
}

}  // namespace

std::unique_ptr<Control> make_list_view(LiveWindow& w, LiveItem& item) { return std::make_unique<ListView>(w, item); }

int32_t list_insert_row(ControlRef list, int argc, const Cell* args) {
  ListView& lv = resolve_list(list);
  int32_t position = int_arg(argc, args, 0, -1);
  Converted text = present(argc, args, 1) ? convert_value(args[1], ValueKind::text) : Converted{};
  int32_t image = int_arg(argc, args, 2, -1);
  if (image < -1) image = -1;
  // args[3], the state image, is accepted and not used.
  int32_t indent = int_arg(argc, args, 4, 0);
  if (indent < 0) indent = 0;
  int32_t value = int_arg(argc, args, 5, 0);
  return lv.insert(position, text.text.c_str(), image, indent, value);
}

int32_t list_insert_row(ControlRef list, int32_t position, const Text& text) {
  return resolve_list(list).insert(position, text.c_str(), -1, 0, 0);
}

bool list_set_cell(ControlRef list, int32_t row, int32_t column, const Text& text) {
  return resolve_list(list).set_cell(row, column, text.c_str());
}

Text list_get_cell(ControlRef list, int32_t row, int32_t column) { return resolve_list(list).get_cell(row, column); }

bool list_set_cell(ControlRef list, int argc, const Cell* args) {
  ListView& lv = resolve_list(list);
  Converted text = present(argc, args, 2) ? convert_value(args[2], ValueKind::text) : Converted{};
  return lv.set_cell(int_arg(argc, args, 0, 0), int_arg(argc, args, 1, 0), text.text.c_str());
}

Text list_get_cell(ControlRef list, int argc, const Cell* args) {
  return resolve_list(list).get_cell(int_arg(argc, args, 0, 0), int_arg(argc, args, 1, 0));
}

int32_t list_row_count(ControlRef list) { return resolve_list(list).row_count(); }

void list_delete_all(ControlRef list) { resolve_list(list).delete_all(); }

}  // namespace cx
