// The platform-free parts of the window layer: the packed column form, the
// file dialog's filter/flags/index rules, the stored main-window definition
// and the icon file it carries.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "services/value.h"
#include "ui/column_codec.h"
#include "ui/definition.h"
#include "ui/file_dialog_request.h"
#include "ui/main_window.h"

namespace cx {
namespace {

// --- packed columns ---------------------------------------------------------

const ListDef& video_list_settings() {
  for (const ItemDef& item : main_window_definition().items)
    if (item.id == ID_VIDEO_LIST) return std::get<ListDef>(item.settings);
  ADD_FAILURE() << "no list in the main window";
  static ListDef none{};
  return none;
}

TEST(PackedColumns, StoredVideoColumnsDecodeToIdNameAndLink) {
  std::vector<ColumnDef> cols = decode_columns(video_list_settings().columns);
  std::vector<ColumnDef> expected = {
      {false, -1, ALIGN_NEAR, 50, "ID"},
      {false, -1, ALIGN_NEAR, 150, "视频名称"},
      {false, -1, ALIGN_NEAR, 410, "视频链接"},
  };
  EXPECT_EQ(cols, expected);
  EXPECT_EQ(video_list_settings().columns.size(), 60u);
}

TEST(PackedColumns, FieldsAreLittleEndianInOrder) {
  ColumnDef column{true, -1, 2, 0x01020304, "x"};
  std::vector<uint8_t> p = encode_columns(std::span<const ColumnDef>(&column, 1));
  std::vector<uint8_t> expected = {1, 0xff, 0xff, 0xff, 0xff, 2, 0, 0, 0, 4, 3, 2, 1, 'x', 0};
  EXPECT_EQ(p, expected);
}

TEST(PackedColumns, RoundTripKeepsEveryField) {
  std::vector<ColumnDef> columns = {
      {true, 7, ALIGN_CENTRE, 0, "居中"},
      {false, -1, ALIGN_FAR, 2147483647, ""},
      {false, -2, ALIGN_NEAR, -5, "a b c"},
  };
  EXPECT_EQ(decode_columns(encode_columns(columns)), columns);
}

TEST(PackedColumns, TruncatedEntryEndsTheList) {
  std::vector<ColumnDef> columns = {{false, -1, 0, 10, "one"}, {false, -1, 0, 20, "two"}};
  std::vector<uint8_t> packed = encode_columns(columns);
  for (size_t cut : {size_t(1), size_t(3), size_t(6)}) {
    std::vector<uint8_t> shorter(packed.begin(), packed.end() - std::ptrdiff_t(cut));
    std::vector<ColumnDef> got = decode_columns(shorter);
    ASSERT_EQ(got.size(), 1u) << "cut " << cut;
    EXPECT_EQ(got[0], columns[0]);
  }
  EXPECT_TRUE(decode_columns({}).empty());
}

// --- file dialog rules ------------------------------------------------------

TEST(FileDialogFilter, BarsBecomeZerosAndTheListEndsWithTwo) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"", std::string()},
      {"   \t\r\n", std::string()},
      {"Text|*.txt", std::string("Text\0*.txt\0\0", 12)},
      {"Text|*.txt||", std::string("Text\0*.txt\0\0", 12)},
      {"Text|*.txt|", std::string("Text\0*.txt\0\0\0", 13)},
      {"Text|*.txt  \r\n", std::string("Text\0*.txt\0\0", 12)},
      {"A|*.a|B|*.b", std::string("A\0*.a\0B\0*.b\0\0", 13)},
      {"文本文档/txt", std::string("文本文档/txt\0\0", 14)},
      {"  lead|*.x", std::string("  lead\0*.x\0\0", 12)},
  };
  for (const Case& c : cases) EXPECT_EQ(file_dialog_filter(c.in), c.out) << '"' << c.in << '"';
}

