// Property access by number: the common numbers on live controls and on
// stored values, the kinds' own numbers, copies of texts, conversions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/text.h"
#include "tests/ui/property_numbers.h"
#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using uitest::handle_of;
using uitest::rect_in_parent;
using uitest::window_text;

constexpr uint32_t kStoredWindow = 0x7E000010;
constexpr uint32_t kLabel = 0x00020001, kEdit = 0x00020002, kButton = 0x00020003, kDialog = 0x00020004;
const ControlRef kStoredLabel{kStoredWindow, kLabel, TAG_LABEL};
const ControlRef kStoredEdit{kStoredWindow, kEdit, TAG_EDIT};
const ControlRef kStoredButton{kStoredWindow, kButton, TAG_BUTTON};
const ControlRef kStoredDialog{kStoredWindow, kDialog, TAG_COMMON_DIALOG};

const ItemDef kItems[] = {
    {kLabel, TAG_LABEL, "l", 5, 6, 70, 20, ITEM_VISIBLE, {},
     LabelDef{"label", EFFECT_NONE, nullptr, 0xFF0000, ALIGN_NEAR, false, ALIGN_CENTRE}},
    // Too low for its font: it is made as tall as the text needs.
    {kEdit, TAG_EDIT, "e", 5, 40, 100, 5, ITEM_VISIBLE | ITEM_TABSTOP, {},
     EditDef{"start", false, true, false, false, '*', CASE_NONE, 0, true, true, ALIGN_NEAR, 0, 0, 0, 0xFFFFFF,
             nullptr}},
    {kButton, TAG_BUTTON, "b", 120, 40, 60, 24, ITEM_VISIBLE | ITEM_DISABLED, {},
     ButtonDef{"stored", false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}},
    {kDialog, TAG_COMMON_DIALOG, "d", 1, 2, 3, 4, 0, {}, DialogDef{1, "t", "f.txt", "A|*.a", 2, "", "txt", 0}},
};
const WindowDef kWindow{kStoredWindow, "stored", 30, 30, 260, 160, ITEM_VISIBLE, BORDER_FIXED_SINGLE, true, true,
                        false, true, false, true, 0xFFFFFF, START_STORED, START_NORMAL, {}, {}, kItems};

class Properties : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(register_window_definition(kWindow));
  }
};

// A window that is registered but not loaded is not read or written at all:
// end_test.cpp shows the run-time error for each kind of access.

TEST_F(Properties, ControlWithoutAWindowKeepsStoredCommonValues) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  EXPECT_EQ(get_int_property(kStoredDialog, PROP_LEFT), 1);
  EXPECT_EQ(get_int_property(kStoredDialog, PROP_HEIGHT), 4);
  set_int_property(kStoredDialog, PROP_TOP, 99);
  EXPECT_EQ(get_int_property(kStoredDialog, PROP_TOP), 99);
  EXPECT_FALSE(get_bool_property(kStoredDialog, PROP_VISIBLE));
}

TEST_F(Properties, WritingGeometryMovesTheLiveControl) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  struct Case {
    int32_t number, value;
  } cases[] = {{PROP_LEFT, 11}, {PROP_TOP, 70}, {PROP_WIDTH, 90}, {PROP_HEIGHT, 30}};
  for (const Case& c : cases) {
    set_int_property(kStoredButton, c.number, c.value);
    EXPECT_EQ(get_int_property(kStoredButton, c.number), c.value) << c.number;
  }
  RECT rc = rect_in_parent(handle_of(kStoredButton));
  EXPECT_EQ(rc.left, 11);
  EXPECT_EQ(rc.top, 70);
  EXPECT_EQ(rc.right, 101);
  EXPECT_EQ(rc.bottom, 100);
}

