#include "updater/module.h"

#include <commctrl.h>
#include <shellapi.h>

#include "updater/base.h"
#include "web/browser_launch.h"

namespace updata {

namespace {

const char kWindowClass[] = "CxUpdaterWindow";
const char kCaption[] = "更新程序";
const char kProgressPrefix[] = "下载进度：";
const char kProgressIdle[] = "下载进度：---";
const char kProgressDone[] = "下载进度：100%";
// The two questions the module asks, each with its caption.
struct Question {
  const char* text;
  const char* caption;
};
const Question kAskRun = {"更新完成，是否立即运行？", "更新成功"};
const Question kFailed = {"下载出错,请手动下载", "更新失败"};
// The password of the anonymous login: an e-mail address, as such servers expect.
const char kAnonymousUser[] = "anonymous";
const char kAnonymousPassword[] = "guest@clipdex.com";
const char kEndings[] = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";

const int kWindowWidth = 217, kWindowHeight = 131;
const int kIconResource = 1;  // updata.rc
const UINT_PTR kTimerId = 1;
const int kTickMs = 1000;
// OK and Cancel with the question icon; task-modal as every box of the runtime.
const UINT kQuestionBox = MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL;

ModuleState g_state;
bool g_started;
const TransferOps* g_ops = &kWinInetTransfer;
HWND g_window, g_progress, g_label, g_button;
int32_t g_interval;

// Module start: the state and the settings record with their load values.
void module_start() {
  g_state = ModuleState{};
  TransferSettings* s = static_cast<TransferSettings*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *s));
  if (s) {
    s->version = 1;
    s->user_name = text_copy(kAnonymousUser);
    s->password = text_copy(kAnonymousPassword);
    s->attempts = 1;
    s->resume_offset = 0;
    s->connect_timeout = 20000;
    s->send_timeout = 20000;
    s->receive_timeout = 20000;
    s->retry_pause = 1000;
    s->write_buffer = 20480;
    s->min_read_chunk = 1024;
    s->flags = 0;
    s->handler = nullptr;
    s->read_chunk = 1;
    s->extensions = text_copy(kEndings);
  }
  g_state.settings = s;
  g_started = true;
}

void set_timer(int32_t interval) {
  g_interval = interval;
  if (!g_window) return;
  if (interval > 0)
    SetTimer(g_window, kTimerId, UINT(interval), nullptr);
  else
    KillTimer(g_window, kTimerId);
}

void set_position(int32_t pos) {
  if (g_progress) SendMessageA(g_progress, PBM_SETPOS, WPARAM(pos), 0);
}

void set_label(const char* text) {
  if (g_label) SetWindowTextA(g_label, text);
}

// A whole number, halves away from zero, bounded to 32 bits.
int32_t round_to_int(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return 2147483647;
  if (x <= -2147483648.0) return -2147483647 - 1;
  int32_t t = int32_t(x);
  double rest = x - double(t);
  if (rest >= 0.5) ++t;
  else if (rest <= -0.5) --t;
  return t;
}

double percent_done() {
  return double(g_ops->progress(g_state.transfer)) / double(g_state.total_size) * 100.0;
}

// Starts the file as it is named: the name is the whole command line, and
// naming the program explicitly keeps a path with blanks from being read as
// a shorter program name followed by arguments.
void start_program(const char* path) {
  char* command = text_copy(path);
  if (!command) return;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (CreateProcessA(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  text_release(command);
}

HWND make_control(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id, HFONT font) {
  HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, g_window,
                           reinterpret_cast<HMENU>(INT_PTR(id)), this_module(), nullptr);
  if (c) SendMessageA(c, WM_SETFONT, WPARAM(font), FALSE);
  return c;
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == ID_BUTTON && HIWORD(wp) == BN_CLICKED) on_start_clicked();
      return 0;
    case WM_TIMER:
      if (wp == kTimerId) on_timer_tick();
      return 0;
    case WM_DESTROY:
      if (hwnd == g_window) {
        KillTimer(hwnd, kTimerId);
        g_window = g_progress = g_label = g_button = nullptr;
      }
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// The icon resource at one of the system's icon sizes; shared, so that it
// goes with the library.
HICON program_icon(HINSTANCE inst, int metric) {
  int size = GetSystemMetrics(metric);
  return static_cast<HICON>(LoadImageA(inst, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON, size, size, LR_SHARED));
}

bool make_window() {
  HINSTANCE inst = this_module();
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = window_proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  // The program's icon, as on the main window: the library carries it too.
  wc.hIcon = program_icon(inst, SM_CXICON);
  wc.hIconSm = program_icon(inst, SM_CXSMICON);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassExA(&wc);  // fails harmlessly when a closed window registered it before

  // Fixed single border, title bar with the system menu, no size buttons.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
  g_window = CreateWindowExA(0, kWindowClass, kCaption, style, x, y, kWindowWidth, kWindowHeight, nullptr, nullptr,
                             inst, nullptr);
  if (!g_window) return false;
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageA(g_window, WM_SETFONT, WPARAM(font), FALSE);
  g_progress = make_control(PROGRESS_CLASSA, "", 0, 8, 10, 184, 24, ID_PROGRESS, font);
  SendMessageA(g_progress, PBM_SETRANGE32, 0, 100);
  SendMessageA(g_progress, PBM_SETPOS, 0, 0);
  g_label = make_control("STATIC", kProgressIdle, SS_LEFT, 9, 43, 183, 23, ID_LABEL, font);
  g_button = make_control("BUTTON", "开始更新", WS_TABSTOP | BS_PUSHBUTTON, 123, 75, 64, 24, ID_BUTTON, font);
  return true;
}

}  // namespace

