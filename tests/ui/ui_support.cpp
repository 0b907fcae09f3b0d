#include "tests/ui/ui_support.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "services/runtime.h"
#include "tests/support/win_probe.h"
#include "ui/live.h"

namespace uitest {

Recorder& recorder() {
  static Recorder r = [] {
    Recorder x;
    x.reset();
    return x;
  }();
  return r;
}

namespace {

template <int Slot>
int32_t recording_handler() {
  Recorder& r = recorder();
  r.calls.push_back(Slot);
  if (r.action[Slot]) {
    auto act = r.action[Slot];  // the action may replace itself
    act();
  }
  return r.result[Slot];
}

template <int... S>
constexpr std::array<cx::EventHandler, sizeof...(S)> handler_table(std::integer_sequence<int, S...>) {
  return {recording_handler<S>...};
}

}  // namespace

void register_recording_handlers() {
  static const auto table = handler_table(std::make_integer_sequence<int, kSlots>());
  cx::register_handlers(table.data(), kSlots);
}

bool pump_until(const std::function<bool()>& done, int ms) { return probe::pump_until(done, ms); }

namespace {

// The runtime as the program starts it (OLE on this thread, which the file
// dialogs use), once for the whole test program.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    cx::runtime_startup();
    CloseHandle(CreateThread(nullptr, 0, close_error_boxes, nullptr, 0, nullptr));
  }

 private:
  // A run-time error in the test program shows its box and then ends the
  // program; the box is closed at once so that the end is not held up and
  // its text appears in the test output.
  static DWORD WINAPI close_error_boxes(void*) {
    for (;;) {
      std::vector<HWND> boxes;
      EnumWindows(collect_boxes, LPARAM(&boxes));
      for (HWND box : boxes) {
        char text[1024] = {0};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        if (std::strncmp(text, "运行时出错!", std::strlen("运行时出错!")) == 0) {
          std::fprintf(stderr, "run-time error box: %s\n", text);
          PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
      }
      Sleep(100);
    }
  }
  static BOOL CALLBACK collect_boxes(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[32] = {0};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0)
      reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
  }
};
[[maybe_unused]] ::testing::Environment* const kRuntime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

}  // namespace

void WindowTest::SetUp() {
  cx::registry_startup();
  recorder().reset();
  register_recording_handlers();
}

void WindowTest::TearDown() {
  for (uint32_t id : opened_)
    if (HWND hwnd = static_cast<HWND>(cx::window_handle(id))) DestroyWindow(hwnd);
  pump_for(20);
  recorder().reset();
}

HWND WindowTest::open(uint32_t window_id) {
  opened_.push_back(window_id);
  cx::load_window(window_id);
  return static_cast<HWND>(cx::window_handle(window_id));
}

void pump_for(int ms) { pump_until([] { return false; }, ms); }

