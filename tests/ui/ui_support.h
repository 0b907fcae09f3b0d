// Helpers of the live window tests: recording handlers, message pumping with
// time-outs, screen captures and PNG files. Modal windows are answered by
// probe::BoxResponder (tests/support/win_probe.h).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services/value.h"
#include "tests/support/win_probe.h"
#include "ui/access.h"
#include "ui/message_loop.h"
#include "ui/registry.h"

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
// Pumps until everything queued before the call has been handled (false
// after ms): what a check that something did not happen waits for.
bool pump_queued(int ms = 5000);
// ... and then until no window of this thread has anything left to paint.
bool pump_painted(int ms = 5000);

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
// Pumps until the client area's pixels satisfy done (or ms have passed) and
// returns the last capture: the tests check it as they would any other.
Capture capture_when(HWND hwnd, const std::function<bool(const Capture&)>& done, int ms = 5000);
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

std::string window_text(HWND hwnd);
std::string directory_of_module();

// Child processes: see probe::ChildProcess.
using probe::RunResult;
using probe::run_program;

}  // namespace uitest