TEST_F(Properties, VisibleAndDisabledFollowTheLiveControl) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  HWND b = handle_of(kStoredButton);
  EXPECT_TRUE(get_bool_property(kStoredButton, PROP_DISABLED));
  set_bool_property(kStoredButton, PROP_DISABLED, false);
  EXPECT_TRUE(IsWindowEnabled(b));
  set_property(kStoredButton, PROP_DISABLED, cell_int(1));
  EXPECT_FALSE(IsWindowEnabled(b));
  set_bool_property(kStoredButton, PROP_VISIBLE, false);
  EXPECT_FALSE(IsWindowVisible(b));
  EXPECT_FALSE(get_bool_property(kStoredButton, PROP_VISIBLE));
  set_bool_property(kStoredButton, PROP_VISIBLE, true);
  EXPECT_TRUE(IsWindowVisible(b));
  EXPECT_TRUE(get_bool_property(kStoredButton, PROP_VISIBLE));
}

TEST_F(Properties, SingleLineEditBoxIsMadeTallEnoughForItsFont) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  HWND e = handle_of(kStoredEdit);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  RECT rc = rect_in_parent(e);
  EXPECT_EQ(rc.bottom - rc.top, tm.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE));
  EXPECT_EQ(rc.top, 40);
}

TEST_F(Properties, TextPropertiesReadFreshCopiesAndWriteCopies) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  struct Case {
    ControlRef ref;
    int32_t number;
    const char* initial;
  } cases[] = {
      {kStoredLabel, LABEL_CAPTION, "label"},
      {kStoredEdit, EDIT_CONTENT, "start"},
      {kStoredButton, BUTTON_CAPTION, "stored"},
      {kStoredDialog, DIALOG_FILE_NAME, "f.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.initial);
    Cell a = get_property(c.ref, c.number);
    Cell b = get_property(c.ref, c.number);
    ASSERT_EQ(a.tag, TAG_TEXT);
    EXPECT_NE(a.v.ptr, b.v.ptr) << "two reads, two blocks";
    cell_release(&a);
    EXPECT_STREQ(cell_as_text(b), c.initial) << "releasing one copy leaves the other";
    cell_release(&b);

    Text written = Text::copy("新的内容 new");
    set_text_property(c.ref, c.number, written);
    written = Text::copy("changed afterwards");
    EXPECT_EQ(get_text_property(c.ref, c.number), "新的内容 new");
    // A number written to a text property arrives as its text.
    set_property(c.ref, c.number, cell_int(42));
    EXPECT_EQ(get_text_property(c.ref, c.number), "42");
  }
  EXPECT_EQ(window_text(handle_of(kStoredEdit)), "42");
}

TEST_F(Properties, TagIsAStoredTextOfItsOwn) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  EXPECT_EQ(get_text_property(kStoredButton, PROP_TAG), "");
  set_text_property(kStoredButton, PROP_TAG, Text::copy("tagged"));
  Cell a = get_property(kStoredButton, PROP_TAG);
  Cell b = get_property(kStoredButton, PROP_TAG);
  EXPECT_NE(a.v.ptr, b.v.ptr);
  cell_release(&a);
  EXPECT_STREQ(cell_as_text(b), "tagged");
  cell_release(&b);
  EXPECT_EQ(get_text_property(kStoredLabel, PROP_TAG), "") << "each control has its own tag";
}

