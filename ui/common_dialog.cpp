// Common dialog: a control without a window that holds the settings of the
// system's open and save dialogs and shows them on request.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ui/access.h"
#include "ui/file_dialog_request.h"
#include "ui/live.h"

namespace cx {

namespace {

static_assert(FD_OVERWRITE_PROMPT == OFN_OVERWRITEPROMPT && FD_HIDE_READ_ONLY == OFN_HIDEREADONLY &&
                  FD_NO_CHANGE_DIRECTORY == OFN_NOCHANGEDIR && FD_PATH_MUST_EXIST == OFN_PATHMUSTEXIST &&
                  FD_FILE_MUST_EXIST == OFN_FILEMUSTEXIST && FD_CREATE_PROMPT == OFN_CREATEPROMPT,
              "file dialog flags match the platform's");

// Room for a long chosen path even when the proposed name is short.
constexpr size_t kFileBufferSize = 32768;

class CommonDialog final : public Control {
 public:
  CommonDialog(LiveWindow& w, LiveItem& item) : Control(w, item) {
    const DialogDef& d = std::get<DialogDef>(item.def->settings);
    kind_ = clamp_dialog_kind(d.kind);
    title_ = Text::copy(d.title ? d.title : "");
    file_name_ = Text::copy(d.file_name ? d.file_name : "");
    filter_ = Text::copy(d.filter ? d.filter : "");
    filter_index_ = std::max<int32_t>(d.filter_index, 0);
    initial_directory_ = Text::copy(d.initial_directory ? d.initial_directory : "");
    default_extension_ = Text::copy(d.default_extension ? d.default_extension : "");
    switches_ = d.switches;
  }

  bool create(HWND) override { return true; }
  bool get(int32_t index, Cell* out) override { return table_get(kProperties, *this, index, out); }
  bool set(int32_t index, const Cell& value) override { return table_set(kProperties, *this, index, value); }

  bool show() {
    if (kind_ != DIALOG_OPEN && kind_ != DIALOG_SAVE) return false;
    FileDialogRequest request = build_file_dialog_request(filter_.view(), filter_index_, switches_);
    std::vector<char> file(std::max(kFileBufferSize, size_t(file_name_.length()) + 1), '\0');
    std::memcpy(file.data(), file_name_.c_str(), size_t(file_name_.length()));

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = window_.hwnd;
    ofn.hInstance = GetModuleHandleA(nullptr);
    ofn.lpstrFilter = request.filter.empty() ? nullptr : request.filter.c_str();
    ofn.nFilterIndex = request.filter_index;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = or_null(initial_directory_);
    ofn.lpstrTitle = or_null(title_);
    ofn.lpstrDefExt = or_null(default_extension_);
    ofn.Flags = request.flags;
    BOOL confirmed = kind_ == DIALOG_SAVE ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!confirmed) return false;
    file_name_ = Text::copy(std::string_view(file.data()));
    return true;
  }

 private:
  static const char* or_null(const Text& t) { return t.empty() ? nullptr : t.c_str(); }

  template <Text CommonDialog::*Field>
  static Cell get_text(const CommonDialog& d) { return result_text(d.*Field); }
  template <Text CommonDialog::*Field>
  static void set_text(CommonDialog& d, const Cell& v) { d.*Field = Text::copy(std::string_view(cell_as_text(v))); }
  template <uint32_t Bit>
  static Cell get_switch(const CommonDialog& d) { return result_bool((d.switches_ & Bit) != 0); }
  template <uint32_t Bit>
  static void set_switch(CommonDialog& d, const Cell& v) {
    d.switches_ = cell_as_bool(v) ? (d.switches_ | Bit) : (d.switches_ & ~Bit);
  }
  static Cell get_kind(const CommonDialog& d) { return result_int(d.kind_); }
  static void set_kind(CommonDialog& d, const Cell& v) { d.kind_ = clamp_dialog_kind(cell_as_int(v)); }
  static Cell get_filter_index(const CommonDialog& d) { return result_int(d.filter_index_); }
  static void set_filter_index(CommonDialog& d, const Cell& v) { d.filter_index_ = std::max<int32_t>(cell_as_int(v), 0); }

  static const KindProperty<CommonDialog> kProperties[12];

  int32_t kind_;
  Text title_, file_name_, filter_;
  int32_t filter_index_;
  Text initial_directory_, default_extension_;
  uint32_t switches_;
};

const KindProperty<CommonDialog> CommonDialog::kProperties[12] = {
    {ValueKind::integer, get_kind, set_kind},                                                     // 8
    {ValueKind::text, get_text<&CommonDialog::title_>, set_text<&CommonDialog::title_>},          // 9
    {ValueKind::text, get_text<&CommonDialog::file_name_>, set_text<&CommonDialog::file_name_>},  // 10
    {ValueKind::text, get_text<&CommonDialog::filter_>, set_text<&CommonDialog::filter_>},        // 11
    {ValueKind::integer, get_filter_index, set_filter_index},                                     // 12
    {ValueKind::text, get_text<&CommonDialog::initial_directory_>, set_text<&CommonDialog::initial_directory_>},
    {ValueKind::text, get_text<&CommonDialog::default_extension_>, set_text<&CommonDialog::default_extension_>},
    {ValueKind::logical, get_switch<DIALOG_CREATE_PROMPT>, set_switch<DIALOG_CREATE_PROMPT>},        // 15
    {ValueKind::logical, get_switch<DIALOG_FILE_MUST_EXIST>, set_switch<DIALOG_FILE_MUST_EXIST>},    // 16
    {ValueKind::logical, get_switch<DIALOG_OVERWRITE_PROMPT>, set_switch<DIALOG_OVERWRITE_PROMPT>},  // 17
    {ValueKind::logical, get_switch<DIALOG_PATH_MUST_EXIST>, set_switch<DIALOG_PATH_MUST_EXIST>},    // 18
    {ValueKind::logical, get_switch<DIALOG_KEEP_DIRECTORY>, set_switch<DIALOG_KEEP_DIRECTORY>},      // 19
};

}  // namespace

std::unique_ptr<Control> make_common_dialog(LiveWindow& w, LiveItem& item) {
  return std::make_unique<CommonDialog>(w, item);
}

bool show_common_dialog(ControlRef dialog) {
  auto& control = static_cast<CommonDialog&>(resolve_live(dialog.window, dialog.control, TAG_COMMON_DIALOG));
  return control.show();
}

}  // namespace cx
