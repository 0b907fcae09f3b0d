// What the main window shows on the screen: the two status labels on top of
// each other, captions that change, captions wider than their label (which
// run on to the window's edge), and pictures of the window for a person to
// look at.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using uitest::Capture;
using uitest::count_pixels;
using uitest::is_blue;

const char kLong[] = "正在整理视频内容,准备加载...正在整理视频内容,准备加载...";
const char kShort[] = "停";
constexpr RECT kStatusLine{3, 31, 680, 56};

// Pictures go next to the test program (the build folder), whatever the
// current directory is after a file dialog.
std::string picture_path(const char* name) { return uitest::directory_of_module() + "\\" + name; }

class Screen : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    hwnd = open(MAIN_WINDOW_ID);
    ASSERT_NE(hwnd, nullptr);
    SetForegroundWindow(hwnd);
    ASSERT_TRUE(uitest::pump_until([&] { return IsWindowVisible(hwnd) != FALSE; }, 5000));
    settle();
  }
  // Every change so far handled and painted.
  void settle() { ASSERT_TRUE(uitest::pump_painted()); }
  Capture shot() {
    settle();
    return uitest::capture_client(hwnd);
  }
  static int blue_in(const Capture& c, RECT rc) { return count_pixels(c, rc, is_blue); }
  HWND hwnd = nullptr;
};

// The status line split into the far left, the middle and the far right.
constexpr RECT kLeftPart{3, 31, 200, 56};
constexpr RECT kMiddle{300, 31, 384, 56};
constexpr RECT kRightPart{484, 31, 680, 56};

TEST_F(Screen, OnlyTheVisibleOfTheTwoStatusLabelsShowsItsText) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(kLong));
  set_text_property(透明标签_停止信息, LABEL_CAPTION, Text::copy(kShort));
  Capture progress = shot();
  ASSERT_GT(progress.width, 0);
  EXPECT_GT(blue_in(progress, kLeftPart), 0) << "the long progress text is shown";
  EXPECT_GT(blue_in(progress, kRightPart), 0);

  // Hide one, then show the other, in two steps as the logic does.
  set_bool_property(透明标签_获取信息, PROP_VISIBLE, false);
  set_bool_property(透明标签_停止信息, PROP_VISIBLE, true);
  Capture stop = shot();
  EXPECT_EQ(blue_in(stop, kLeftPart), 0) << "no trace of the hidden label's text";
  EXPECT_EQ(blue_in(stop, kRightPart), 0);
  EXPECT_GT(blue_in(stop, kMiddle), 0) << "the short stop text, centred";

  // And back.
  set_bool_property(透明标签_停止信息, PROP_VISIBLE, false);
  set_bool_property(透明标签_获取信息, PROP_VISIBLE, true);
  Capture again = shot();
  EXPECT_GT(blue_in(again, kLeftPart), 0);
}

TEST_F(Screen, ChangingACaptionLeavesNoTraceOfTheOldText) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(kLong));
  ASSERT_GT(blue_in(shot(), kLeftPart), 0);
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(kShort));
  Capture c = shot();
  EXPECT_EQ(blue_in(c, kLeftPart), 0);
  EXPECT_EQ(blue_in(c, kRightPart), 0);
  EXPECT_GT(blue_in(c, kMiddle), 0);
}

TEST_F(Screen, EmptyCaptionShowsNothingAndLeavesTheBackgroundWhite) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(kLong));
  ASSERT_GT(blue_in(shot(), kStatusLine), 0);
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text());
  Capture c = shot();
  int area = (kStatusLine.right - kStatusLine.left) * (kStatusLine.bottom - kStatusLine.top);
  EXPECT_EQ(count_pixels(c, kStatusLine, [](uint32_t p) { return p == 0xFFFFFF; }), area);
}

// The status line's margins between the label and the window's edges.
RECT left_margin(const Capture&) { return RECT{0, kStatusLine.top, kStatusLine.left, kStatusLine.bottom}; }
RECT right_margin(const Capture& c) { return RECT{kStatusLine.right + 1, kStatusLine.top, c.width, kStatusLine.bottom}; }

std::string wider_than_the_window() {
  std::string wide;
  for (int i = 0; i < 6; ++i) wide += kLong;
  return wide;
}

TEST_F(Screen, CaptionWiderThanItsLabelRunsOnToTheWindowsEdge) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(wider_than_the_window()));
  Capture c = shot();
  ASSERT_GT(c.width, kStatusLine.right + 4);
  // One line, not wrapped and not shortened, centred and not cut at the
  // label's edges: the text goes on past them to the window's edges.
  EXPECT_GT(blue_in(c, RECT{kStatusLine.left, kStatusLine.top, kStatusLine.left + 12, kStatusLine.bottom}), 0);
  EXPECT_GT(blue_in(c, RECT{kStatusLine.right - 12, kStatusLine.top, kStatusLine.right, kStatusLine.bottom}), 0);
  EXPECT_GT(blue_in(c, right_margin(c)), 0) << "drawn on past the label's right edge";
  EXPECT_GT(blue_in(c, RECT{c.width - 4, kStatusLine.top, c.width, kStatusLine.bottom}), 0) << "up to the window's edge";
  // Cut at the window's edge: nothing of it on the frame.
  Capture whole = uitest::capture_window(hwnd);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  RECT frame_rc;
  GetWindowRect(hwnd, &frame_rc);
  int client_right = origin.x - frame_rc.left + c.width;
  int top = origin.y - frame_rc.top + kStatusLine.top;
  EXPECT_EQ(blue_in(whole, RECT{client_right, top, whole.width, top + 25}), 0);
  uitest::write_png(picture_path("ui_label_wider_than_window.png"), c);
}

