// The updater module inside the test process: its window, its settings record
// and how its button, timer and event handlers behave. The transfer is a
// scripted one here, so that the module's own steps can be driven exactly;
// the real transfer has its own tests.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/browser_recorder.h"
#include "tests/support/browser_window.h"
#include "tests/support/win_probe.h"
#include "updater/module.h"
#include "web/browser_launch.h"

using namespace updata;

namespace {

// The transfer as the module sees it: counts its calls, reports what the test says.
struct ScriptedTransfer {
  static inline int starts = 0;
  static inline int releases = 0;
  static inline int32_t done = 0;
  static inline TransferHandle* last_handle = nullptr;
  static inline const TransferSettings* last_settings = nullptr;
  static void start(TransferHandle* t, const TransferSettings* s) {
    ++starts;
    last_handle = t;
    last_settings = s;
  }
  static int32_t progress(TransferHandle) { return done; }
  static void release(TransferHandle* t, bool) {
    ++releases;
    *t = nullptr;
  }
  static void reset() {
    starts = releases = 0;
    done = 0;
    last_handle = nullptr;
    last_settings = nullptr;
  }
};
const TransferOps kScripted = {ScriptedTransfer::start, ScriptedTransfer::progress, ScriptedTransfer::release};

class UpdaterModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ScriptedTransfer::reset();
    module_use_transfer(&kScripted);
  }
  void TearDown() override {
    module_unload(false);
    module_use_transfer(nullptr);
  }
  void open(const char* address = "http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe",
            const char* path = "C:\\prog\\Clipdex.exe") {
    update_window(address, path);
    ASSERT_NE(module_window(), nullptr);
  }
  HWND control(int id) { return GetDlgItem(module_window(), id); }
  std::string label() { return probe::window_text(control(ID_LABEL)); }
  int position() { return int(SendMessageA(control(ID_PROGRESS), PBM_GETPOS, 0, 0)); }
  static std::string text(const char* s) { return s ? s : ""; }
};

// --- the window -------------------------------------------------------------

TEST_F(UpdaterModule, WindowOpensCentredUnownedWithFixedFrameAndOnlyTheSystemMenu) {
  open();
  HWND w = module_window();
  auto mine = probe::top_windows(GetCurrentProcessId(), nullptr, "更新程序");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], w);
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
  EXPECT_EQ(GetParent(w), nullptr);

  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right - r.left, 217);
  EXPECT_EQ(r.bottom - r.top, 131);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 217) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 131) / 2);

  LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be sizeable";
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(GetClassLongPtrA(w, GCLP_HBRBACKGROUND), LONG_PTR(COLOR_BTNFACE + 1));
}

// An icon drawn at w x w over white, as 0x00RRGGBB pixels.
std::vector<uint32_t> drawn(HICON icon, int w) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -w;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, w, w};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(dc, 0, 0, icon, w, w, 0, nullptr, DI_NORMAL);
  GdiFlush();
  std::vector<uint32_t> px(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * size_t(w));
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return px;
}

// Share of pixels whose colour channels differ by more than a little.
double share_differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  size_t differing = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    for (int shift : {0, 8, 16})
      if (std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)) > 24) {
        ++differing;
        break;
      }
  return double(differing) / double(a.size());
}

// The program's icon file, loaded at w x w by the system's icon loader.
HICON program_icon_from_file(int w) {
  return static_cast<HICON>(LoadImageA(nullptr, CX_ICON_FILE, IMAGE_ICON, w, w, LR_LOADFROMFILE));
}

TEST_F(UpdaterModule, WindowShowsTheProgramsIconLikeTheMainWindow) {
  open();
  HICON generic = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  const int big = GetSystemMetrics(SM_CXICON), small = GetSystemMetrics(SM_CXSMICON);
  HICON big_icon = reinterpret_cast<HICON>(GetClassLongPtrA(module_window(), GCLP_HICON));
  HICON small_icon = reinterpret_cast<HICON>(GetClassLongPtrA(module_window(), GCLP_HICONSM));
  ASSERT_NE(big_icon, nullptr);
  ASSERT_NE(small_icon, nullptr);

  HICON program = program_icon_from_file(big);
  ASSERT_NE(program, nullptr) << CX_ICON_FILE;
  std::vector<uint32_t> expected = drawn(program, big);
  DestroyIcon(program);
  // The comparison tells the generic icon apart from the program's.
  ASSERT_GT(share_differing(drawn(generic, big), expected), 0.2);
  EXPECT_LT(share_differing(drawn(big_icon, big), expected), 0.05);
  // The small one is the same picture made smaller; the loaders of the
  // system shrink it in ways of their own, so it is only told apart from
  // the generic icon here.
  EXPECT_GT(share_differing(drawn(small_icon, small), drawn(generic, small)), 0.2);
}

