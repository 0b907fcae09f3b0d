// A program that ends itself in one of several ways, for the tests of the
// end of the program and of run-time errors. It prints what its end
// routines do and the text of any message box it shows (which a responder
// thread then closes), so that the test can compare.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/program.h"
#include "services/runtime.h"
#include "tests/support/win_probe.h"
#include "ui/access.h"
#include "ui/definition.h"
#include "ui/registry.h"
#include "ui/message_loop.h"
#include "ui/main_window.h"
#include "web/read_url.h"

namespace {

using namespace cx;

void say(const char* s) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s, DWORD(std::strlen(s)), &written, nullptr);
}

// Reports and closes every message box from a thread of its own, for the
// whole life of the process (which ends without waiting for it).
void answer_message_boxes() {
  probe::BoxOptions options;
  options.look = [](HWND box) {
    say("box:");
    say(probe::window_text(GetDlgItem(box, 0xFFFF)).c_str());
    say("\n");
  };
  static probe::BoxResponder* responder = new probe::BoxResponder({IDOK}, options);
  (void)responder;
}

DWORD WINAPI end_with_five(void*) { end_program(5); }

int32_t on_destroyed_end() {
  say("destroyed\n");
  end_program(0);
}
int32_t on_destroyed_say() {
  say("destroyed\n");
  return 1;
}

constexpr uint32_t kProbeWindow = 0x7E000100;
constexpr uint32_t kHiddenMenuItem = 0x00010002;
constexpr EventBinding kEvents[] = {{2, 0}};
const ItemDef kItems[] = {
    {0x00010001, TAG_MENU, "", 0, 0, 0, 0, ITEM_VISIBLE, {}, MenuDef{"Menu", 0, -1}},
    {kHiddenMenuItem, TAG_MENU, "", 0, 0, 0, 0, 0, {}, MenuDef{"Hidden", 0x00010001, -1}},
    {0x00020001, TAG_BUTTON, "b", 10, 10, 80, 24, ITEM_VISIBLE, {},
     ButtonDef{"probe", false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}},
};
const WindowDef kWindow{kProbeWindow, "probe", 10, 10, 200, 120, ITEM_VISIBLE, BORDER_FIXED_SINGLE, true, true,
                        false, true, false, true, 0xFFFFFF, START_STORED, START_NORMAL, {}, kEvents, kItems};

// Whether the URL reader's root handle is still open when the service
// releases run (registered after the program's own).
void report_reader_root() { say(read_url_root_handle() ? "root still open\n" : "root closed\n"); }

void first_routine() { say("first\n"); }
void second_routine() { say("second\n"); }
void release_routine() { say("release\n"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 98;
  std::string mode = argv[1];
  if (mode == "program-end") {
    // The program's own start-up, a reader root opened (a scheme the reader
    // does not speak: nothing goes over the network), then the end.
    program_startup();
    register_service_release(report_reader_root);
    read_url(Text::literal("ftp://127.0.0.1/nothing"));
    say(read_url_root_handle() ? "root opened\n" : "no root\n");
    end_program(0);
  }
  runtime_startup();
  registry_startup();
  register_window_definition(kWindow);
  answer_message_boxes();

  if (mode == "end") {
    EventHandler handlers[] = {on_destroyed_say};
    register_handlers(handlers, 1);
    register_end_routine(first_routine);
    register_end_routine(second_routine);
    register_service_release(release_routine);
    load_window(kProbeWindow);
    end_program(7);
  }
  if (mode == "close") {
    EventHandler handlers[] = {on_destroyed_end};
    register_handlers(handlers, 1);
    register_end_routine(first_routine);
    load_window(kProbeWindow);
    PostMessageA(static_cast<HWND>(window_handle(kProbeWindow)), WM_CLOSE, 0, 0);
    run_message_loop();
    say("loop returned\n");
    return 97;
  }
  if (mode == "other-thread") {
    register_end_routine(first_routine);
    load_window(kProbeWindow);
    HANDLE t = CreateThread(nullptr, 0, end_with_five, nullptr, 0, nullptr);
    WaitForSingleObject(t, 20000);
    return 96;
  }
  if (mode == "load-missing") load_window(0x12345678);
  if (mode == "event-no-window") {
    EventRecord ev{0x12345678, 0, 0, 0, nullptr, false, 0};
    deliver_event(ev);
  }
  if (mode == "event-no-item") {
    EventRecord ev{MAIN_WINDOW_ID, 0x777, 0, 0, nullptr, false, 0};
    deliver_event(ev);
  }
  if (mode == "event-invalid") {
    EventRecord ev{MAIN_WINDOW_ID, ID_DIALOG, 0, 0, nullptr, false, 0};
    deliver_event(ev);
  }
  if (mode == "property-no-window") get_property(ControlRef{0x12345678, 1, TAG_BUTTON}, PROP_LEFT);
  if (mode == "property-missing-item") {
    load_window(MAIN_WINDOW_ID);
    get_property(ControlRef{MAIN_WINDOW_ID, 0x777, TAG_BUTTON}, PROP_LEFT);
  }
  // A window that is registered but not loaded is not read or written
  // silently, whatever the number.
  if (mode == "property-not-loaded") get_property(按钮1, BUTTON_CAPTION);
  if (mode == "property-common-not-loaded") get_property(按钮1, PROP_LEFT);
  if (mode == "property-write-not-loaded") set_property(按钮1, PROP_VISIBLE, cell_bool(true));
  if (mode == "property-window-not-loaded") get_property(主窗口, PROP_TOP);
  if (mode == "property-after-destroy") {
    load_window(MAIN_WINDOW_ID);
    if (cell_as_int(get_property(按钮1, PROP_LEFT)) != 600) return 95;
    DestroyWindow(static_cast<HWND>(window_handle(MAIN_WINDOW_ID)));
    get_property(按钮1, PROP_LEFT);
  }
  // Loaded window, entry without a live part of its own.
  if (mode == "property-hidden-menu-entry") {
    load_window(kProbeWindow);
    get_property(ControlRef{kProbeWindow, kHiddenMenuItem, TAG_MENU}, 0);
  }
  if (mode == "list-not-loaded") list_row_count(超级列表框_视频);
  if (mode == "dialog-not-loaded") show_common_dialog(通用对话框1);
  if (mode == "list-wrong-kind") {
    load_window(MAIN_WINDOW_ID);
    list_row_count(ControlRef{MAIN_WINDOW_ID, ID_EXPORT_BUTTON, TAG_LISTVIEW});
  }
  say("still running\n");
  return 99;
}
