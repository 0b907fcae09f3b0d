// Events from the live window to the handlers: clicks and their order,
// suppression while a window is built, nesting at pumping points, the
// start-up events, close requests, destruction and the message loop.
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

// A small window of the tests' own: a button, a check box and a dialog
// control, with every window event bound to its own slot.
constexpr uint32_t kTestWindow = 0x7E000001;
constexpr uint32_t kSecondWindow = 0x7E000002;
constexpr uint32_t kButton = 0x00020001, kBox = 0x00020002, kDialog = 0x00020003, kMenu = 0x00010001;
enum TestSlot : int32_t {
  S_CREATED = 10, S_EVENT3, S_EVENT4, S_DESTROYED, S_CLOSE12, S_CLOSE1, S_BUTTON, S_BOX, S_MENU,
  S2_CREATED, S2_BUTTON,
};

constexpr EventBinding kWindowEvents[] = {{0, S_CREATED}, {3, S_EVENT3}, {4, S_EVENT4},
                                          {2, S_DESTROYED}, {12, S_CLOSE12}, {1, S_CLOSE1}};
constexpr EventBinding kButtonEvents[] = {{0, S_BUTTON}};
constexpr EventBinding kBoxEvents[] = {{0, S_BOX}};
const ItemDef kItems[] = {
    {kMenu, TAG_MENU, "", 0, 0, 0, 0, ITEM_VISIBLE, {}, MenuDef{"Go", 0, S_MENU}},
    {kButton, TAG_BUTTON, "b", 10, 10, 80, 24, ITEM_VISIBLE | ITEM_TABSTOP, kButtonEvents,
     ButtonDef{"Button", false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}},
    {kBox, TAG_CHECKBOX, "c", 10, 40, 80, 24, ITEM_VISIBLE | ITEM_TABSTOP, kBoxEvents,
     CheckBoxDef{"Box", false, false, false, false, true, ALIGN_NEAR, ALIGN_CENTRE, 0, 0xFFFFFF, nullptr}},
    {kDialog, TAG_COMMON_DIALOG, "d", 0, 0, 0, 0, 0, {}, DialogDef{0, "", "", "", 0, "", "", 0}},
};
const WindowDef kWindow{kTestWindow, "events", 20, 20, 300, 200, ITEM_VISIBLE, BORDER_FIXED_SINGLE, true, true,
                        false, true, false, true, 0xFFFFFF, START_STORED, START_NORMAL, {}, kWindowEvents, kItems};

constexpr EventBinding kSecondEvents[] = {{0, S2_CREATED}};
constexpr EventBinding kSecondButtonEvents[] = {{0, S2_BUTTON}};
const ItemDef kSecondItems[] = {
    {kButton, TAG_BUTTON, "b", 10, 10, 80, 24, ITEM_VISIBLE, kSecondButtonEvents,
     ButtonDef{"Second", false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}},
};
const WindowDef kSecond{kSecondWindow, "second", 340, 20, 300, 200, ITEM_VISIBLE, BORDER_FIXED_SINGLE, true, true,
                        false, true, false, true, 0xFFFFFF, START_STORED, START_NORMAL, {}, kSecondEvents,
                        kSecondItems};

class Events : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(register_window_definition(kWindow));
    ASSERT_TRUE(register_window_definition(kSecond));
  }
};

const ControlRef kTestButton{kTestWindow, kButton, TAG_BUTTON};
const ControlRef kTestBox{kTestWindow, kBox, TAG_CHECKBOX};

// --- clicks -------------------------------------------------------------------

TEST_F(Events, CheckBoxHasToggledBeforeItsClickHandlerRuns) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  struct Click {
    ControlRef box;
    int slot;
    bool seen_by_handler;  // the box's state while its handler runs
  } clicks[] = {
      {选择框_User, H_OPTION_USER_CLICKED, false},  // was checked: now unchecked
      {选择框_Channel, H_OPTION_CHANNEL_CLICKED, true},
      {选择框_Url, H_OPTION_URL_CLICKED, true},
      {选择框_User, H_OPTION_USER_CLICKED, true},
      {选择框_Url, H_OPTION_URL_CLICKED, false},
  };
  for (const Click& c : clicks) {
    bool seen = !c.seen_by_handler;
    recorder().calls.clear();
    recorder().action[c.slot] = [&] { seen = get_bool_property(c.box, CHECKBOX_CHECKED); };
    SendMessageA(handle_of(c.box), BM_CLICK, 0, 0);
    EXPECT_EQ(recorder().calls, std::vector<int>{c.slot}) << c.box.control;
    EXPECT_EQ(seen, c.seen_by_handler) << c.box.control;
  }
  // Checking one box did not uncheck the others: the handlers decide that.
  EXPECT_TRUE(get_bool_property(选择框_User, CHECKBOX_CHECKED));
  EXPECT_TRUE(get_bool_property(选择框_Channel, CHECKBOX_CHECKED));
  EXPECT_FALSE(get_bool_property(选择框_Url, CHECKBOX_CHECKED));
}

