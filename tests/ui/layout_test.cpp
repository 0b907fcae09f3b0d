// The main window as it stands on the screen after start-up: frame, menu,
// every control's place, state and order, and the settings of each kind.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/property_numbers.h"
#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using uitest::handle_of;
using uitest::rect_in_parent;
using uitest::window_text;

class MainWindowLayout : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    hwnd = open(MAIN_WINDOW_ID);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(uitest::pump_until([&] { return IsWindowVisible(hwnd) != FALSE; }, 5000));
    ASSERT_TRUE(uitest::pump_queued());
  }
  // The colours the window gives a child control through message (one of
  // the WM_CTLCOLOR... messages): black text on a white brush.
  void expect_black_on_white(UINT message, HWND control) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(hwnd, message, WPARAM(dc), LPARAM(control)));
    LOGBRUSH lb{};
    GetObjectA(brush, sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    if (message == WM_CTLCOLOREDIT) {
      EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    }
    DeleteDC(dc);
  }
  HWND hwnd = nullptr;
};

struct Place {
  const char* name;
  ControlRef ref;
  int left, top, width, height;
  bool visible, tab;
};

const Place kPlaces[] = {
    {"透明标签1", 透明标签1, 7, 5, 73, 24, true, false},
    {"编辑框_用户名", 编辑框_用户名, 80, 5, 368, 24, true, true},
    {"选择框_User", 选择框_User, 451, 5, 45, 24, true, true},
    {"选择框_Channel", 选择框_Channel, 504, 5, 64, 24, true, true},
    {"选择框_Url", 选择框_Url, 574, 5, 39, 24, true, true},
    {"按钮_获取_停止", 按钮_获取_停止, 621, 5, 65, 24, true, true},
    {"透明标签_获取信息", 透明标签_获取信息, 3, 31, 677, 25, true, false},
    {"透明标签_停止信息", 透明标签_停止信息, 3, 31, 677, 25, false, false},
    {"超级列表框_视频", 超级列表框_视频, 1, 56, 687, 296, true, true},
    {"按钮1", 按钮1, 600, 360, 80, 24, true, true},
};

TEST_F(MainWindowLayout, EveryControlAtItsPlaceWithItsStateAndTabStop) {
  for (const Place& p : kPlaces) {
    SCOPED_TRACE(p.name);
    HWND c = handle_of(p.ref);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GetParent(c), hwnd);
    RECT rc = rect_in_parent(c);
    EXPECT_EQ(rc.left, p.left);
    EXPECT_EQ(rc.top, p.top);
    EXPECT_EQ(rc.right - rc.left, p.width);
    EXPECT_EQ(rc.bottom - rc.top, p.height);
    EXPECT_EQ(IsWindowVisible(c) != 0, p.visible);
    EXPECT_TRUE(IsWindowEnabled(c));
    EXPECT_EQ((GetWindowLongA(c, GWL_STYLE) & WS_TABSTOP) != 0, p.tab);
    // The common properties read the same live values.
    EXPECT_EQ(get_int_property(p.ref, PROP_LEFT), p.left);
    EXPECT_EQ(get_int_property(p.ref, PROP_TOP), p.top);
    EXPECT_EQ(get_int_property(p.ref, PROP_WIDTH), p.width);
    EXPECT_EQ(get_int_property(p.ref, PROP_HEIGHT), p.height);
    EXPECT_EQ(get_bool_property(p.ref, PROP_VISIBLE), p.visible);
    EXPECT_FALSE(get_bool_property(p.ref, PROP_DISABLED));
  }
  EXPECT_EQ(handle_of(通用对话框1), nullptr) << "the dialog control has no window";
}

TEST_F(MainWindowLayout, StackingOrderIsCreationOrderFirstOnTop) {
  const ControlRef order[] = {按钮1, 透明标签_停止信息, 选择框_Url, 选择框_Channel, 选择框_User,
                              透明标签_获取信息, 超级列表框_视频, 按钮_获取_停止, 编辑框_用户名, 透明标签1};
  std::vector<HWND> expected, actual;
  for (const ControlRef& r : order) expected.push_back(handle_of(r));
  for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) actual.push_back(c);
  EXPECT_EQ(actual, expected);
}

TEST_F(MainWindowLayout, TabMovesThroughTheTabStopsInCreationOrder) {
  const ControlRef stops[] = {按钮1, 选择框_Url, 选择框_Channel, 选择框_User, 超级列表框_视频, 按钮_获取_停止, 编辑框_用户名};
  HWND at = handle_of(stops[0]);
  for (size_t i = 1; i <= std::size(stops); ++i) {
    at = GetNextDlgTabItem(hwnd, at, FALSE);
    EXPECT_EQ(at, handle_of(stops[i % std::size(stops)])) << "after stop " << i - 1;
  }
}

