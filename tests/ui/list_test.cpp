// The video list's operations on the live list control.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using uitest::handle_of;

class VideoList : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_NE(open(MAIN_WINDOW_ID), nullptr);
  }
  std::vector<std::string> column(int32_t c) {
    std::vector<std::string> out;
    for (int32_t r = 0; r < list_row_count(超级列表框_视频); ++r)
      out.push_back(std::string(list_get_cell(超级列表框_视频, r, c).view()));
    return out;
  }
  void add_rows(std::initializer_list<const char*> ids) {
    for (const char* id : ids) list_insert_row(超级列表框_视频, -1, Text::copy(id));
  }
};

// A text of n bytes: GBK characters, with one ASCII letter first when n is odd.
std::string text_of(size_t n, bool chinese) {
  std::string s;
  if (chinese && n % 2) s += 'x';
  while (s.size() < n) s += chinese ? std::string("视") : std::string(1, char('a' + s.size() % 26));
  return s;
}

TEST_F(VideoList, RowsAppendInTheWayTheLogicFillsThem) {
  const char* titles[] = {"第一个视频", "Second video", "第三个 video"};
  for (int32_t n = 0; n < 3; ++n) {
    list_insert_row(超级列表框_视频, n, Text::copy(std::to_string(n)));
    EXPECT_TRUE(list_set_cell(超级列表框_视频, n, 1, Text::copy(titles[n])));
    EXPECT_TRUE(list_set_cell(超级列表框_视频, n, 2, Text::copy("https://www.clipdex.com/watch?v=" + std::to_string(n))));
  }
  EXPECT_EQ(list_row_count(超级列表框_视频), 3);
  EXPECT_EQ(column(0), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(column(1), (std::vector<std::string>{titles[0], titles[1], titles[2]}));
  EXPECT_EQ(list_get_cell(超级列表框_视频, 2, 2), "https://www.clipdex.com/watch?v=2");
}

TEST_F(VideoList, InsertPositionNegativeOrPastTheEndAppends) {
  struct Case {
    int32_t position;
    int32_t index;  // where the row lands
    std::vector<std::string> ids;
  } cases[] = {
      {-1, 3, {"a", "b", "c", "new"}},
      {-100, 3, {"a", "b", "c", "new"}},
      {3, 3, {"a", "b", "c", "new"}},
      {50, 3, {"a", "b", "c", "new"}},
      {0, 0, {"new", "a", "b", "c"}},
      {1, 1, {"a", "new", "b", "c"}},
  };
  for (const Case& c : cases) {
    list_delete_all(超级列表框_视频);
    add_rows({"a", "b", "c"});
    EXPECT_EQ(list_insert_row(超级列表框_视频, c.position, Text::copy("new")), c.index) << c.position;
    EXPECT_EQ(column(0), c.ids) << c.position;
    EXPECT_EQ(list_get_cell(超级列表框_视频, c.index, 1), "") << "the other columns start empty";
  }
}

TEST_F(VideoList, CellsOfAnyLengthReadBackWhole) {
  add_rows({"0"});
  const size_t lengths[] = {0, 1, 509, 510, 511, 512, 513, 1022, 1023, 1024, 2047, 5000};
  for (bool chinese : {false, true})
    for (size_t n : lengths) {
      std::string text = text_of(n, chinese);
      ASSERT_TRUE(list_set_cell(超级列表框_视频, 0, 2, Text::copy(text)));
      Text back = list_get_cell(超级列表框_视频, 0, 2);
      EXPECT_EQ(size_t(back.length()), n) << n << (chinese ? " GBK" : " ASCII");
      EXPECT_TRUE(back.view() == text) << n << (chinese ? " GBK" : " ASCII");
    }
}

TEST_F(VideoList, MissingRowsAndColumnsGiveEmptyTextAndChangeNothing) {
  add_rows({"0", "1"});
  list_set_cell(超级列表框_视频, 1, 1, Text::copy("kept"));
  struct Case {
    int32_t row, column;
  } missing[] = {{2, 0}, {100, 1}, {-1, 0}, {0, 3}, {1, -1}, {0, 40}};
  for (const Case& c : missing) {
    EXPECT_TRUE(list_get_cell(超级列表框_视频, c.row, c.column).empty()) << c.row << "," << c.column;
    EXPECT_FALSE(list_set_cell(超级列表框_视频, c.row, c.column, Text::copy("x"))) << c.row << "," << c.column;
  }
  EXPECT_EQ(list_row_count(超级列表框_视频), 2);
  EXPECT_EQ(column(0), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(list_get_cell(超级列表框_视频, 1, 1), "kept");
}

TEST_F(VideoList, DeleteAllEmptiesTheListAndDuplicatesAreKept) {
  EXPECT_EQ(list_row_count(超级列表框_视频), 0);
  add_rows({"same", "same", "same"});
  EXPECT_EQ(column(0), (std::vector<std::string>{"same", "same", "same"}));
  HWND lv = handle_of(超级列表框_视频);
  ListView_SetItemState(lv, 1, LVIS_SELECTED, LVIS_SELECTED);
  list_delete_all(超级列表框_视频);
  EXPECT_EQ(list_row_count(超级列表框_视频), 0);
  EXPECT_EQ(SendMessageA(lv, LVM_GETSELECTEDCOUNT, 0, 0), 0);
  list_delete_all(超级列表框_视频);
  EXPECT_EQ(list_row_count(超级列表框_视频), 0);
}

TEST_F(VideoList, CellFormsTakeTheirDefaults) {
  // Everything left out: appended, empty text, value 0.
  EXPECT_EQ(list_insert_row(超级列表框_视频, 0, nullptr), 0);
  Cell args[6] = {cell_absent(), cell_text("with value"), cell_int(-5), cell_int(3), cell_int(-2), cell_int(77)};
  EXPECT_EQ(list_insert_row(超级列表框_视频, 6, args), 1);
  Cell at_front[2] = {cell_int(0), cell_int(12345)};  // a number as the text
  EXPECT_EQ(list_insert_row(超级列表框_视频, 2, at_front), 0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"12345", "", "with value"}));

  HWND lv = handle_of(超级列表框_视频);
  LVITEMA it{};
  it.mask = LVIF_PARAM | LVIF_INDENT;
  it.iItem = 2;
  ASSERT_TRUE(SendMessageA(lv, LVM_GETITEMA, 0, LPARAM(&it)));
  EXPECT_EQ(it.lParam, 77);
  EXPECT_EQ(it.iIndent, 0) << "a negative indent counts as 0";

  Cell set_args[1] = {cell_int(2)};  // column 0, empty text
  EXPECT_TRUE(list_set_cell(超级列表框_视频, 1, set_args));
  EXPECT_EQ(list_get_cell(超级列表框_视频, 2, 0), "");
  Cell set_text_args[3] = {cell_int(0), cell_int(1), cell_text("标题")};
  EXPECT_TRUE(list_set_cell(超级列表框_视频, 3, set_text_args));
  Cell get_args[2] = {cell_int(0), cell_int(1)};
  EXPECT_EQ(list_get_cell(超级列表框_视频, 2, get_args), "标题");
  Cell get_default[1] = {cell_int(0)};
  EXPECT_EQ(list_get_cell(超级列表框_视频, 1, get_default), "12345");
}

TEST_F(VideoList, PressingAColumnHeaderLeavesTheOrderAlone) {
  add_rows({"b", "c", "a"});
  HWND lv = handle_of(超级列表框_视频);
  HWND header = reinterpret_cast<HWND>(SendMessageA(lv, LVM_GETHEADER, 0, 0));
  for (int x : {20, 100, 300}) {
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
    SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
    ASSERT_TRUE(uitest::pump_queued()) << "whatever the press queued has been handled";
  }
  EXPECT_EQ(column(0), (std::vector<std::string>{"b", "c", "a"}));
}

}  // namespace
}  // namespace cx