TEST_F(Properties, DialogKindIsClampedAndFilterIndexKeptAtLeastZero) {
  ASSERT_NE(open(kStoredWindow), nullptr);
  EXPECT_EQ(get_int_property(kStoredDialog, DIALOG_KIND), 1);
  struct Case {
    int32_t written, read;
  } kinds[] = {{5, 3}, {-2, 0}, {2, 2}, {1, 1}, {0, 0}, {3, 3}};
  for (const Case& c : kinds) {
    set_int_property(kStoredDialog, DIALOG_KIND, c.written);
    EXPECT_EQ(get_int_property(kStoredDialog, DIALOG_KIND), c.read) << c.written;
  }
  EXPECT_EQ(get_int_property(kStoredDialog, DIALOG_FILTER_INDEX), 2);
  set_int_property(kStoredDialog, DIALOG_FILTER_INDEX, -4);
  EXPECT_EQ(get_int_property(kStoredDialog, DIALOG_FILTER_INDEX), 0);
  EXPECT_EQ(get_text_property(kStoredDialog, DIALOG_DEFAULT_EXTENSION), "txt");
  EXPECT_EQ(get_text_property(kStoredDialog, DIALOG_FILTER), "A|*.a");
  EXPECT_EQ(get_text_property(kStoredDialog, DIALOG_TITLE), "t");
  for (int32_t sw : {uitest::DIALOG_SWITCH_CREATE_PROMPT, uitest::DIALOG_SWITCH_FILE_MUST_EXIST,
                     uitest::DIALOG_SWITCH_OVERWRITE_PROMPT, uitest::DIALOG_SWITCH_PATH_MUST_EXIST,
                     uitest::DIALOG_SWITCH_KEEP_DIRECTORY}) {
    EXPECT_FALSE(get_bool_property(kStoredDialog, sw)) << sw;
    set_bool_property(kStoredDialog, sw, true);
    EXPECT_TRUE(get_bool_property(kStoredDialog, sw)) << sw;
  }
}

TEST_F(Properties, KindNumbersApplyToTheLiveControl) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::copy("停止"));
  EXPECT_EQ(window_text(handle_of(按钮_获取_停止)), "停止");
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy("正在加载信息..."));
  EXPECT_EQ(window_text(handle_of(透明标签_获取信息)), "正在加载信息...");
  SetWindowTextA(handle_of(编辑框_用户名), "typed by the user");
  EXPECT_EQ(get_text_property(编辑框_用户名, EDIT_CONTENT), "typed by the user");

  // Label settings by number, read back.
  struct Case {
    int32_t number, written, read;
  } label[] = {{uitest::LABEL_EFFECT, 5, 3},      {uitest::LABEL_EFFECT, -1, 0},
               {uitest::LABEL_TEXT_COLOUR, 0x00FF00, 0x00FF00}, {uitest::LABEL_H_ALIGN, 9, 2},
               {uitest::LABEL_V_ALIGN, -3, 0},    {uitest::LABEL_WORD_WRAP, 1, 1}};
  for (const Case& c : label) {
    set_int_property(透明标签1, c.number, c.written);
    EXPECT_EQ(get_int_property(透明标签1, c.number), c.read) << c.number;
  }
  // A font description travels as its 60 bytes.
  Cell font = get_property(透明标签1, uitest::LABEL_FONT);
  ASSERT_EQ(font.tag, TAG_BYTES);
  ASSERT_EQ(cell_as_bytes(font)->length, 60);
  FontDesc desc;
  std::memcpy(&desc, cell_as_bytes(font)->data, sizeof desc);
  EXPECT_STREQ(desc.face, "Arial Narrow");
  desc.height = -20;
  Bytes changed = Bytes::copy(&desc, sizeof desc);
  set_property(透明标签1, uitest::LABEL_FONT, cell_bytes(changed));
  cell_release(&font);
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(handle_of(透明标签1), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -20);
}

TEST_F(Properties, ReadingTheWrongKindOfValueIsNotSilentlyConverted) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  Cell checked = get_property(选择框_User, CHECKBOX_CHECKED);
  EXPECT_EQ(checked.tag, TAG_BOOL);
  Cell left = get_property(选择框_User, PROP_LEFT);
  EXPECT_EQ(left.tag, TAG_INT);
  Cell caption = get_property(按钮1, BUTTON_CAPTION);
  EXPECT_EQ(caption.tag, TAG_TEXT);
  cell_release(&caption);
  // Numbers the kind does not have give nothing.
  Cell none = get_property(按钮1, 200);
  EXPECT_EQ(none.tag, TAG_ABSENT);
}

}  // namespace
}  // namespace cx
