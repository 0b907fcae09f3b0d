// Drives a running Clipdex.exe from outside, the way a user would, and reports
// what the window shows. Runs under Wine beside the program.
//
//   e2e_driver.exe [--timeout S] PROGRAM STEP...
//
// Steps run in order; texts may be written hex:<GBK bytes in hex>.
//   start                 launch PROGRAM, answer the start-up box, wait for the window
//   type:TEXT             put TEXT into the name box
//   click:WHAT            click user | channel | url | fetch | export (fetch and export
//                         are posted: their handlers run for long or open dialogs)
//   run                   click fetch, wait until the run has begun and ended
//   timed-run             the same, watching without messages to the program (which
//                         would be handled inside the run), and print its duration
//   memory                print the program's working set, now and at its peak
//   modules               print the file name of every module loaded into the program
//   wait-running          the fetch button reads "停止"
//   wait-idle             the fetch button reads "获取", is enabled, and the window is idle
//   wait-button:E:TEXT    the fetch button reads TEXT and is enabled (E=1) or not (E=0)
//   wait-log:N:TEXT       the fixture's request log ($CX_FIXTURE_LOG) holds TEXT N times
//   wait-progress:TEXT    the progress label reads TEXT
//   touch:PATH            create the (empty) file PATH
//   state                 print the button, labels, option boxes and row count
//   rows                  print every row of the list
//   save:PATH             export: click, fill the save dialog with PATH, confirm
//   save-cancel           export: click, cancel the save dialog
//   shot:PATH             save a picture of the window as a BMP file
//   close                 close the window, print the exit code
//
// Output, one line each (texts as hex of their GBK bytes):
//   box <text> main_visible=<0|1>    a message box of the program, answered with OK
//   ready                            the window is shown and usable
//   state button=<t> enabled=<0|1> progress=<t> progress_visible=<0|1>
//         stop=<t> stop_visible=<0|1> user=<0|1> channel=<0|1> url=<0|1> rows=<n>
//   rows <n>, then n lines: row <id> <title> <link>
//   shot <width>x<height>
//   timed <ms>                       click to the run's end, the window idle again
//   memory working_set=<bytes> peak=<bytes>
//   module <file name, lower case>   one line per module of the program
//   exit <code>
//   error <what>      (then the program is ended and the driver exits with 2)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/win_probe.h"

namespace {

const char* const kMainCaption = "Clipdex视频地址批量获取工具 v1.0";
const char* const kFetchCaption = "获取";
const char* const kStopCaption = "停止";

// The controls, found by kind and place in the main window's fixed layout
// (client coordinates of their top-left corners).
enum Role { kNameEdit, kOptionUser, kOptionChannel, kOptionUrl, kFetchButton, kExportButton, kVideoList,
            kProgressLabel, kStopLabel, kRoleCount };
struct Place {
  const char* cls;  // window class, nullptr: the label class (the program's own)
  int left, top;
};
const Place kPlaces[kRoleCount] = {
    {"Edit", 80, 5},    {"Button", 451, 5}, {"Button", 504, 5},          {"Button", 574, 5},
    {"Button", 621, 5}, {"Button", 600, 360}, {"SysListView32", 1, 56}, {nullptr, 3, 31},
    {nullptr, 3, 31},
};

// Message box text control, as the system's message box lays it out.
const int kBoxTextId = 0xFFFF;
const UINT kSendTimeoutMs = 30000;

DWORD g_timeout_ms = 60000;
PROCESS_INFORMATION g_child{};
bool g_started = false;
int g_boxes_answered = 0;

// Two lower-case digits a byte; "-" stands for the empty text. Written in
// place: the rows of a large channel are millions of bytes.
std::string hex(const std::string& s) {
  if (s.empty()) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string out(2 * s.size(), '0');
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = s[i];
    out[2 * i] = digits[c >> 4];
    out[2 * i + 1] = digits[c & 15];
  }
  return out;
}