uint32_t update_window(const char* address, const char* path) {
  if (!g_started) module_start();
  if (g_window || make_window()) {
    ShowWindow(g_window, SW_SHOWNORMAL);
    UpdateWindow(g_window);
  }
  text_assign(g_state.download_address, address);
  text_assign(g_state.target_path, path);
  return 0;
}

void on_start_clicked() {
  set_timer(kTickMs);
  TransferSettings* s = g_state.settings;
  if (!s) {  // the module could not set up its record: the download cannot start
    on_transfer_event(TRANSFER_FAILED, 0, 0, 0, 0);
    return;
  }
  s->read_chunk = 4096;
  text_assign(s->source, g_state.download_address);
  text_assign(s->target, g_state.target_path);
  s->attempts = 5;
  s->handler = on_transfer_event;
  g_ops->start(&g_state.transfer, s);
}

void on_timer_tick() {
  // Before the size is known no share can be computed: the label keeps "---".
  if (g_state.total_size == 0) return;
  set_position(round_to_int(percent_done()));
  char text[64];
  wsprintfA(text, "%s%d%%", kProgressPrefix, round_to_int(percent_done()));
  set_label(text);
}

int32_t __stdcall on_transfer_event(int32_t code, int32_t, int32_t value, int32_t, int32_t) {
  if (code == TRANSFER_TOTAL_SIZE) {
    g_state.total_size = value;
  } else if (code == TRANSFER_FINISHED) {
    set_timer(0);
    set_position(100);
    set_label(kProgressDone);
    if (MessageBoxA(nullptr, kAskRun.text, kAskRun.caption, kQuestionBox) == IDOK) start_program(g_state.target_path);
    // The host ends with the updater: its program file has been replaced.
    ExitProcess(0);
  } else if (code == TRANSFER_FAILED) {
    if (MessageBoxA(nullptr, kFailed.text, kFailed.caption, kQuestionBox) == IDOK) {
      cx::web::open_in_browser(cx::web::kMakerSiteRoot);
      if (g_button) EnableWindow(g_button, TRUE);
    }
  }
  return 0;
}

void module_unload(bool process_ending) {
  if (!g_started) return;
  text_release(g_state.download_address);
  text_release(g_state.target_path);
  g_ops->release(&g_state.transfer, process_ending);
  if (TransferSettings* s = g_state.settings) {
    text_release(s->source);
    text_release(s->target);
    text_release(s->user_name);
    text_release(s->password);
    text_release(s->referrer);
    text_release(s->extensions);
    text_release(s->reserved19);
    text_release(s->reserved20);
    HeapFree(GetProcessHeap(), 0, s);
  }
  g_state = ModuleState{};
  if (!process_ending && g_window) {
    // A window left behind must not call into code that is about to go.
    KillTimer(g_window, kTimerId);
    HWND w = g_window;
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId())
      DestroyWindow(w);
    else
      SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    g_window = g_progress = g_label = g_button = nullptr;
  }
  if (!process_ending) UnregisterClassA(kWindowClass, this_module());
  g_interval = 0;
  g_started = false;
}

const ModuleState& module_state() { return g_state; }
bool module_started() { return g_started; }
HWND module_window() { return g_window; }
int32_t module_timer_interval() { return g_interval; }
void module_use_transfer(const TransferOps* ops) { g_ops = ops ? ops : &kWinInetTransfer; }

}  // namespace updata