TEST_F(Events, WritingCheckedChangesTheMarkWithoutAClick) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  recorder().calls.clear();
  for (bool v : {true, false, true}) {
    set_bool_property(选择框_Url, CHECKBOX_CHECKED, v);
    EXPECT_TRUE(uitest::pump_until(
        [&] { return (SendMessageA(handle_of(选择框_Url), BM_GETCHECK, 0, 0) == BST_CHECKED) == v; }, 5000))
        << v;
  }
  set_property(选择框_User, CHECKBOX_CHECKED, cell_int(0));
  EXPECT_FALSE(get_bool_property(选择框_User, CHECKBOX_CHECKED));
  ASSERT_TRUE(uitest::pump_queued()) << "any click the writes queued has been handled";
  EXPECT_TRUE(recorder().calls.empty());
}

TEST_F(Events, ButtonsAndMenuItemsReachTheirBoundHandlers) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  recorder().calls.clear();
  SendMessageA(handle_of(按钮_获取_停止), BM_CLICK, 0, 0);
  SendMessageA(handle_of(按钮1), BM_CLICK, 0, 0);
  HMENU menu = GetSubMenu(GetMenu(main), 0);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(menu, 0), 0), 0);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(menu, 1), 0), 0);
  uitest::pump_until([] { return recorder().calls.size() >= 4; }, 2000);
  std::vector<int> expected = {H_FETCH_STOP_CLICKED, H_EXPORT_LIST, H_OPEN_MAKER_SITE, H_CHECK_FOR_UPDATE};
  EXPECT_EQ(recorder().calls, expected);
}

TEST_F(Events, ControlsWithoutBindingsRaiseNothing) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  recorder().calls.clear();
  HWND edit = handle_of(编辑框_用户名);
  SetFocus(edit);
  SendMessageA(edit, WM_CHAR, 'a', 0);
  set_text_property(编辑框_用户名, EDIT_CONTENT, Text::copy("typed"));
  HWND list = handle_of(超级列表框_视频);
  list_insert_row(超级列表框_视频, -1, Text::copy("0"));
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
  SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(20, 30));
  ASSERT_TRUE(uitest::pump_queued()) << "whatever the input queued has been handled";
  EXPECT_TRUE(recorder().calls.empty());
}

// --- suppression and nesting ------------------------------------------------

TEST_F(Events, ClicksHandledWhileAWindowIsBuiltReachNoHandler) {
  ASSERT_NE(open(kTestWindow), nullptr);
  recorder().calls.clear();
  // Queued clicks on the open window are handled by the pumping step of
  // the next window's build, while events are suppressed.
  PostMessageA(handle_of(kTestBox), BM_CLICK, 0, 0);
  PostMessageA(handle_of(kTestButton), BM_CLICK, 0, 0);
  ASSERT_NE(open(kSecondWindow), nullptr);
  EXPECT_TRUE(get_bool_property(kTestBox, CHECKBOX_CHECKED)) << "the click itself happened";
  EXPECT_EQ(recorder().count(S_BOX), 0);
  EXPECT_EQ(recorder().count(S_BUTTON), 0);
  EXPECT_EQ(recorder().count(S2_CREATED), 1) << "the created event comes after the build";
  EXPECT_EQ(event_suppression(), 0);

  SendMessageA(handle_of(kTestButton), BM_CLICK, 0, 0);
  EXPECT_EQ(recorder().count(S_BUTTON), 1) << "after the build events flow again";
}

TEST_F(Events, SuppressionCounterStopsEveryDelivery) {
  ASSERT_NE(open(kTestWindow), nullptr);
  recorder().calls.clear();
  ++event_suppression();
  SendMessageA(handle_of(kTestButton), BM_CLICK, 0, 0);
  EventRecord ev{kTestWindow, 0, 12, 0, nullptr, true, 1};
  EXPECT_EQ(deliver_event(ev), 1);
  --event_suppression();
  EXPECT_TRUE(recorder().calls.empty());
  SendMessageA(handle_of(kTestButton), BM_CLICK, 0, 0);
  EXPECT_EQ(recorder().calls, std::vector<int>{S_BUTTON});
}