std::string unhex_arg(const std::string& arg) {
  if (arg.rfind("hex:", 0) != 0) return arg;
  std::string out;
  const std::string h = arg.substr(4);
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::strtoul(h.substr(i, 2).c_str(), nullptr, 16));
  return out;
}

void say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stdout, fmt, ap);
  va_end(ap);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

[[noreturn]] void fail(const std::string& what) {
  say("error %s", what.c_str());
  if (g_started) {
    TerminateProcess(g_child.hProcess, 99);
    WaitForSingleObject(g_child.hProcess, 5000);
  }
  std::exit(2);
}

bool child_ended() { return g_started && WaitForSingleObject(g_child.hProcess, 0) == WAIT_OBJECT_0; }

// --- waiting ----------------------------------------------------------------------
// The program's windows, captions and pixels and the fixture's request log
// signal nothing the driver could block on, so every wait of the driver
// polls its condition, at the tests' one poll interval.
using probe::pause_between_polls;

// Polls cond until it holds (true) or limit_ms have passed (false).
template <class F>
bool poll_until(F cond, DWORD limit_ms) {
  const DWORD t0 = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - t0 > limit_ms) return false;
    pause_between_polls();
  }
}

// --- windows of the program ---------------------------------------------------

struct WindowsOf {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_window_of(HWND h, LPARAM p) {
  auto* c = reinterpret_cast<WindowsOf*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == c->pid) c->found.push_back(h);
  return TRUE;
}