TEST(FileDialogFilter, GbkTrailByteEqualToBarStaysInItsCharacter) {
  // 0x81 0x7C is one double-byte character whose second byte is '|'.
  std::string in = std::string("\x81\x7C") + "|*.t";
  std::string expected = std::string("\x81\x7C") + std::string("\0*.t\0\0", 6);
  EXPECT_EQ(file_dialog_filter(in), expected);
  // Ending in that character followed by one bar is not "||".
  std::string one_bar = std::string("d|p\x81\x7C") + "|";
  EXPECT_EQ(file_dialog_filter(one_bar), std::string("d\0p\x81\x7C\0\0\0", 8));
}

TEST(FileDialogFlags, HideReadOnlyAlwaysPlusOneFlagPerSwitch) {
  struct Case {
    uint32_t switches;
    uint32_t flags;
  } cases[] = {
      {0, FD_HIDE_READ_ONLY},
      {DIALOG_CREATE_PROMPT, FD_HIDE_READ_ONLY | FD_CREATE_PROMPT},
      {DIALOG_FILE_MUST_EXIST, FD_HIDE_READ_ONLY | FD_FILE_MUST_EXIST},
      {DIALOG_OVERWRITE_PROMPT, FD_HIDE_READ_ONLY | FD_OVERWRITE_PROMPT},
      {DIALOG_PATH_MUST_EXIST, FD_HIDE_READ_ONLY | FD_PATH_MUST_EXIST},
      {DIALOG_KEEP_DIRECTORY, FD_HIDE_READ_ONLY | FD_NO_CHANGE_DIRECTORY},
      {0x1F, FD_HIDE_READ_ONLY | FD_CREATE_PROMPT | FD_FILE_MUST_EXIST | FD_OVERWRITE_PROMPT | FD_PATH_MUST_EXIST |
                 FD_NO_CHANGE_DIRECTORY},
  };
  for (const Case& c : cases) EXPECT_EQ(file_dialog_flags(c.switches), c.flags) << c.switches;
}

TEST(FileDialogFilterIndex, OneBasedWithAFilterZeroWithout) {
  struct Case {
    const char* filter;
    int32_t property;
    uint32_t index;
  } cases[] = {
      {"A|*.a", 0, 1}, {"A|*.a", 1, 2}, {"A|*.a", -7, 1}, {"A|*.a", 2147483647, 0x80000000u},
      {"", 0, 0},      {"", 5, 0},      {"  ", 3, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(build_file_dialog_request(c.filter, c.property, 0).filter_index, c.index)
        << '"' << c.filter << "\" " << c.property;
}

TEST(DialogKind, ClampedToOpenSaveFontHelp) {
  struct Case {
    int32_t in, out;
  } cases[] = {{-100, 0}, {-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {2147483647, 3}};
  for (const Case& c : cases) EXPECT_EQ(clamp_dialog_kind(c.in), c.out) << c.in;
}

// --- the stored main window -------------------------------------------------

TEST(MainWindowDefinition, ItemsInCreationOrderWithTheirKinds) {
  // Each item as the logic's reference names it (the menu has none).
  auto menu = [](uint32_t id) { return ControlRef{MAIN_WINDOW_ID, id, TAG_MENU}; };
  const std::pair<ControlRef, const char*> expected[] = {
      {menu(ID_MENU_TITLE), ""},
      {menu(ID_MENU_SITE), ""},
      {menu(ID_MENU_UPDATE), ""},
      {通用对话框1, "通用对话框1"},
      {按钮1, "按钮1"},
      {透明标签_停止信息, "透明标签_停止信息"},
      {选择框_Url, "选择框_Url"},
      {选择框_Channel, "选择框_Channel"},
      {选择框_User, "选择框_User"},
      {透明标签_获取信息, "透明标签_获取信息"},
      {超级列表框_视频, "超级列表框_视频"},
      {按钮_获取_停止, "按钮_获取_停止"},
      {编辑框_用户名, "编辑框_用户名"},
      {透明标签1, "透明标签1"},
  };
  auto items = main_window_definition().items;
  ASSERT_EQ(items.size(), std::size(expected));
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].id, expected[i].first.control) << i;
    EXPECT_EQ(items[i].kind, expected[i].first.kind) << i;
    EXPECT_STREQ(items[i].name, expected[i].second) << i;
  }
}

