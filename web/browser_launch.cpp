#include "web/browser_launch.h"

#include <windows.h>
#include <shellapi.h>

namespace cx::web {

namespace {
BrowserLaunchObserver g_observer = nullptr;
}  // namespace

void open_in_browser(const char* address) {
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  if (g_observer) g_observer(owner, address);
  ShellExecuteA(owner, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void set_browser_launch_observer(BrowserLaunchObserver observer) { g_observer = observer; }

}  // namespace cx::web
