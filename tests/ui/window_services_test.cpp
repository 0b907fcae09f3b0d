// What the window layer adds to the runtime services and to loading a
// window: message boxes owned by a window named by reference, the keyboard
// handling of the message loop inside process_events, and the focus-gained
// event of the control that holds the focus once the window is shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "services/runtime.h"
#include "tests/ui/ui_support.h"
#include "ui/definition.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using uitest::handle_of;
using uitest::recorder;

Cell reference_cell(const ControlRef& ref) {
  Cell c{};
  c.tag = ref.kind;
  c.v.w.lo = ref.window;
  c.v.w.hi = ref.control;
  return c;
}

class WindowServices : public uitest::WindowTest {};

// --- message boxes ----------------------------------------------------------------

// Shows a message box from args while a responder presses button; owner is
// the box's owner window, text its message.
struct ShownBox {
  int32_t result = -1;
  size_t answered = 0;
  HWND owner = nullptr;
  std::string text;
};
ShownBox show_box(Cell* args, int argc, int button) {
  ShownBox shown;
  std::atomic<HWND> owner{nullptr};
  probe::BoxOptions options;
  options.look = [&](HWND box) { owner = GetWindow(box, GW_OWNER); };
  {
    probe::BoxResponder answer({button}, options);
    shown.result = message_box(args, argc);
    std::vector<probe::SeenBox> seen = answer.seen();
    shown.answered = seen.size();
    if (!seen.empty()) shown.text = seen.front().text;
  }
  shown.owner = owner.load();
  return shown;
}

TEST_F(WindowServices, MessageBoxNamingTheMainWindowIsOwnedByIt) {
  HWND hwnd = open(MAIN_WINDOW_ID);
  ASSERT_NE(hwnd, nullptr);
  Cell args[4] = {cell_text("有主的消息"), cell_int(1 /* OK and Cancel */), cell_absent(), reference_cell(主窗口)};
  ShownBox box = show_box(args, 4, IDCANCEL);
  ASSERT_EQ(box.answered, 1u);
  EXPECT_EQ(box.text, "有主的消息");
  EXPECT_EQ(box.owner, hwnd);
  EXPECT_EQ(box.result, 1) << "Cancel";
}

TEST_F(WindowServices, MessageBoxNamingAControlIsOwnedByItsWindow) {
  HWND hwnd = open(MAIN_WINDOW_ID);
  ASSERT_NE(hwnd, nullptr);
  Cell args[4] = {cell_text("按钮"), cell_int(0), cell_text("标题"), reference_cell(按钮1)};
  ShownBox box = show_box(args, 4, IDOK);
  EXPECT_EQ(box.result, 0);
  ASSERT_EQ(box.answered, 1u);
  // The system gives a box the top-level window of a child as its owner.
  EXPECT_EQ(box.owner, hwnd);
}

// A reference to a window that is not open is still a run-time error; each
// case ends its own process (see end_test.cpp for the probe that shows it).

// --- process_events -------------------------------------------------------------

// The main window in front with the focus in the edit box; the keys are
// posted as a keyboard would queue them, and process_events handles them.
class ProcessEventsKeys : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    HWND hwnd = open(MAIN_WINDOW_ID);
    ASSERT_NE(hwnd, nullptr);
    SetForegroundWindow(hwnd);
    ASSERT_TRUE(uitest::pump_until([&] { return IsWindowVisible(hwnd) != FALSE; }, 5000));
    ASSERT_TRUE(uitest::pump_queued());
    edit = handle_of(编辑框_用户名);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);
  }
  void press(WPARAM key, LPARAM scan_code) {
    PostMessageA(edit, WM_KEYDOWN, key, 0x00000001 | (scan_code << 16));
    PostMessageA(edit, WM_KEYUP, key, LPARAM(0xC0000001 | (scan_code << 16)));
    process_events();
  }
  HWND edit = nullptr;
};

TEST_F(ProcessEventsKeys, TabMovesTheFocusWhileProcessEventsPumps) {
  // A fetch run pumps with process_events, not with the message loop. The
  // edit box is the last tab stop: Tab goes round to the first, 按钮1.
  press(VK_TAB, 0x0F);
  EXPECT_EQ(GetFocus(), handle_of(按钮1)) << "Tab goes on to the next tab stop";
  EXPECT_EQ(get_text_property(编辑框_用户名, EDIT_CONTENT), "") << "no tab character typed into the box";
}

TEST_F(ProcessEventsKeys, ProcessEventsStillDispatchesOtherKeysToTheFocusedControl) {
  press('A', 0x1E);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(get_text_property(编辑框_用户名, EDIT_CONTENT), "a") << "the key was translated and typed";
}

// --- the focus once a window is shown ------------------------------------------------

constexpr uint32_t kFocusWindow = 0x7E000020;
constexpr uint32_t kEdit = 0x00020001, kButton = 0x00020002;
enum FocusSlot : int32_t { S_CREATED = 20, S_EDIT_FOCUS, S_BUTTON_FOCUS, S_BUTTON_CLICK };
constexpr EventBinding kWindowEvents[] = {{0, S_CREATED}};
constexpr EventBinding kEditEvents[] = {{EVENT_FOCUS_GAINED, S_EDIT_FOCUS}};
constexpr EventBinding kButtonEvents[] = {{0, S_BUTTON_CLICK}, {EVENT_FOCUS_GAINED, S_BUTTON_FOCUS}};
const ItemDef kItems[] = {
    {kEdit, TAG_EDIT, "e", 10, 10, 120, 24, ITEM_VISIBLE | ITEM_TABSTOP, kEditEvents,
     EditDef{"", false, true, false, false, '*', CASE_NONE, 0, true, true, ALIGN_NEAR, 0, 0, 0, 0xFFFFFF,
             nullptr}},
    {kButton, TAG_BUTTON, "b", 10, 44, 80, 24, ITEM_VISIBLE | ITEM_TABSTOP, kButtonEvents,
     ButtonDef{"Button", false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}},
};
const WindowDef kFocusDef{kFocusWindow, "focus", 40, 40, 260, 160, ITEM_VISIBLE, BORDER_FIXED_SINGLE, true, true,
                          false, true, false, true, 0xFFFFFF, START_STORED, START_NORMAL, {}, kWindowEvents, kItems};
const ControlRef kFocusButton{kFocusWindow, kButton, TAG_BUTTON};

class FocusAtLoad : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(register_window_definition(kFocusDef));
  }
};

TEST_F(FocusAtLoad, ControlHoldingTheFocusWhenTheWindowIsShownHearsOfIt) {
  // The created handler puts the focus on the button while the window is
  // still hidden.
  recorder().action[S_CREATED] = [] { SetFocus(static_cast<HWND>(window_handle(kFocusWindow, kButton))); };
  HWND hwnd = open(kFocusWindow);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(IsWindowVisible(hwnd));
  ASSERT_EQ(GetFocus(), handle_of(kFocusButton));
  EXPECT_EQ(recorder().calls, (std::vector<int>{S_CREATED, S_BUTTON_FOCUS}));
}

TEST_F(FocusAtLoad, FocusOutsideTheControlsRaisesNothing) {
  HWND hwnd = open(kFocusWindow);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(IsWindowVisible(hwnd));
  HWND focus = GetFocus();
  ASSERT_TRUE(focus == hwnd || !IsChild(hwnd, focus));
  EXPECT_EQ(recorder().calls, (std::vector<int>{S_CREATED}));
}

}  // namespace
}  // namespace cx