TEST(MainWindowDefinition, ReferencesMatchTheItemsTheyName) {
  const ControlRef refs[] = {通用对话框1, 按钮1, 透明标签_停止信息, 选择框_Url, 选择框_Channel, 选择框_User,
                             透明标签_获取信息, 超级列表框_视频, 按钮_获取_停止, 编辑框_用户名, 透明标签1};
  std::set<uint32_t> seen;
  for (const ItemDef& item : main_window_definition().items) EXPECT_TRUE(seen.insert(item.id).second) << item.id;
  for (const ControlRef& ref : refs) {
    EXPECT_EQ(ref.window, MAIN_WINDOW_ID);
    bool found = false;
    for (const ItemDef& item : main_window_definition().items)
      if (item.id == ref.control) {
        found = true;
        EXPECT_EQ(item.kind, ref.kind) << item.name;
      }
    EXPECT_TRUE(found) << ref.control;
  }
}

// --- the icon ---------------------------------------------------------------

uint32_t le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

TEST(MainWindowIcon, OneSixtyFourPixelImageWithAlphaIn16958Bytes) {
  std::span<const uint8_t> icon = main_window_definition().icon;
  ASSERT_EQ(icon.size(), 16958u);
  const uint8_t* p = icon.data();
  EXPECT_EQ(le(p, 2), 0u);        // reserved
  EXPECT_EQ(le(p + 2, 2), 1u);    // icon
  EXPECT_EQ(le(p + 4, 2), 1u);    // one image
  EXPECT_EQ(p[6], 64);            // width
  EXPECT_EQ(p[7], 64);            // height
  EXPECT_EQ(le(p + 12, 2), 32u);  // bits per pixel
  EXPECT_EQ(le(p + 14, 4), 16936u);
  EXPECT_EQ(le(p + 18, 4), 22u);
  const uint8_t* bmp = p + 22;
  EXPECT_EQ(le(bmp, 4), 40u);
  EXPECT_EQ(int32_t(le(bmp + 4, 4)), 64);
  EXPECT_EQ(int32_t(le(bmp + 8, 4)), 128);  // colour and mask
  EXPECT_EQ(le(bmp + 14, 2), 32u);
  EXPECT_EQ(le(bmp + 16, 4), 0u);  // uncompressed

  // The alpha channel is used, and the AND mask is set exactly where the
  // picture is fully transparent.
  const uint8_t* pixels = bmp + 40;
  const uint8_t* mask = pixels + 64 * 64 * 4;
  int transparent = 0, opaque = 0, mismatched = 0;
  for (int row = 0; row < 64; ++row)
    for (int col = 0; col < 64; ++col) {
      uint8_t alpha = pixels[(row * 64 + col) * 4 + 3];
      bool mask_bit = (mask[row * 8 + col / 8] >> (7 - col % 8)) & 1;
      transparent += alpha == 0;
      opaque += alpha == 255;
      mismatched += mask_bit != (alpha == 0);
    }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 64 * 64 / 2);
  EXPECT_EQ(mismatched, 0);
}

TEST(MainWindowIcon, EmbeddedBytesAreTheAssetFile) {
  std::ifstream in(CX_ICON_FILE, std::ios::binary);
  ASSERT_TRUE(in) << CX_ICON_FILE;
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::span<const uint8_t> icon = main_window_definition().icon;
  ASSERT_EQ(file.size(), icon.size());
  EXPECT_EQ(std::memcmp(file.data(), icon.data(), file.size()), 0);
}

}  // namespace
}  // namespace cx