TEST_F(Events, ClickArrivingAtAPumpingPointRunsNestedInsideTheRunningHandler) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  recorder().calls.clear();
  std::vector<std::string> trace;
  int depth = 0;
  recorder().action[H_FETCH_STOP_CLICKED] = [&] {
    trace.push_back("fetch begins at depth " + std::to_string(depth));
    ++depth;
    PostMessageA(handle_of(按钮1), BM_CLICK, 0, 0);
    // Long work that hands control over once, as the tile loop does.
    process_events();
    --depth;
    trace.push_back("fetch ends");
  };
  recorder().action[H_EXPORT_LIST] = [&] { trace.push_back("export at depth " + std::to_string(depth)); };
  PostMessageA(handle_of(按钮_获取_停止), BM_CLICK, 0, 0);
  uitest::pump_until([&] { return trace.size() >= 3; }, 2000);
  std::vector<std::string> expected = {"fetch begins at depth 0", "export at depth 1", "fetch ends"};
  EXPECT_EQ(trace, expected);
}

TEST_F(Events, HandlerAskingForAResultGetsItStoredOnlyWhenExpected) {
  ASSERT_NE(open(kTestWindow), nullptr);
  struct Case {
    bool expects;
    int32_t handler_result;
    int32_t stored;
  } cases[] = {{true, 0, 0}, {true, 1, 1}, {true, 7, 1}, {false, 0, 5}};
  for (const Case& c : cases) {
    recorder().result[S_CLOSE12] = c.handler_result;
    EventRecord ev{kTestWindow, 0, 12, 0, nullptr, c.expects, 5};
    deliver_event(ev);
    EXPECT_EQ(ev.result, c.stored) << c.expects << " " << c.handler_result;
  }
  EventRecord unbound{kTestWindow, kButton, 7, 0, nullptr, true, 3};
  recorder().calls.clear();
  EXPECT_EQ(deliver_event(unbound), 3) << "an unbound event is dropped";
  EXPECT_TRUE(recorder().calls.empty());
}

// --- start-up, closing, destruction -------------------------------------------

