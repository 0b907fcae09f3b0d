// A window of this thread captioned as the browser's main window: the program
// looks it up and hands it to the shell as the owner of the pages it opens.
#pragma once

#include <windows.h>

namespace probe {

class FakeBrowserWindow {
 public:
  FakeBrowserWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CxFakeBrowserWindow";
    RegisterClassA(&wc);  // fails harmlessly when an earlier window registered it
    window_ = CreateWindowExA(0, wc.lpszClassName, "Microsoft Internet Explorer", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~FakeBrowserWindow() {
    if (window_) DestroyWindow(window_);
  }
  FakeBrowserWindow(const FakeBrowserWindow&) = delete;
  FakeBrowserWindow& operator=(const FakeBrowserWindow&) = delete;

  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

}  // namespace probe