TEST_F(Screen, TextBeyondTheLabelGoesWhenTheCaptionChangesOrTheLabelHides) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(wider_than_the_window()));
  Capture wide = shot();
  ASSERT_GT(blue_in(wide, right_margin(wide)), 0);

  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(kShort));
  Capture after = shot();
  EXPECT_EQ(blue_in(after, left_margin(after)), 0);
  EXPECT_EQ(blue_in(after, right_margin(after)), 0);
  EXPECT_EQ(blue_in(after, kLeftPart), 0);
  EXPECT_EQ(blue_in(after, kRightPart), 0);
  EXPECT_GT(blue_in(after, kMiddle), 0);

  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(wider_than_the_window()));
  ASSERT_GT(blue_in(shot(), right_margin(wide)), 0);
  set_bool_property(透明标签_获取信息, PROP_VISIBLE, false);
  Capture hidden = shot();
  EXPECT_EQ(blue_in(hidden, kStatusLine), 0);
  EXPECT_EQ(blue_in(hidden, left_margin(hidden)), 0);
  EXPECT_EQ(blue_in(hidden, right_margin(hidden)), 0);
}

TEST_F(Screen, TextBeyondTheLabelComesBackWhenTheWindowIsPaintedAgain) {
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy(wider_than_the_window()));
  Capture before = shot();
  int margin_before = blue_in(before, right_margin(before));
  ASSERT_GT(margin_before, 0);
  // The window's background painted over the margin alone.
  RECT margin = right_margin(before);
  InvalidateRect(hwnd, &margin, TRUE);
  Capture after = shot();
  EXPECT_EQ(blue_in(after, right_margin(after)), margin_before);
  // And after the window was minimized and restored.
  ShowWindow(hwnd, SW_MINIMIZE);
  ASSERT_TRUE(uitest::pump_until([&] { return IsIconic(hwnd) != FALSE; }, 5000));
  settle();
  ShowWindow(hwnd, SW_RESTORE);
  ASSERT_TRUE(uitest::pump_until([&] { return IsIconic(hwnd) == FALSE; }, 5000));
  Capture restored = shot();
  EXPECT_EQ(blue_in(restored, right_margin(restored)), margin_before);
}

TEST_F(Screen, CaptionLabelShowsItsTextLeftAligned) {
  Capture c = shot();
  EXPECT_GT(blue_in(c, RECT{7, 5, 40, 29}), 0) << "用户名/链接 starts at the left";
}

TEST_F(Screen, RowsReachTheScreenAMomentAfterTheyAreAdded) {
  HWND list = uitest::handle_of(超级列表框_视频);
  RECT first_row{2, 78, 50, 94};  // the ID cell of row 0, below the header
  auto dark = [](uint32_t p) { return ((p >> 16) & 0xFF) < 80 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80; };
  ASSERT_EQ(count_pixels(uitest::capture_client(hwnd), first_row, dark), 0);
  list_insert_row(超级列表框_视频, 0, Text::copy("8888"));
  EXPECT_TRUE(get_bool_property(超级列表框_视频, PROP_VISIBLE)) << "the list stays visible while rows arrive";
  // Only the thread's own message handling, nothing forced.
  auto row_drawn = [&](const Capture& c) { return count_pixels(c, first_row, dark) > 0; };
  EXPECT_GT(count_pixels(uitest::capture_when(hwnd, row_drawn), first_row, dark), 0);

  EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
  for (int32_t n = 1; n < 40; ++n) {
    list_insert_row(超级列表框_视频, n, Text::copy(std::to_string(n)));
    uitest::pump_queued();
  }
  EXPECT_TRUE(uitest::pump_until([&] { return (GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL) != 0; }, 5000))
      << "the scroll bar follows the rows";
  list_delete_all(超级列表框_视频);
  auto row_gone = [&](const Capture& c) { return count_pixels(c, first_row, dark) == 0; };
  EXPECT_EQ(count_pixels(uitest::capture_when(hwnd, row_gone), first_row, dark), 0) << "emptied on screen too";
}

TEST_F(Screen, PicturesOfTheWindowAtStartAndWithRows) {
  SetWindowTextA(uitest::handle_of(编辑框_用户名), "demo-channel");
  Capture start = uitest::capture_window(hwnd);
  ASSERT_GT(start.width, 0);
  EXPECT_TRUE(uitest::write_png(picture_path("ui_main_window_start.png"), start));

  const char* titles[] = {"第一集：开箱与上手体验", "Second video - a longer English title", "第三集 测试视频标题",
                          "四：演示"};
  for (int32_t n = 0; n < 4; ++n) {
    list_insert_row(超级列表框_视频, n, Text::copy(std::to_string(n)));
    list_set_cell(超级列表框_视频, n, 1, Text::copy(titles[n]));
    list_set_cell(超级列表框_视频, n, 2, Text::copy("https://www.clipdex.com/watch?v=vid" + std::to_string(n)));
  }
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::copy("停止"));
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::copy("已经全部获取"));
  settle();
  // The rows are drawn in black text somewhere in the list (a moment after
  // they were added).
  RECT list_area{2, 80, 680, 150};
  auto dark = [](uint32_t p) { return ((p >> 16) & 0xFF) < 80 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80; };
  Capture client = uitest::capture_when(hwnd, [&](const Capture& c) { return count_pixels(c, list_area, dark) > 0; });
  EXPECT_GT(count_pixels(client, list_area, dark), 0);
  settle();
  Capture rows = uitest::capture_window(hwnd);
  EXPECT_TRUE(uitest::write_png(picture_path("ui_main_window_rows.png"), rows));
}

}  // namespace
}  // namespace cx
