// The file dialog shown from the common dialog control's settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/ascii.h"
#include "tests/ui/property_numbers.h"
#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

constexpr int kFileTypeCombo = 0x470;  // the dialog's file type list

struct SeenDialog {
  std::string title;
  std::vector<std::string> types;
  int selected_type = -1;
};

void look_at(HWND dlg, SeenDialog* seen) {
  seen->title = uitest::window_text(dlg);
  HWND combo = GetDlgItem(dlg, kFileTypeCombo);
  int n = combo ? int(SendMessageA(combo, CB_GETCOUNT, 0, 0)) : 0;
  for (int i = 0; i < n; ++i) {
    char text[256] = {0};
    SendMessageA(combo, CB_GETLBTEXT, i, LPARAM(text));
    seen->types.push_back(text);
  }
  if (combo) seen->selected_type = int(SendMessageA(combo, CB_GETCURSEL, 0, 0));
}

// Paths compare without regard to the case of ASCII letters.
std::string lower(std::string s) {
  for (char& c : s) c = cx::ascii_lower(c);
  return s;
}

std::string temp_directory() { return probe::temp_folder(); }

class FileDialog : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_NE(open(MAIN_WINDOW_ID), nullptr);
    set_int_property(通用对话框1, DIALOG_KIND, DIALOG_SAVE);
    set_text_property(通用对话框1, DIALOG_FILTER, Text::copy("文本文档|*.txt|所有文件|*.*"));
    set_int_property(通用对话框1, DIALOG_FILTER_INDEX, 1);
    set_text_property(通用对话框1, DIALOG_TITLE, Text::copy("导出列表"));
    set_text_property(通用对话框1, DIALOG_INITIAL_DIRECTORY, Text::copy(temp_directory()));
  }
  // Shows the dialog while a responder presses `button` in it; seen (when
  // given) records the dialog as it was. dialogs counts the dialogs answered.
  bool show_pressing(int button, SeenDialog* seen = nullptr) {
    probe::BoxOptions options;
    if (seen) options.look = [seen](HWND dlg) { look_at(dlg, seen); };
    probe::BoxResponder responder({button}, options);
    bool shown = show_common_dialog(通用对话框1);
    dialogs = responder.count();
    return shown;
  }
  size_t dialogs = 0;
};

TEST_F(FileDialog, CancelledDialogReturnsFalseAndKeepsTheFileName) {
  set_text_property(通用对话框1, DIALOG_FILE_NAME, Text::copy("keep.txt"));
  SeenDialog seen;
  EXPECT_FALSE(show_pressing(IDCANCEL, &seen));
  EXPECT_EQ(dialogs, 1u);
  EXPECT_EQ(get_text_property(通用对话框1, DIALOG_FILE_NAME), "keep.txt");
  EXPECT_EQ(seen.title, "导出列表");
  EXPECT_EQ(seen.types, (std::vector<std::string>{"文本文档", "所有文件"}));
  EXPECT_EQ(seen.selected_type, 1) << "the filter index property counts from 0";
}

TEST_F(FileDialog, ConfirmedSaveDialogStoresTheFullPath) {
  std::string name = "clipdex_ui_export_" + std::to_string(GetCurrentProcessId()) + ".txt";
  set_text_property(通用对话框1, DIALOG_FILE_NAME, Text::copy(name));
  ASSERT_TRUE(show_pressing(IDOK));
  EXPECT_EQ(dialogs, 1u);
  std::string path(get_text_property(通用对话框1, DIALOG_FILE_NAME).view());
  EXPECT_EQ(lower(path), lower(temp_directory() + "\\" + name)) << path;
}

TEST_F(FileDialog, OpenDialogConfirmsAnExistingFile) {
  std::string name = "clipdex_ui_open_" + std::to_string(GetCurrentProcessId()) + ".txt";
  std::string full = temp_directory() + "\\" + name;
  ASSERT_TRUE(probe::write_file(full, ""));
  set_int_property(通用对话框1, DIALOG_KIND, DIALOG_OPEN);
  set_bool_property(通用对话框1, uitest::DIALOG_SWITCH_FILE_MUST_EXIST, true);
  set_text_property(通用对话框1, DIALOG_FILE_NAME, Text::copy(name));
  bool shown = show_pressing(IDOK);
  DeleteFileA(full.c_str());
  ASSERT_TRUE(shown);
  EXPECT_EQ(dialogs, 1u);
  EXPECT_EQ(lower(std::string(get_text_property(通用对话框1, DIALOG_FILE_NAME).view())), lower(full));
}

TEST_F(FileDialog, FontAndHelpKindsShowNoFileDialog) {
  set_text_property(通用对话框1, DIALOG_FILE_NAME, Text::copy("same.txt"));
  for (int32_t kind : {DIALOG_FONT, DIALOG_HELP}) {
    set_int_property(通用对话框1, DIALOG_KIND, kind);
    // A dialog would be modal: had one been shown, the responder would have
    // answered it before the call came back.
    EXPECT_FALSE(show_pressing(IDCANCEL)) << kind;
    EXPECT_EQ(dialogs, 0u) << "no dialog appeared for kind " << kind;
  }
  EXPECT_EQ(get_text_property(通用对话框1, DIALOG_FILE_NAME), "same.txt");
}

}  // namespace
}  // namespace cx
