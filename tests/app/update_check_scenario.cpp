// Runs one update check in a process of its own, as the program does at its
// start, and writes down what the user would have seen:
//   update_check_scenario REPORT
// REPORT lines (GBK, tab-separated):
//   box    <caption> <text> <1 when the window 更新程序 was open meanwhile>
//   call   <download address> <program path>   (the updater's entry was called)
// Every message box is answered with OK.
#include <windows.h>

#include <string>

#include "app/update_check.h"
#include "services/runtime.h"
#include "tests/support/win_probe.h"

namespace {

std::string g_report;

bool note_call(int32_t index, int argc, const cx::DeclArg* args, uintptr_t*) {
  if (index == cx::DECL_UPDATE_WINDOW && argc == 2)
    g_report += std::string("call\t") + reinterpret_cast<const char*>(args[0]) + "\t" +
                reinterpret_cast<const char*>(args[1]) + "\n";
  return false;  // the library itself is called all the same
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  cx::runtime_startup();
  cx::runtime_hooks().declared_function = note_call;
  std::vector<probe::SeenBox> boxes;
  {
    probe::BoxResponder responder({IDOK});
    cx::check_for_update();
    boxes = responder.seen();
  }
  for (const probe::SeenBox& b : boxes)
    g_report += "box\t" + b.caption + "\t" + b.text + "\t" + (b.updater_window_open ? "1" : "0") + "\n";
  return probe::write_file(argv[1], g_report) ? 0 : 1;
}