RECT rect_in_parent(HWND hwnd) {
  RECT rc;
  GetWindowRect(hwnd, &rc);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

HWND handle_of(const cx::ControlRef& ref) { return static_cast<HWND>(cx::window_handle(ref.window, ref.control)); }

namespace {

// The screen reads' own resources: a memory device context and its bitmap.
void release_memory_dc(HDC h) { DeleteDC(h); }
void release_bitmap(HBITMAP h) { DeleteObject(h); }
using MemoryDC = cx::Owned<HDC, release_memory_dc>;
using BitmapHandle = cx::Owned<HBITMAP, release_bitmap>;


Capture capture_dc(HDC source, int width, int height) {
  Capture c;
  c.width = width;
  c.height = height;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  MemoryDC memory(CreateCompatibleDC(source));
  BitmapHandle bitmap(CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || !bits) return Capture{};
  {
    cx::Selection keep(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
  }
  c.pixels.resize(size_t(width) * size_t(height));
  const uint32_t* p = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < c.pixels.size(); ++i) c.pixels[i] = p[i] & 0x00FFFFFFu;
  return c;
}

}  // namespace

Capture capture_client(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  cx::WindowDC dc(hwnd);
  return capture_dc(dc.get(), rc.right, rc.bottom);
}

Capture capture_window(HWND hwnd) {
  RECT rc;
  GetWindowRect(hwnd, &rc);
  HDC dc = GetWindowDC(hwnd);
  Capture c = capture_dc(dc, rc.right - rc.left, rc.bottom - rc.top);
  ReleaseDC(hwnd, dc);
  return c;
}

namespace {

void put32(std::string& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

void chunk(std::string& out, const char* type, const std::string& data) {
  put32(out, uint32_t(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

}  // namespace

bool write_png(const std::string& path, const Capture& image) {
  if (image.width <= 0 || image.height <= 0) return false;
  std::string raw;
  raw.reserve(size_t(image.height) * (size_t(image.width) * 3 + 1));
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < image.width; ++x) {
      uint32_t p = image.at(x, y);
      raw.push_back(char((p >> 16) & 0xFF));
      raw.push_back(char((p >> 8) & 0xFF));
      raw.push_back(char(p & 0xFF));
    }
  }
  uLongf packed_size = compressBound(uLong(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
                uLong(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packed_size);

  std::string header;
  put32(header, uint32_t(image.width));
  put32(header, uint32_t(image.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
  std::string png("\x89PNG\r\n\x1a\n", 8);
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", packed);
  chunk(png, "IEND", std::string());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

int count_pixels(const Capture& c, RECT rc, const std::function<bool(uint32_t)>& pred) {
  int n = 0;
  for (int y = std::max<int>(rc.top, 0); y < std::min<int>(rc.bottom, c.height); ++y)
    for (int x = std::max<int>(rc.left, 0); x < std::min<int>(rc.right, c.width); ++x) n += pred(c.at(x, y));
  return n;
}

namespace {

struct DialogSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<DialogSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[32] = {0};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == s->pid && IsWindowVisible(hwnd) && std::strcmp(cls, "#32770") == 0) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

Thread::Thread(std::function<void()> body) : body_(std::move(body)) {
  handle_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

Thread::~Thread() { join(); }

void Thread::join() {
  if (!handle_) return;
  WaitForSingleObject(handle_, INFINITE);  // the bodies all end by a time-out of their own
  CloseHandle(handle_);
  handle_ = nullptr;
}

DWORD WINAPI Thread::run(void* self) {
  static_cast<Thread*>(self)->body_();
  return 0;
}

Responder::Responder(std::function<void(HWND)> act, int ms)
    : thread_([this, act = std::move(act), ms] {
    DWORD start = GetTickCount();
    while (!stop_ && GetTickCount() - start < DWORD(ms)) {
      DialogSearch s{GetCurrentProcessId(), nullptr};
      EnumWindows(find_dialog, LPARAM(&s));
      if (s.found) {
        Sleep(200);  // let the dialog finish setting itself up
        act(s.found);
        done_ = true;
        return;
      }
      Sleep(30);
    }
  }) {}

Responder::~Responder() {
  stop_ = true;
  thread_.join();
}

std::string window_text(HWND hwnd) { return probe::window_text(hwnd); }

std::string directory_of_module() { return probe::module_folder(); }

RunResult run_program(const std::string& command_line, int ms) {
  RunResult result;
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = write_end;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = command_line;
  BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return result;
  }
  std::string output;
  Thread reader([&] {
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buf, sizeof buf, &got, nullptr) && got > 0) output.append(buf, got);
  });
  if (WaitForSingleObject(pi.hProcess, DWORD(ms)) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 0xDEAD);
    WaitForSingleObject(pi.hProcess, 5000);
  } else {
    result.finished = GetExitCodeProcess(pi.hProcess, &result.exit_code) != 0;
  }
  reader.join();
  CloseHandle(read_end);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  result.output = output;
  return result;
}

}  // namespace uitest