TEST_F(MainWindowLayout, WindowIsCentredWithFixedFrameAndNoMaximizeBox) {
  RECT rc;
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc.right - rc.left, 700);
  EXPECT_EQ(rc.bottom - rc.top, 436);
  EXPECT_EQ(rc.left, (GetSystemMetrics(SM_CXSCREEN) - 700) / 2) << "the stored left 50 is not used";
  EXPECT_EQ(rc.top, (GetSystemMetrics(SM_CYSCREEN) - 436) / 2) << "the stored top 50 is not used";
  EXPECT_EQ(get_int_property(主窗口, PROP_LEFT), rc.left);
  EXPECT_EQ(get_int_property(主窗口, PROP_WIDTH), 700);

  LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_CHILD);
  LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
  EXPECT_FALSE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(ex & WS_EX_APPWINDOW);
  EXPECT_EQ(window_text(hwnd), "Clipdex视频地址批量获取工具 v1.0");
  EXPECT_FALSE(IsIconic(hwnd));
  EXPECT_FALSE(IsZoomed(hwnd));

  // The frame offers no sizing edge: hit tests on the border find no handle.
  const POINT edges[] = {{rc.left + 1, (rc.top + rc.bottom) / 2},
                         {rc.right - 2, (rc.top + rc.bottom) / 2},
                         {(rc.left + rc.right) / 2, rc.bottom - 2},
                         {rc.right - 2, rc.bottom - 2}};
  for (const POINT& p : edges) {
    LRESULT hit = SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    EXPECT_TRUE(hit < HTSIZEFIRST || hit > HTSIZELAST) << "hit " << hit << " at " << p.x << "," << p.y;
  }
  HMENU sys = GetSystemMenu(hwnd, FALSE);
  ASSERT_NE(sys, nullptr);
  EXPECT_NE(GetMenuState(sys, SC_MOVE, MF_BYCOMMAND), UINT(-1)) << "the window can be moved";
}

TEST_F(MainWindowLayout, MinimizingAndRestoringKeepsEveryControl) {
  std::vector<RECT> before;
  for (const Place& p : kPlaces) before.push_back(rect_in_parent(handle_of(p.ref)));
  ShowWindow(hwnd, SW_MINIMIZE);
  EXPECT_TRUE(uitest::pump_until([&] { return IsIconic(hwnd) != FALSE; }, 5000));
  ShowWindow(hwnd, SW_RESTORE);
  EXPECT_TRUE(uitest::pump_until([&] { return IsIconic(hwnd) == FALSE; }, 5000));
  ASSERT_TRUE(uitest::pump_queued());
  for (size_t i = 0; i < std::size(kPlaces); ++i) {
    RECT after = rect_in_parent(handle_of(kPlaces[i].ref));
    EXPECT_TRUE(EqualRect(&after, &before[i])) << kPlaces[i].name;
    EXPECT_EQ(IsWindowVisible(handle_of(kPlaces[i].ref)) != 0, kPlaces[i].visible) << kPlaces[i].name;
  }
}

TEST_F(MainWindowLayout, MenuBarHoldsOneMenuWithSiteAndUpdateItems) {
  HMENU bar = GetMenu(hwnd);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  char text[64] = {0};
  GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "菜单");
  HMENU menu = GetSubMenu(bar, 0);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 2);
  const char* captions[] = {"官方网站", "检查更新"};
  for (int i = 0; i < 2; ++i) {
    GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, captions[i]);
    UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
    EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED | MF_CHECKED)) << captions[i];
    EXPECT_EQ(GetSubMenu(menu, i), nullptr);
  }
}

