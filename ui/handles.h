// Owners of the window layer's platform resources: one alias of the owner
// template per kind of handle, and scope guards for device contexts.
#pragma once

#include <windows.h>

#include "services/owned.h"

namespace cx {

inline void release_gdi_font(HFONT h) { DeleteObject(h); }
inline void release_gdi_brush(HBRUSH h) { DeleteObject(h); }
inline void release_icon(HICON h) { DestroyIcon(h); }
inline void release_menu(HMENU h) { DestroyMenu(h); }
inline void release_gdi_region(HRGN h) { DeleteObject(h); }

using FontHandle = Owned<HFONT, release_gdi_font>;
using BrushHandle = Owned<HBRUSH, release_gdi_brush>;
using IconHandle = Owned<HICON, release_icon>;
using MenuHandle = Owned<HMENU, release_menu>;
using RegionHandle = Owned<HRGN, release_gdi_region>;

// A window's device context for the length of a scope.
class WindowDC {
 public:
  explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// An object selected into a device context for the length of a scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
  ~Selection() {
    if (old_) SelectObject(dc_, old_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// BeginPaint / EndPaint.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
  ~PaintScope() { EndPaint(hwnd_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

}  // namespace cx