TEST_F(Events, CreatedEventRunsBeforeTheWindowIsShownThenEventsThreeAndFour) {
  std::vector<std::string> seen;
  auto visibility = [&](const char* what) {
    HWND w = static_cast<HWND>(window_handle(kTestWindow));
    seen.push_back(std::string(what) + (w && IsWindowVisible(w) ? " shown" : " hidden") +
                   (handle_of(kTestBox) ? " with controls" : " without controls"));
  };
  recorder().action[S_CREATED] = [&] { visibility("created"); };
  recorder().action[S_EVENT3] = [&] { visibility("3"); };
  recorder().action[S_EVENT4] = [&] { visibility("4"); };
  HWND w = open(kTestWindow);
  ASSERT_NE(w, nullptr);
  std::vector<std::string> expected = {"created hidden with controls", "3 hidden with controls",
                                       "4 hidden with controls"};
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(Events, WindowClosedByItsCreatedHandlerIsNeitherShownNorGivenEventsThreeAndFour) {
  recorder().action[S_CREATED] = [] { DestroyWindow(static_cast<HWND>(window_handle(kTestWindow))); };
  open(kTestWindow);
  EXPECT_FALSE(window_is_open(kTestWindow));
  EXPECT_EQ(recorder().count(S_EVENT3), 0);
  EXPECT_EQ(recorder().count(S_EVENT4), 0);
  EXPECT_EQ(recorder().count(S_DESTROYED), 1);
}

TEST_F(Events, LoadingAnOpenWindowRestoresItInsteadOfBuildingAgain) {
  HWND w = open(kTestWindow);
  ASSERT_NE(w, nullptr);
  ShowWindow(w, SW_MINIMIZE);
  ASSERT_TRUE(uitest::pump_until([&] { return IsIconic(w) != FALSE; }, 5000));
  recorder().calls.clear();
  load_window(kTestWindow);
  EXPECT_TRUE(uitest::pump_until([&] { return IsIconic(w) == FALSE; }, 5000));
  ASSERT_TRUE(uitest::pump_queued());
  EXPECT_EQ(window_handle(kTestWindow), w);
  EXPECT_EQ(recorder().count(S_CREATED), 0);
}

TEST_F(Events, CloseRequestAsksTwelveThenOneAndEitherMayRefuse) {
  struct Case {
    int32_t r12, r1;
    std::vector<int> asked;
    bool closed;
  } cases[] = {
      {0, 1, {S_CLOSE12}, false},
      {1, 0, {S_CLOSE12, S_CLOSE1}, false},
      {1, 1, {S_CLOSE12, S_CLOSE1, S_DESTROYED}, true},
  };
  for (const Case& c : cases) {
    HWND w = open(kTestWindow);
    ASSERT_NE(w, nullptr);
    recorder().calls.clear();
    recorder().result[S_CLOSE12] = c.r12;
    recorder().result[S_CLOSE1] = c.r1;
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(recorder().calls, c.asked) << c.r12 << c.r1;
    EXPECT_EQ(!IsWindow(w), c.closed);
    EXPECT_EQ(!window_is_open(kTestWindow), c.closed);
    if (IsWindow(w)) DestroyWindow(w);
  }
}

TEST_F(Events, DestroyingTheMainWindowRaisesItsDestroyedEvent) {
  HWND main = open(MAIN_WINDOW_ID);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(recorder().count(H_MAIN_WINDOW_CREATED), 1);
  recorder().calls.clear();
  PostMessageA(main, WM_CLOSE, 0, 0);
  uitest::pump_until([&] { return !IsWindow(main); }, 2000);
  EXPECT_EQ(recorder().calls, std::vector<int>{H_MAIN_WINDOW_DESTROYED});
  EXPECT_FALSE(window_is_open(MAIN_WINDOW_ID));
}

// --- the message loop ---------------------------------------------------------

// Runs the message loop; a guard ends it after ms so that no test can hang.
// True when the loop returned by itself.
bool run_loop_within(int ms) {
  std::atomic<bool> forced{false};
  HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD thread = GetCurrentThreadId();
  uitest::Thread guard([&] {
    if (WaitForSingleObject(returned, DWORD(ms)) != WAIT_OBJECT_0) {
      forced = true;
      PostThreadMessageA(thread, WM_QUIT, 0, 0);
    }
  });
  run_message_loop();
  SetEvent(returned);
  guard.join();
  CloseHandle(returned);
  return !forced;
}

TEST_F(Events, MessageLoopReturnsAtOnceWithoutAnOpenWindow) {
  ASSERT_FALSE(window_is_open(kTestWindow));
  ASSERT_FALSE(window_is_open(MAIN_WINDOW_ID));
  EXPECT_TRUE(run_loop_within(2000));
}

std::vector<std::string>* g_idle_log = nullptr;

bool idle_first(void*, int32_t count) {
  if (g_idle_log) g_idle_log->push_back("first " + std::to_string(count));
  return count < 2;
}
bool idle_second(void* window, int32_t count) {
  if (g_idle_log) g_idle_log->push_back("second " + std::to_string(count));
  if (count == 2) PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
  return count < 2;
}
// Closes its window at its first turn and wants no more.
bool idle_closer(void* window, int32_t count) {
  if (g_idle_log) g_idle_log->push_back("closer " + std::to_string(count));
  if (count == 0) PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
  return false;
}

TEST_F(Events, MessageLoopRunsIdleWorkNewestFirstAndEndsWithTheLastWindow) {
  HWND w = open(kTestWindow);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(uitest::pump_queued());
  std::vector<std::string> log;
  g_idle_log = &log;
  register_idle_work(w, idle_first);
  register_idle_work(w, idle_second);
  EXPECT_TRUE(run_loop_within(5000)) << "the loop ends when the last window has closed";
  EXPECT_FALSE(IsWindow(w));
  ASSERT_GE(log.size(), 6u);
  std::vector<std::string> first_phase(log.begin(), log.begin() + 6);
  std::vector<std::string> expected = {"second 0", "first 0", "second 1", "first 1", "second 2", "first 2"};
  EXPECT_EQ(first_phase, expected);

  // The window is gone, so its idle work is dropped: nothing of it runs in
  // the next loop, whose own idle work (the newest, run first) closes the
  // second window at its first turn.
  size_t before = log.size();
  HWND second = open(kSecondWindow);
  ASSERT_NE(second, nullptr);
  register_idle_work(second, idle_closer);
  EXPECT_TRUE(run_loop_within(5000));
  g_idle_log = nullptr;
  EXPECT_FALSE(IsWindow(second));
  std::vector<std::string> next_loop(log.begin() + std::ptrdiff_t(before), log.end());
  EXPECT_EQ(next_loop, std::vector<std::string>{"closer 0"}) << "only the open window's idle work ran";
}

}  // namespace
}  // namespace cx
