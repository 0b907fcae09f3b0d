// Helpers of the live window tests: recording handlers, message pumping with
// time-outs, screen captures, PNG files and a responder for modal windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services/value.h"
#include "ui/access.h"
#include "ui/dispatch.h"

namespace uitest {

// Handlers that log their slot; a test may give a slot an action and a result.
constexpr int kSlots = 32;
struct Recorder {
  std::vector<int> calls;
  std::function<void()> action[kSlots];
  int32_t result[kSlots];
  void reset() {
    calls.clear();
    for (int i = 0; i < kSlots; ++i) {
      action[i] = nullptr;
      result[i] = 1;
    }
  }
  int count(int slot) const {
    int n = 0;
    for (int c : calls) n += c == slot;
    return n;
  }
};
Recorder& recorder();
// Registers the recording handlers for every slot 0..kSlots-1.
void register_recording_handlers();

// Fixture base: the registry started, the recorder reset and registered, and
// any window the test opened closed again afterwards.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Loads a window and returns its handle (null when it did not open).
  HWND open(uint32_t window_id);

 private:
  std::vector<uint32_t> opened_;
};

// Pumps this thread's messages until done() holds or ms have passed.
bool pump_until(const std::function<bool()>& done, int ms);
void pump_for(int ms);

// A control's rectangle relative to its parent's client area.
RECT rect_in_parent(HWND hwnd);
HWND handle_of(const cx::ControlRef& ref);

// 32-bit pixels (0x00RRGGBB) of a window's client area as it is on screen.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Capture capture_client(HWND hwnd);
Capture capture_window(HWND hwnd);  // the whole window, frame included
bool write_png(const std::string& path, const Capture& image);
inline bool is_blue(uint32_t rgb) {
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return b > 150 && b > r + 60 && b > g + 60;
}
// Pixels of rc (client coordinates) that satisfy pred.
int count_pixels(const Capture& c, RECT rc, const std::function<bool(uint32_t)>& pred);

// A thread of the platform (the compiler's thread model has none of its own).
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  void join();

 private:
  static DWORD WINAPI run(void* self);
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

// Runs act on the first visible dialog-class window (#32770) of this process
// that appears within ms, on a thread of its own. done() tells whether it ran.
class Responder {
 public:
  Responder(std::function<void(HWND)> act, int ms);
  ~Responder();
  bool done() const { return done_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<bool> stop_{false};
  Thread thread_;
};

std::string window_text(HWND hwnd);
std::string directory_of_module();

// Runs a program and collects its standard output; a program that has not
// ended after ms is terminated (finished stays false).
struct RunResult {
  bool finished = false;
  DWORD exit_code = 0;
  std::string output;
};
RunResult run_program(const std::string& command_line, int ms);

}  // namespace uitest