struct ControlCase {
  int id;
  const char* cls;
  int left, top, width, height;
  const char* text;
};

TEST_F(UpdaterModule, ControlsSitAtTheirPlacesWithTheirFirstState) {
  open();
  const ControlCase cases[] = {
      {ID_PROGRESS, "msctls_progress32", 8, 10, 184, 24, ""},
      {ID_LABEL, "Static", 9, 43, 183, 23, "下载进度：---"},
      {ID_BUTTON, "Button", 123, 75, 64, 24, "开始更新"},
  };
  for (const ControlCase& c : cases) {
    SCOPED_TRACE(c.cls);
    HWND h = control(c.id);
    ASSERT_NE(h, nullptr);
    EXPECT_STRCASEEQ(probe::class_name(h).c_str(), c.cls);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, module_window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    EXPECT_EQ(probe::window_text(h), c.text);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_TRUE(IsWindowEnabled(h));
  }
  PBRANGE range{};
  SendMessageA(control(ID_PROGRESS), PBM_GETRANGE, FALSE, LPARAM(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(position(), 0);
}

TEST_F(UpdaterModule, TimerStaysIdleUntilTheButtonIsPressed) {
  open();
  EXPECT_EQ(module_timer_interval(), 0);
  // Even with a size and progress at hand nothing moves without the timer.
  on_transfer_event(TRANSFER_TOTAL_SIZE, 0, 100, 0, 0);
  ScriptedTransfer::done = 50;
  probe::pump_until([] { return false; }, 1500);
  EXPECT_EQ(label(), "下载进度：---");
  EXPECT_EQ(position(), 0);
}

TEST_F(UpdaterModule, EachCallReplacesAddressAndPathAndKeepsOneWindow) {
  open("http://a/1.exe", "C:\\one.exe");
  HWND first = module_window();
  update_window("http://b/2.exe", "C:\\two.exe");
  EXPECT_EQ(module_window(), first);
  EXPECT_EQ(probe::top_windows(GetCurrentProcessId(), nullptr, "更新程序").size(), 1u);
  EXPECT_EQ(text(module_state().download_address), "http://b/2.exe");
  EXPECT_EQ(text(module_state().target_path), "C:\\two.exe");
  update_window(nullptr, nullptr);  // null counts as the empty text
  EXPECT_EQ(text(module_state().download_address), "");
  EXPECT_EQ(text(module_state().target_path), "");
}

// A picture of the window as it is on the screen, in client coordinates.
struct Picture {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;
  POINT origin{};  // client (0, 0) inside the picture
  COLORREF at(int x, int y) const { return pixels[size_t((y + origin.y) * width + (x + origin.x))]; }
  // Pixels of the client rectangle (x, y, w, h) that differ from colour c.
  int differing(int x, int y, int w, int h, COLORREF c) const {
    int n = 0;
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) n += at(i, j) != c;
    return n;
  }
};

// Saves the picture as a PNG (8-bit RGB), to be looked at.
void write_png(const char* path, const Picture& p) {
  auto be32 = [](std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
  };
  auto chunk = [&](std::string& out, const char* type, const std::string& data) {
    be32(out, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    be32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
  };
  std::string raw;
  for (int y = 0; y < p.height; ++y) {
    raw += '\0';  // no filter
    for (int x = 0; x < p.width; ++x) {
      COLORREF c = p.pixels[size_t(y * p.width + x)];
      raw += char(GetRValue(c));
      raw += char(GetGValue(c));
      raw += char(GetBValue(c));
    }
  }
  uLongf size = compressBound(uLong(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
  packed.resize(size);
  std::string header;
  be32(header, uint32_t(p.width));
  be32(header, uint32_t(p.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", packed);
  chunk(png, "IEND", "");
  probe::write_file(path, png);
}

Picture take_picture(HWND w, const char* png_path) {
  probe::pump_until([] { return false; }, 300);
  RECT r;
  GetWindowRect(w, &r);
  Picture p;
  p.width = r.right - r.left;
  p.height = r.bottom - r.top;
  POINT client{0, 0};
  ClientToScreen(w, &client);
  p.origin = {client.x - r.left, client.y - r.top};
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const uint32_t* px = static_cast<const uint32_t*>(bits);
  for (int i = 0; i < p.width * p.height; ++i)
    p.pixels.push_back(RGB((px[i] >> 16) & 0xFF, (px[i] >> 8) & 0xFF, px[i] & 0xFF));
  if (png_path) write_png(png_path, p);
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

TEST_F(UpdaterModule, ScreenShowsTheLabelTheButtonAndAHalfFilledBar) {
  open();
  SetForegroundWindow(module_window());
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  Picture idle = take_picture(module_window(), nullptr);
  EXPECT_EQ(idle.at(3, 3), face) << "background in the default colour";
  EXPECT_EQ(idle.at(200, 100), face);
  EXPECT_GT(idle.differing(9, 43, 183, 23, face), 30) << "the label's text is drawn";
  EXPECT_GT(idle.differing(123, 75, 64, 24, face), 100) << "the button is drawn";

  on_start_clicked();
  on_transfer_event(TRANSFER_TOTAL_SIZE, 0, 10000, 0, 0);
  ScriptedTransfer::done = 5000;
  on_timer_tick();
  Picture half = take_picture(module_window(), (probe::module_folder() + "\\updater_window.png").c_str());
  // Inside the bar's frame: the left half has taken the fill colour, the right half has not.
  const int y = 10 + 12;
  COLORREF trough = half.at(8 + 184 - 6, y);
  int filled_left = 0, filled_right = 0;
  for (int x = 8 + 4; x < 8 + 88; ++x) filled_left += half.at(x, y) != trough;
  for (int x = 8 + 100; x < 8 + 180; ++x) filled_right += half.at(x, y) != trough;
  EXPECT_GT(filled_left, 60);
  EXPECT_LT(filled_right, 10);
  EXPECT_GT(half.differing(9, 43, 183, 23, face), 30);
}

// --- the settings record ------------------------------------------------------

struct FieldCase {
  int field;        // 1-based position in the record
  bool is_text;
  int32_t number;
  const char* text;  // for texts; null = empty
};

// The record's fields by their 1-based position; numbers and texts differ in
// size on x64, so each is read through its member.
int32_t number_field(const TransferSettings* s, int field) {
  switch (field) {
    case 1: return s->version;
    case 6: return s->attempts;
    case 7: return s->resume_offset;
    case 8: return s->connect_timeout;
    case 9: return s->send_timeout;
    case 10: return s->receive_timeout;
    case 11: return s->retry_pause;
    case 12: return s->write_buffer;
    case 13: return s->min_read_chunk;
    case 14: return s->flags;
    case 15: return s->handler == nullptr ? 0 : 1;
    case 17: return s->read_chunk;
  }
  ADD_FAILURE() << "field " << field << " holds no number";
  return -1;
}
std::string text_field(const TransferSettings* s, int field) {
  const char* p = nullptr;
  switch (field) {
    case 2: p = s->source; break;
    case 3: p = s->target; break;
    case 4: p = s->user_name; break;
    case 5: p = s->password; break;
    case 16: p = s->referrer; break;
    case 18: p = s->extensions; break;
    case 19: p = s->reserved19; break;
    case 20: p = s->reserved20; break;
    default: ADD_FAILURE() << "field " << field << " holds no text";
  }
  return p ? p : "";
}

void expect_fields(const TransferSettings* s, const FieldCase* cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE("field " + std::to_string(cases[i].field));
    if (cases[i].is_text)
      EXPECT_EQ(text_field(s, cases[i].field), cases[i].text ? cases[i].text : "");
    else
      EXPECT_EQ(number_field(s, cases[i].field), cases[i].number);
  }
}

TEST_F(UpdaterModule, SettingsHoldTheirLoadValuesOnceTheModuleStarts) {
  EXPECT_FALSE(module_started());
  open();
  ASSERT_TRUE(module_started());
  const TransferSettings* s = module_state().settings;
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(module_state().transfer, nullptr);
  EXPECT_EQ(module_state().total_size, 0);
  const FieldCase load[] = {
      {1, false, 1, nullptr},      {2, true, 0, nullptr},        {3, true, 0, nullptr},
      {4, true, 0, "anonymous"},   {6, false, 1, nullptr},       {7, false, 0, nullptr},
      {8, false, 20000, nullptr},  {9, false, 20000, nullptr},   {10, false, 20000, nullptr},
      {11, false, 1000, nullptr},  {12, false, 20480, nullptr},  {13, false, 1024, nullptr},
      {14, false, 0, nullptr},     {15, false, 0, nullptr},      {16, true, 0, nullptr},
      {17, false, 1, nullptr},     {18, true, 0, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm"},
      {19, true, 0, nullptr},      {20, true, 0, nullptr},
  };
  expect_fields(s, load, std::size(load));
  // The anonymous login's password: an e-mail-style text of 17 characters.
  std::string password = text_field(s, 5);
  EXPECT_EQ(password.size(), 17u);
  EXPECT_NE(password.find('@'), std::string::npos);
  EXPECT_NE(password.find('.', password.find('@')), std::string::npos);
}

TEST_F(UpdaterModule, StartButtonFillsTheSettingsAndStartsTheTransfer) {
  open("http://www.clipdexsoft.com/new.exe", "C:\\prog\\Clipdex.exe");
  SendMessageA(control(ID_BUTTON), BM_CLICK, 0, 0);
  ASSERT_EQ(ScriptedTransfer::starts, 1);
  EXPECT_EQ(ScriptedTransfer::last_handle, &module_state().transfer);
  const TransferSettings* s = ScriptedTransfer::last_settings;
  ASSERT_EQ(s, module_state().settings);
  const FieldCase started[] = {
      {2, true, 0, "http://www.clipdexsoft.com/new.exe"},
      {3, true, 0, "C:\\prog\\Clipdex.exe"},
      {6, false, 5, nullptr},
      {17, false, 4096, nullptr},
      {1, false, 1, nullptr},
      {12, false, 20480, nullptr},
  };
  expect_fields(s, started, std::size(started));
  EXPECT_EQ(s->handler, &on_transfer_event);
  EXPECT_EQ(module_timer_interval(), 1000);
  // The button stays usable while the transfer runs.
  EXPECT_TRUE(IsWindowEnabled(control(ID_BUTTON)));
}

// --- progress display ----------------------------------------------------------

struct ProgressCase {
  int32_t total;
  int32_t done;
  int position;
  const char* label;
};

class ProgressDisplay : public UpdaterModule, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressDisplay, TickShowsTheRoundedShareOfTheAnnouncedSize) {
  const ProgressCase& c = GetParam();
  open();
  on_start_clicked();
  on_transfer_event(TRANSFER_TOTAL_SIZE, 0, c.total, 0, 0);
  EXPECT_EQ(module_state().total_size, c.total);
  ScriptedTransfer::done = c.done;
  on_timer_tick();
  EXPECT_EQ(position(), c.position);
  EXPECT_EQ(label(), c.label);
}

INSTANTIATE_TEST_SUITE_P(Shares, ProgressDisplay,
                         ::testing::Values(ProgressCase{10000, 5000, 50, "下载进度：50%"},
                                           ProgressCase{10000, 0, 0, "下载进度：0%"},
                                           ProgressCase{10000, 10000, 100, "下载进度：100%"},
                                           ProgressCase{3, 1, 33, "下载进度：33%"},
                                           ProgressCase{3, 2, 67, "下载进度：67%"},
                                           ProgressCase{8, 1, 13, "下载进度：13%"},      // 12.5: halves go up
                                           ProgressCase{200, 1, 1, "下载进度：1%"},      // 0.5
                                           ProgressCase{1000, 4, 0, "下载进度：0%"},     // 0.4
                                           ProgressCase{26624, 13311, 50, "下载进度：50%"}));

TEST_F(UpdaterModule, BeforeTheSizeIsKnownTheLabelKeepsItsDashes) {
  open();
  on_start_clicked();
  ScriptedTransfer::done = 5000;
  on_timer_tick();
  EXPECT_EQ(label(), "下载进度：---");
  EXPECT_EQ(position(), 0);
}

TEST_F(UpdaterModule, RunningTimerUpdatesTheDisplayEverySecond) {
  open();
  SendMessageA(control(ID_BUTTON), BM_CLICK, 0, 0);
  on_transfer_event(TRANSFER_TOTAL_SIZE, 0, 10000, 0, 0);
  ScriptedTransfer::done = 5000;
  ASSERT_TRUE(probe::pump_until([&] { return label() == "下载进度：50%"; }, 3000));
  EXPECT_EQ(position(), 50);
  ScriptedTransfer::done = 7500;
  ASSERT_TRUE(probe::pump_until([&] { return label() == "下载进度：75%"; }, 3000));
  EXPECT_EQ(position(), 75);
}

TEST_F(UpdaterModule, OtherEventCodesChangeNothing) {
  open();
  on_start_clicked();
  on_transfer_event(TRANSFER_TOTAL_SIZE, 0, 400, 0, 0);
  for (int32_t code : {0, 1, 2, 5, 6, 7, 8, 10, -1}) EXPECT_EQ(on_transfer_event(code, 0, 77, 0, 0), 0);
  EXPECT_EQ(module_state().total_size, 400);
  EXPECT_EQ(label(), "下载进度：---");
  EXPECT_TRUE(IsWindow(module_window()));
}

// --- a failed download ----------------------------------------------------------

TEST_F(UpdaterModule, FailureAnsweredWithOkOpensTheMakersSiteAndEnablesTheButton) {
  open();
  on_start_clicked();
  EnableWindow(control(ID_BUTTON), FALSE);
  probe::BrowserRecorder browser;
  ASSERT_TRUE(browser.active());
  probe::BoxResponder responder({IDOK});
  EXPECT_EQ(on_transfer_event(TRANSFER_FAILED, 0, 0, 0, 0), 0);
  auto boxes = responder.seen();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "更新失败");
  EXPECT_EQ(boxes[0].text, "下载出错,请手动下载");
  EXPECT_TRUE(IsWindowEnabled(control(ID_BUTTON)));
  EXPECT_TRUE(IsWindowVisible(module_window()));
  EXPECT_EQ(module_timer_interval(), 1000) << "the timer keeps running";
  ASSERT_TRUE(browser.wait_for_any(10000));
  EXPECT_EQ(browser.opened().rfind("http://www.clipdexsoft.com", 0), 0u) << browser.opened();
}

// What the shell was asked to open, and with which owner, while one lives.
struct LaunchSeen {
  static inline void* owner = nullptr;
  static inline std::string address;
  static inline int count = 0;
  static void note(void* o, const char* a) {
    owner = o;
    address = a ? a : "";
    ++count;
  }
  LaunchSeen() {
    count = 0;
    cx::web::set_browser_launch_observer(note);
  }
  ~LaunchSeen() { cx::web::set_browser_launch_observer(nullptr); }
  LaunchSeen(const LaunchSeen&) = delete;
  LaunchSeen& operator=(const LaunchSeen&) = delete;
};

TEST_F(UpdaterModule, FailureOpensTheSiteThroughTheBrowserLaunchWithItsOwnerLookup) {
  HWND browser_window = nullptr;
  open();
  on_start_clicked();
  probe::BrowserRecorder browser;
  {
    probe::FakeBrowserWindow fake;
    ASSERT_NE(fake.get(), nullptr);
    browser_window = fake.get();
    LaunchSeen launches;
    probe::BoxResponder responder({IDOK});
    on_transfer_event(TRANSFER_FAILED, 0, 0, 0, 0);
    ASSERT_EQ(responder.count(), 1u);
  }
  ASSERT_EQ(LaunchSeen::count, 1);
  EXPECT_EQ(LaunchSeen::owner, browser_window) << "the open browser window owns the launch";
  EXPECT_EQ(LaunchSeen::address, "http://www.clipdexsoft.com");
  EXPECT_TRUE(browser.wait_for_any(10000));
}

TEST_F(UpdaterModule, FailureAnsweredWithCancelLeavesEverythingAsItWas) {
  open();
  on_start_clicked();
  EnableWindow(control(ID_BUTTON), FALSE);
  probe::BrowserRecorder browser;
  LaunchSeen launches;
  probe::BoxResponder responder({IDCANCEL});
  on_transfer_event(TRANSFER_FAILED, 0, 0, 0, 0);
  ASSERT_EQ(responder.count(), 1u);
  EXPECT_FALSE(IsWindowEnabled(control(ID_BUTTON)));
  EXPECT_TRUE(IsWindowVisible(module_window()));
  EXPECT_EQ(module_timer_interval(), 1000);
  // Every opening of the site passes the launch, in this thread, before the
  // shell is asked: none passed, so no browser can be on its way.
  EXPECT_EQ(LaunchSeen::count, 0) << LaunchSeen::address;
  EXPECT_EQ(browser.opened(), "");
}

// --- unload -----------------------------------------------------------------------

TEST_F(UpdaterModule, UnloadGivesBackTheTransferTheTextsAndTheWindow) {
  open("http://a/1.exe", "C:\\one.exe");
  on_start_clicked();
  HWND w = module_window();
  module_unload(false);
  EXPECT_EQ(ScriptedTransfer::releases, 1);
  EXPECT_FALSE(module_started());
  EXPECT_EQ(module_state().settings, nullptr);
  EXPECT_EQ(module_state().download_address, nullptr);
  EXPECT_EQ(module_state().target_path, nullptr);
  EXPECT_FALSE(IsWindow(w));
  // A later call starts the module afresh.
  open();
  EXPECT_EQ(text_field(module_state().settings, 2), "");
  EXPECT_EQ(number_field(module_state().settings, 17), 1);
}

}  // namespace