TEST_F(MainWindowLayout, IconIsSixtyFourPixelsThirtyTwoBitsWithAlpha) {
  HICON icon = reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP bm{};
  GetObjectA(info.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 64);
  EXPECT_EQ(bm.bmHeight, 64);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  EXPECT_NE(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(MainWindowLayout, BackgroundIsWhite) {
  // Between the list and the export button, and right of the export button.
  auto gaps = [](const uitest::Capture& shot) { return std::vector<RECT>{{10, 356, 590, 390}, {684, 356, shot.width, 390}}; };
  auto white = [](uint32_t p) { return p == 0xFFFFFF; };
  auto all_white = [&](const uitest::Capture& shot) {
    for (const RECT& g : gaps(shot))
      if (uitest::count_pixels(shot, g, white) != (g.right - g.left) * (g.bottom - g.top)) return false;
    return true;
  };
  uitest::Capture shot = uitest::capture_when(hwnd, all_white);
  ASSERT_GT(shot.width, 0);
  for (const RECT& g : gaps(shot)) EXPECT_EQ(uitest::count_pixels(shot, g, white), (g.right - g.left) * (g.bottom - g.top));
}

TEST_F(MainWindowLayout, LabelsDrawWithTheirOwnArialNarrowFontOthersWithTheDefaultGuiFont) {
  for (const ControlRef& label : {透明标签1, 透明标签_获取信息, 透明标签_停止信息}) {
    HWND c = handle_of(label);
    EXPECT_TRUE(GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_EQ(GetClassLongPtrA(c, GCLP_HBRBACKGROUND), 0) << "no background brush";
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTA lf{};
    GetObjectA(font, sizeof lf, &lf);
    EXPECT_STREQ(lf.lfFaceName, "Arial Narrow");
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(lf.lfOutPrecision, OUT_DEFAULT_PRECIS);
    EXPECT_EQ(lf.lfClipPrecision, CLIP_DEFAULT_PRECIS);
    EXPECT_EQ(lf.lfQuality, PROOF_QUALITY);
    EXPECT_EQ(lf.lfPitchAndFamily, DEFAULT_PITCH | FF_DONTCARE);
    EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
  }
  HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);
  for (const ControlRef& other : {编辑框_用户名, 选择框_User, 选择框_Channel, 选择框_Url, 按钮_获取_停止, 按钮1, 超级列表框_视频})
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(handle_of(other), WM_GETFONT, 0, 0)), gui) << other.control;
  EXPECT_EQ(get_text_property(透明标签1, LABEL_CAPTION), "用户名/链接");
  EXPECT_EQ(get_int_property(透明标签1, uitest::LABEL_H_ALIGN), ALIGN_NEAR);
  EXPECT_EQ(get_int_property(透明标签_获取信息, uitest::LABEL_H_ALIGN), ALIGN_CENTRE);
  EXPECT_EQ(get_int_property(透明标签_停止信息, uitest::LABEL_H_ALIGN), ALIGN_CENTRE);
}