std::vector<HWND> top_windows_of_child() {
  WindowsOf ctx{g_child.dwProcessId, {}};
  EnumWindows(collect_window_of, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

std::string class_of(HWND h) {
  char buf[256] = {0};
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

HWND find_main_window();

// The program waits for its transfers with a wake mask that leaves out sent
// messages, so a message of ours could wait for the whole transfer. While one
// is outstanding, no-op messages posted to the main window wake that wait.
// When the sent message has reached the program's queue cannot be seen from
// here (a post before it wakes the wait too early), so the posts repeat at
// the poll interval until the answer is in. Between sends the nudger sleeps
// until the next send wakes it; a send finds it awake in the usual case of
// many sends in a row (reading the list) and then costs nothing more.
std::atomic<HWND> g_nudge_target{nullptr};
std::atomic<bool> g_nudger_asleep{false};
const HANDLE g_wake_nudger = CreateEventA(nullptr, FALSE, FALSE, nullptr);

DWORD WINAPI nudger(void*) {
  for (;;) {
    if (HWND h = g_nudge_target.load()) {
      PostMessageA(h, WM_NULL, 0, 0);
    } else {
      g_nudger_asleep = true;
      // Looked at again once asleep: a send that began in between is not missed.
      if (!g_nudge_target.load()) WaitForSingleObject(g_wake_nudger, INFINITE);
      g_nudger_asleep = false;
    }
    pause_between_polls();
  }
}

bool send_to_program(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT timeout_ms, DWORD_PTR* result) {
  static const HANDLE thread = CreateThread(nullptr, 0, nudger, nullptr, 0, nullptr);
  (void)thread;
  // Looked up once: reading many cells must not search the windows each time.
  static HWND main = nullptr;
  if (!main || !IsWindow(main)) main = find_main_window();
  g_nudge_target = main;
  if (g_nudger_asleep.exchange(false)) SetEvent(g_wake_nudger);
  const BOOL ok = SendMessageTimeoutA(h, msg, wp, lp, SMTO_NORMAL, timeout_ms, result);
  g_nudge_target = nullptr;
  return ok != FALSE;
}

// The control's own answer to WM_GETTEXT (labels keep their caption themselves).
std::string text_of(HWND h) {
  DWORD_PTR len = 0;
  if (!send_to_program(h, WM_GETTEXTLENGTH, 0, 0, kSendTimeoutMs, &len)) {
    if (child_ended()) fail("program ended");
    fail("window does not answer WM_GETTEXTLENGTH");
  }
  std::string buf(len + 64, '\0');
  DWORD_PTR got = 0;
  if (!send_to_program(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), kSendTimeoutMs, &got))
    fail("window does not answer WM_GETTEXT");
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

// Text the system holds for a window of another process: never blocks.
std::string window_text_now(HWND h) {
  char buf[1024] = {0};
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

bool is_message_box(HWND h) {
  if (class_of(h) != "#32770" || !IsWindowVisible(h)) return false;
  HWND text = GetDlgItem(h, kBoxTextId);
  return text != nullptr && GetDlgItem(h, IDOK) != nullptr;
}

HWND find_main_window() {
  for (HWND h : top_windows_of_child())
    if (class_of(h) != "#32770" && window_text_now(h) == kMainCaption) return h;
  return nullptr;
}

HWND main_window() {
  HWND h = find_main_window();
  if (!h) fail("main window not found");
  return h;
}

HWND g_controls[kRoleCount] = {};

struct ChildScan {
  HWND parent;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_child(HWND h, LPARAM p) {
  auto* scan = reinterpret_cast<ChildScan*>(p);
  if (GetParent(h) == scan->parent) scan->found.push_back(h);
  return TRUE;
}

// Finds every control once the window is shown; of the two status labels in
// one place, the progress label is the one visible at start.
void find_controls() {
  HWND main = main_window();
  ChildScan scan{main, {}};
  EnumChildWindows(main, collect_child, reinterpret_cast<LPARAM>(&scan));
  for (int role = 0; role < kRoleCount; ++role) {
    for (HWND h : scan.found) {
      RECT r{};
      GetWindowRect(h, &r);
      MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
      const Place& p = kPlaces[role];
      const std::string cls = class_of(h);
      const bool known_class = lstrcmpiA(cls.c_str(), "Edit") == 0 || lstrcmpiA(cls.c_str(), "Button") == 0 ||
                               lstrcmpiA(cls.c_str(), "SysListView32") == 0;
      if (r.left != p.left || r.top != p.top) continue;
      if (p.cls ? lstrcmpiA(cls.c_str(), p.cls) != 0 : known_class) continue;
      if (role == kProgressLabel && !IsWindowVisible(h)) continue;
      if (role == kStopLabel && IsWindowVisible(h)) continue;
      g_controls[role] = h;
      break;
    }
    if (!g_controls[role]) fail("control " + std::to_string(role) + " not found in the window");
  }
}

HWND control(Role role) {
  if (!g_controls[role]) find_controls();
  if (!IsWindow(g_controls[role])) fail("control " + std::to_string(role) + " is gone");
  return g_controls[role];
}

// Answers every message box the program shows; returns how many it answered.
int answer_message_boxes() {
  int answered = 0;
  for (HWND box : top_windows_of_child()) {
    if (!is_message_box(box)) continue;
    HWND main = find_main_window();
    const std::string text = window_text_now(GetDlgItem(box, kBoxTextId));
    say("box %s main_visible=%d", hex(text).c_str(), main && IsWindowVisible(main) ? 1 : 0);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    if (!poll_until([box] { return !IsWindow(box) || !IsWindowVisible(box); }, g_timeout_ms))
      fail("message box does not close");
    ++answered;
    ++g_boxes_answered;
  }
  return answered;
}

// Waits until cond holds, answering message boxes meanwhile; the program's
// end or the time-out ends the driver.
template <class F>
void wait_for(const std::string& what, F cond) {
  const bool held = poll_until(
      [&] {
        answer_message_boxes();
        if (cond()) return true;
        if (child_ended()) fail("program ended while waiting: " + what);
        return false;
      },
      g_timeout_ms);
  if (!held) fail("timed out: " + what);
}

void click(HWND h) { PostMessageA(h, BM_CLICK, 0, 0); }

bool checked(HWND h) {
  DWORD_PTR r = 0;
  if (!send_to_program(h, BM_GETCHECK, 0, 0, kSendTimeoutMs, &r)) fail("no BM_GETCHECK answer");
  return r == BST_CHECKED;
}

// The window thread has handled a message sent now, i.e. it is pumping.
void round_trip() {
  DWORD_PTR r = 0;
  if (!send_to_program(main_window(), WM_NULL, 0, 0, g_timeout_ms, &r))
    fail("window thread does not answer");
}

bool fetch_button_idle() {
  HWND b = control(kFetchButton);
  return text_of(b) == kFetchCaption && IsWindowEnabled(b);
}

// --- the list, read from the other process ----------------------------------

class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : process_(process), size_(size) {
    ptr_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!ptr_) fail("VirtualAllocEx failed");
  }
  ~RemoteBlock() { VirtualFreeEx(process_, ptr_, 0, MEM_RELEASE); }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  char* at(size_t offset) const { return static_cast<char*>(ptr_) + offset; }
  void write(size_t offset, const void* data, size_t n) const {
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, at(offset), data, n, &done) || done != n) fail("WriteProcessMemory failed");
  }
  void read(size_t offset, void* data, size_t n) const {
    SIZE_T done = 0;
    if (!ReadProcessMemory(process_, at(offset), data, n, &done) || done != n) fail("ReadProcessMemory failed");
  }
  size_t size() const { return size_; }

 private:
  HANDLE process_;
  size_t size_;
  void* ptr_;
};

int row_count() {
  DWORD_PTR n = 0;
  if (!send_to_program(control(kVideoList), LVM_GETITEMCOUNT, 0, 0, kSendTimeoutMs, &n))
    fail("no LVM_GETITEMCOUNT answer");
  return static_cast<int>(n);
}

// The block for the usual cell, kept for the program's life: ten thousand
// rows are read with one allocation in the other process, not thirty thousand.
RemoteBlock& usual_block(size_t cap) {
  static std::unique_ptr<RemoteBlock> block;
  static DWORD owner = 0;
  if (!block || owner != g_child.dwProcessId) {
    block = std::make_unique<RemoteBlock>(g_child.hProcess, sizeof(LVITEMA) + cap);
    owner = g_child.dwProcessId;
  }
  return *block;
}

std::string cell(int row, int column) {
  HWND list = control(kVideoList);
  for (size_t cap = 1024;; cap *= 2) {
    std::unique_ptr<RemoteBlock> larger;
    if (cap > 1024) larger = std::make_unique<RemoteBlock>(g_child.hProcess, sizeof(LVITEMA) + cap);
    RemoteBlock& block = larger ? *larger : usual_block(cap);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = block.at(sizeof(LVITEMA));
    item.cchTextMax = static_cast<int>(cap);
    block.write(0, &item, sizeof item);
    const char zero = 0;
    block.write(sizeof(LVITEMA), &zero, 1);
    DWORD_PTR len = 0;
    if (!send_to_program(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(block.at(0)), kSendTimeoutMs, &len))
      fail("no LVM_GETITEMTEXTA answer");
    if (len + 1 < cap) {
      std::string text(len, '\0');
      if (len) block.read(sizeof(LVITEMA), text.data(), len);
      return text;
    }
  }
}

// --- steps ----------------------------------------------------------------------

std::string g_program;

void step_start() {
  std::string dir = g_program.substr(0, g_program.find_last_of("\\/"));
  std::string cmd = "\"" + g_program + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &g_child))
    fail("cannot start " + g_program);
  g_started = true;
  wait_for("the main window to be shown", [] {
    HWND m = find_main_window();
    return m && IsWindowVisible(m);
  });
  round_trip();
  answer_message_boxes();
  find_controls();
  say("ready");
}

