#include "tests/ui/ui_support.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "services/runtime.h"
#include "tests/support/gbk_text.h"
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
    answer_error_boxes();
  }

 private:
  // A run-time error in the test program shows its box and then ends the
  // program; the box is closed at once so that the end is not held up and
  // its text appears in the test output. Other boxes are the tests' own.
  static void answer_error_boxes() {
    probe::BoxOptions options;
    options.accept = [](const probe::SeenBox& box) {
      if (box.text.rfind(gbktext::kErrorReportHead, 0) != 0) return false;
      std::fprintf(stderr, "run-time error box: %s\n", box.text.c_str());
      return true;
    };
    static probe::BoxResponder responder({IDOK}, options);  // for the whole test program
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
  pump_queued();
  recorder().reset();
}

HWND WindowTest::open(uint32_t window_id) {
  opened_.push_back(window_id);
  cx::load_window(window_id);
  return static_cast<HWND>(cx::window_handle(window_id));
}

bool pump_queued(int ms) { return probe::pump_queued(ms); }

bool pump_painted(int ms) {
  return pump_queued(ms) && pump_until([] { return (HIWORD(GetQueueStatus(QS_PAINT)) & QS_PAINT) == 0; }, ms);
}

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

Capture capture_when(HWND hwnd, const std::function<bool(const Capture&)>& done, int ms) {
  Capture shot;
  pump_until(
      [&] {
        shot = capture_client(hwnd);
        return shot.width > 0 && done(shot);
      },
      ms);
  return shot;
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

std::string window_text(HWND hwnd) { return probe::window_text(hwnd); }

std::string directory_of_module() { return probe::module_folder(); }

}  // namespace uitest