TEST_F(MainWindowLayout, EditBoxIsSingleLineScrollingWithSimpleBorderAndCaretAtStart) {
  HWND e = handle_of(编辑框_用户名);
  char cls[32] = {0};
  GetClassNameA(e, cls, sizeof cls);
  EXPECT_STREQ(cls, "Edit");
  LONG style = GetWindowLongA(e, GWL_STYLE);
  EXPECT_TRUE(style & ES_AUTOHSCROLL);
  EXPECT_FALSE(style & (ES_MULTILINE | ES_PASSWORD | ES_READONLY | ES_UPPERCASE | ES_LOWERCASE | ES_NOHIDESEL |
                        ES_CENTER | ES_RIGHT | ES_NUMBER));
  EXPECT_FALSE(GetWindowLongA(e, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  // The edit control draws the simple border itself: one dark pixel line
  // around the box, white right inside it (no sunken double edge).
  RECT rc = rect_in_parent(e);
  auto dark = [](uint32_t p) { return (p & 0xFF) < 160 && ((p >> 8) & 0xFF) < 160 && ((p >> 16) & 0xFF) < 160; };
  int mid_x = (rc.left + rc.right) / 2, mid_y = (rc.top + rc.bottom) / 2;
  uitest::Capture shot = uitest::capture_when(hwnd, [&](const uitest::Capture& c) {
    return dark(c.at(mid_x, rc.top)) && dark(c.at(mid_x, rc.bottom - 1)) && dark(c.at(rc.left, mid_y)) &&
           dark(c.at(rc.right - 1, mid_y));
  });
  ASSERT_GT(shot.width, 0);
  EXPECT_TRUE(dark(shot.at(mid_x, rc.top)));
  EXPECT_TRUE(dark(shot.at(mid_x, rc.bottom - 1)));
  EXPECT_TRUE(dark(shot.at(rc.left, mid_y)));
  EXPECT_TRUE(dark(shot.at(rc.right - 1, mid_y)));
  EXPECT_EQ(shot.at(mid_x, rc.top + 1), 0xFFFFFFu);
  EXPECT_EQ(shot.at(rc.left + 1, mid_y), 0xFFFFFFu);
  EXPECT_EQ(shot.at(mid_x, rc.top - 1), 0xFFFFFFu) << "nothing drawn outside the box";
  DWORD start = 1, end = 1;
  SendMessageA(e, EM_GETSEL, WPARAM(&start), LPARAM(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 0u);
  EXPECT_GE(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "no limit of its own";
  EXPECT_EQ(window_text(e), "");
  expect_black_on_white(WM_CTLCOLOREDIT, e);
}

TEST_F(MainWindowLayout, CheckBoxesToggleThemselvesBlackOnWhiteOnlyUserChecked) {
  struct Box {
    ControlRef ref;
    const char* caption;
    bool checked;
  } boxes[] = {{选择框_User, "User", true}, {选择框_Channel, "Channel", false}, {选择框_Url, "Url", false}};
  for (const Box& b : boxes) {
    SCOPED_TRACE(b.caption);
    HWND c = handle_of(b.ref);
    LONG style = GetWindowLongA(c, GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_FALSE(style & (BS_PUSHLIKE | BS_FLAT | BS_LEFTTEXT | BS_RIGHT));
    EXPECT_EQ(style & BS_VCENTER, BS_VCENTER);
    EXPECT_TRUE(style & BS_MULTILINE);
    EXPECT_EQ(window_text(c), b.caption);
    EXPECT_EQ(SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED, b.checked);
    EXPECT_EQ(get_bool_property(b.ref, CHECKBOX_CHECKED), b.checked);
    expect_black_on_white(WM_CTLCOLORSTATIC, c);
  }
}

TEST_F(MainWindowLayout, PushButtonsAreNormalCentredButtons) {
  struct Button {
    ControlRef ref;
    const char* caption;
  } buttons[] = {{按钮_获取_停止, "获取"}, {按钮1, "导出"}};
  for (const Button& b : buttons) {
    HWND c = handle_of(b.ref);
    LONG style = GetWindowLongA(c, GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << b.caption << ": not the default button";
    EXPECT_EQ(style & BS_CENTER, BS_CENTER);
    EXPECT_EQ(style & BS_VCENTER, BS_VCENTER);
    EXPECT_EQ(window_text(c), b.caption);
    EXPECT_EQ(get_text_property(b.ref, BUTTON_CAPTION), b.caption);
  }
}

TEST_F(MainWindowLayout, ListIsAReportWithThreeLeftAlignedColumnsAndNoRows) {
  HWND lv = handle_of(超级列表框_视频);
  LONG style = GetWindowLongA(lv, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(style & WS_BORDER);
  EXPECT_FALSE(style & (LVS_NOSORTHEADER | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | LVS_EDITLABELS | LVS_SORTASCENDING |
                        LVS_SORTDESCENDING | LVS_OWNERDATA));
  EXPECT_FALSE(GetWindowLongA(lv, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  DWORD ex = DWORD(SendMessageA(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  DWORD wanted = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_SUBITEMIMAGES;
  EXPECT_EQ(ex & wanted, wanted);
  EXPECT_FALSE(ex & (LVS_EX_HEADERDRAGDROP | LVS_EX_CHECKBOXES | LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE |
                     LVS_EX_UNDERLINEHOT | LVS_EX_FLATSB));
  EXPECT_EQ(COLORREF(SendMessageA(lv, LVM_GETTEXTCOLOR, 0, 0)), RGB(0, 0, 0));
  EXPECT_EQ(COLORREF(SendMessageA(lv, LVM_GETTEXTBKCOLOR, 0, 0)), RGB(255, 255, 255));
  EXPECT_EQ(COLORREF(SendMessageA(lv, LVM_GETBKCOLOR, 0, 0)), RGB(255, 255, 255));
  for (int which : {LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE})
    EXPECT_EQ(SendMessageA(lv, LVM_GETIMAGELIST, which, 0), 0) << which;

  HWND header = reinterpret_cast<HWND>(SendMessageA(lv, LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  EXPECT_TRUE(IsWindowVisible(header));
  EXPECT_TRUE(GetWindowLongA(header, GWL_STYLE) & HDS_BUTTONS) << "header items can be pressed";
  ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3);
  struct Column {
    const char* caption;
    int width;
  } columns[] = {{"ID", 50}, {"视频名称", 150}, {"视频链接", 410}};
  for (int i = 0; i < 3; ++i) {
    char text[64] = {0};
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.pszText = text;
    col.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(lv, LVM_GETCOLUMNA, i, LPARAM(&col)));
    EXPECT_STREQ(text, columns[i].caption);
    EXPECT_EQ(col.cx, columns[i].width);
    EXPECT_EQ(col.fmt & (LVCFMT_JUSTIFYMASK | LVCFMT_IMAGE | LVCFMT_BITMAP_ON_RIGHT), LVCFMT_LEFT) << i;
  }
  EXPECT_EQ(list_row_count(超级列表框_视频), 0);
  EXPECT_EQ(SendMessageA(lv, LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

}  // namespace
}  // namespace cx