void step_state() {
  HWND b = control(kFetchButton), p = control(kProgressLabel), s = control(kStopLabel);
  say("state button=%s enabled=%d progress=%s progress_visible=%d stop=%s stop_visible=%d user=%d channel=%d url=%d "
      "rows=%d",
      hex(text_of(b)).c_str(), IsWindowEnabled(b) ? 1 : 0, hex(text_of(p)).c_str(), IsWindowVisible(p) ? 1 : 0,
      hex(text_of(s)).c_str(), IsWindowVisible(s) ? 1 : 0, checked(control(kOptionUser)) ? 1 : 0,
      checked(control(kOptionChannel)) ? 1 : 0, checked(control(kOptionUrl)) ? 1 : 0, row_count());
}

void step_rows() {
  const int n = row_count();
  say("rows %d", n);
  for (int r = 0; r < n; ++r) say("row %s %s %s", hex(cell(r, 0)).c_str(), hex(cell(r, 1)).c_str(), hex(cell(r, 2)).c_str());
}

void step_wait_idle() {
  wait_for("the run to end", [] {
    if (!fetch_button_idle()) return false;
    round_trip();  // the caption can be restored a wait before the run ends
    return fetch_button_idle();
  });
}

void step_wait_running() {
  // Read without a message: the caption can read "停止" only while the thread
  // waits without pumping (a page without tiles).
  wait_for("the run to begin", [] { return window_text_now(control(kFetchButton)) == kStopCaption; });
}

// From the click to the run's end. The captions are read from the system's
// copy, which asks nothing of the program; once the button reads "获取" and is
// enabled, one message sent waits for the program's next turn, the return to
// its message loop (the caption can be restored a wait before the run ends).
void step_timed_run() {
  HWND b = control(kFetchButton);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  click(b);
  step_wait_running();
  const bool ended = poll_until(
      [b] {
        if (child_ended()) fail("program ended during the run");
        return window_text_now(b) == kFetchCaption && IsWindowEnabled(b);
      },
      10 * g_timeout_ms);
  if (!ended) fail("timed out: the run to end");
  round_trip();
  QueryPerformanceCounter(&end);
  say("timed %.0f", 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  answer_message_boxes();
}

void step_memory() {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (!GetProcessMemoryInfo(g_child.hProcess, &m, sizeof m)) fail("no memory counters of the program");
  say("memory working_set=%llu peak=%llu", static_cast<unsigned long long>(m.WorkingSetSize),
      static_cast<unsigned long long>(m.PeakWorkingSetSize));
}

// --- the program's modules (which libraries it has loaded, the script
// engine's among them when it was created) ------------------------------------

void step_modules() {
  std::vector<HMODULE> modules(512);
  DWORD needed = 0;
  if (!EnumProcessModules(g_child.hProcess, modules.data(), DWORD(modules.size() * sizeof(HMODULE)), &needed))
    fail("no module list of the program");
  modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
  for (HMODULE m : modules) {
    char name[MAX_PATH] = {};
    if (!GetModuleBaseNameA(g_child.hProcess, m, name, MAX_PATH)) continue;
    for (char* c = name; *c; ++c) *c = char(std::tolower(static_cast<unsigned char>(*c)));
    say("module %s", name);
  }
}

std::string read_log() {
  const char* path = std::getenv("CX_FIXTURE_LOG");
  if (!path || !*path) fail("CX_FIXTURE_LOG is not set");
  std::string dos = path;
  if (dos[0] == '/') {
    for (char& c : dos)
      if (c == '/') c = '\\';
    dos = "Z:" + dos;
  }
  std::string out;
  if (FILE* f = std::fopen(dos.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

int occurrences(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + needle.size())) ++n;
  return n;
}

HWND find_file_dialog() {
  for (HWND h : top_windows_of_child())
    if (class_of(h) == "#32770" && IsWindowVisible(h) && !GetDlgItem(h, kBoxTextId)) return h;
  return nullptr;
}

BOOL CALLBACK first_visible_edit(HWND h, LPARAM p) {
  if (class_of(h) == "Edit" && IsWindowVisible(h)) {
    *reinterpret_cast<HWND*>(p) = h;
    return FALSE;
  }
  return TRUE;
}

HWND file_name_box(HWND dialog) {
  // The explorer-style dialog's name box; older layouts use another id.
  for (int id : {0x480, 0x47C}) {
    HWND h = GetDlgItem(dialog, id);
    if (!h) continue;
    if (class_of(h) == "Edit") return h;
    if (HWND inner = FindWindowExA(h, nullptr, "Edit", nullptr)) return inner;
    if (HWND combo = FindWindowExA(h, nullptr, "ComboBox", nullptr))
      if (HWND inner = FindWindowExA(combo, nullptr, "Edit", nullptr)) return inner;
  }
  HWND found = nullptr;
  EnumChildWindows(dialog, first_visible_edit, reinterpret_cast<LPARAM>(&found));
  return found;
}

void step_save(const std::string* path) {
  const int boxes_before = g_boxes_answered;
  click(control(kExportButton));
  HWND dialog = nullptr;
  wait_for("the save dialog", [&] { return (dialog = find_file_dialog()) != nullptr; });
  if (path) {
    HWND name = file_name_box(dialog);
    if (!name) fail("save dialog has no name box");
    DWORD_PTR r = 0;
    if (!send_to_program(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path->c_str()), kSendTimeoutMs, &r))
      fail("name box does not take the text");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  } else {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  }
  wait_for("the save dialog to close", [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
  // The program reports the outcome in a box of its own.
  wait_for("the export message", [&] { return g_boxes_answered > boxes_before; });
}

BOOL CALLBACK note_update_region(HWND h, LPARAM p) {
  if (GetUpdateRect(h, nullptr, FALSE)) *reinterpret_cast<bool*>(p) = true;
  return TRUE;
}

// Neither the window nor any of its controls has a region left to paint.
bool fully_painted(HWND main) {
  bool pending = GetUpdateRect(main, nullptr, FALSE) != FALSE;
  EnumChildWindows(main, note_update_region, reinterpret_cast<LPARAM>(&pending));
  return !pending;
}

// The screen's pixels under rectangle r, as the rows of a 24-bit bottom-up DIB.
std::vector<char> screen_pixels(const RECT& r, BITMAPINFOHEADER& bi) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  bi = BITMAPINFOHEADER{};
  bi.biSize = sizeof bi;
  bi.biWidth = w;
  bi.biHeight = h;
  bi.biPlanes = 1;
  bi.biBitCount = 24;
  bi.biCompression = BI_RGB;
  const DWORD stride = (w * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * h);
  GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Copies the window's screen area into a 24-bit BMP file. The picture is
// taken once the window has nothing left to paint and two readings of the
// screen agree: what the program painted last has reached the screen.
void step_shot(const std::string& path) {
  HWND main = main_window();
  RECT r{};
  BITMAPINFOHEADER bi{};
  std::vector<char> pixels;
  wait_for("the window's pixels to settle", [&] {
    round_trip();
    if (!fully_painted(main)) return false;
    GetWindowRect(main, &r);
    std::vector<char> now = screen_pixels(r, bi);
    const bool settled = now == pixels;
    pixels = std::move(now);
    return settled;
  });
  BITMAPFILEHEADER bf{};
  bf.bfType = 0x4D42;
  bf.bfOffBits = sizeof bf + sizeof bi;
  bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write " + path);
  std::fwrite(&bf, sizeof bf, 1, f);
  std::fwrite(&bi, sizeof bi, 1, f);
  std::fwrite(pixels.data(), 1, pixels.size(), f);
  std::fclose(f);
  say("shot %dx%d", static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top));
}

void step_close() {
  PostMessageA(main_window(), WM_CLOSE, 0, 0);
  const bool ended = poll_until(
      [] {
        answer_message_boxes();
        return WaitForSingleObject(g_child.hProcess, 0) == WAIT_OBJECT_0;
      },
      g_timeout_ms);
  if (!ended) fail("program does not end after WM_CLOSE");
  DWORD code = 0;
  GetExitCodeProcess(g_child.hProcess, &code);
  say("exit %ld", static_cast<long>(code));
  g_started = false;
}

HWND click_target(const std::string& what) {
  if (what == "user") return control(kOptionUser);
  if (what == "channel") return control(kOptionChannel);
  if (what == "url") return control(kOptionUrl);
  if (what == "fetch") return control(kFetchButton);
  if (what == "export") return control(kExportButton);
  fail("unknown click target " + what);
}

// The steps that take no argument.
struct PlainStep {
  const char* name;
  void (*run)();
};
const PlainStep kPlainSteps[] = {
    {"start", step_start},   {"timed-run", step_timed_run},       {"memory", step_memory},
    {"modules", step_modules}, {"wait-running", step_wait_running}, {"wait-idle", step_wait_idle},
    {"state", step_state},   {"rows", step_rows},                 {"close", step_close},
};

void run_step(const std::string& step) {
  const size_t colon = step.find(':');
  const std::string name = step.substr(0, colon);
  const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
  for (const PlainStep& plain : kPlainSteps) {
    if (name == plain.name) {
      plain.run();
      return;
    }
  }
  if (name == "type") {
    const std::string text = unhex_arg(arg);
    DWORD_PTR r = 0;
    if (!send_to_program(control(kNameEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), kSendTimeoutMs, &r))
      fail("name box does not take the text");
  } else if (name == "click") {
    HWND target = click_target(arg);
    if (arg == "fetch" || arg == "export") {
      click(target);
    } else {
      DWORD_PTR r = 0;
      if (!send_to_program(target, BM_CLICK, 0, 0, kSendTimeoutMs, &r)) fail("click not answered");
    }
  } else if (name == "wait-button") {
    const bool enabled = arg.rfind("1:", 0) == 0;
    const std::string text = unhex_arg(arg.substr(2));
    wait_for("the fetch button's state", [&] {
      HWND b = control(kFetchButton);
      return text_of(b) == text && (IsWindowEnabled(b) != FALSE) == enabled;
    });
  } else if (name == "run") {
    click(control(kFetchButton));
    step_wait_running();
    step_wait_idle();
  } else if (name == "wait-log") {
    const size_t c2 = arg.find(':');
    if (c2 == std::string::npos) fail("wait-log needs N:TEXT");
    const int n = std::atoi(arg.substr(0, c2).c_str());
    const std::string text = unhex_arg(arg.substr(c2 + 1));
    wait_for("the request log to show " + text, [&] { return occurrences(read_log(), text) >= n; });
  } else if (name == "wait-progress") {
    const std::string text = unhex_arg(arg);
    wait_for("the progress text", [&] { return text_of(control(kProgressLabel)) == text; });
  } else if (name == "touch") {
    const std::string path = unhex_arg(arg);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) fail("cannot create " + path);
    std::fclose(f);
  } else if (name == "save") {
    const std::string path = unhex_arg(arg);
    step_save(&path);
  } else if (name == "save-cancel") {
    step_save(nullptr);
  } else if (name == "shot") {
    step_shot(unhex_arg(arg));
  } else {
    fail("unknown step " + step);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--timeout") == 0) {
    g_timeout_ms = static_cast<DWORD>(std::atoi(argv[i + 1])) * 1000;
    i += 2;
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: e2e_driver [--timeout S] PROGRAM STEP...\n");
    return 2;
  }
  g_program = argv[i++];
  for (; i < argc; ++i) run_step(argv[i]);
  if (g_started) {
    // A script that does not close the window leaves nothing running.
    TerminateProcess(g_child.hProcess, 98);
    WaitForSingleObject(g_child.hProcess, 5000);
  }
  return 0;
}
