// Test helpers for windows, message boxes, processes and files under Windows,
// shared by the test programs of every folder. Every wait here has a time-out.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace probe {

inline std::string window_text(HWND w) {
  int n = GetWindowTextLengthA(w);
  std::string s(size_t(n) + 1, '\0');
  int got = GetWindowTextA(w, s.data(), n + 1);
  s.resize(size_t(got > 0 ? got : 0));
  return s;
}

inline std::string class_name(HWND w) {
  char buf[256] = {0};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

// Pumps this thread's messages until done() holds or ms have passed. The
// pump waits in MsgWaitForMultipleObjects, so it wakes as soon as a message
// arrives; the 10 ms bound only lets it look at done() again when the
// condition changes on another thread.
inline bool pump_until(const std::function<bool()>& done, int ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (done()) return true;
    if (GetTickCount() - start > DWORD(ms)) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// The one poll interval of the test programs, for conditions that signal
// nothing a test could block on (windows of other threads or processes,
// captions, pixels, files another process writes): short against anything a
// user sees and against the program's own waits, long enough not to take the
// processor from the program under test.
constexpr DWORD kPollMs = 20;
inline void pause_between_polls() { Sleep(kPollMs); }

// Waits without pumping, looking again after each poll interval.
inline bool wait_until(const std::function<bool()>& done, int ms) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > DWORD(ms)) return false;
    pause_between_polls();
  }
  return true;
}

// Pumps until everything this thread had queued before the call has been
// handled: a marker message is posted behind it and the pump runs until a
// window procedure has seen the marker (a nested loop may be the one that
// dispatches it). A check that something did not happen comes after this.
// The marker window belongs to the first thread that calls it: the tests'
// main thread.
inline bool pump_queued(int ms = 5000) {
  static const char kClass[] = "cx_probe_marker";
  static volatile LONG seen = 0;
  static LONG posted = 0;
  struct Marker {
    static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
      if (msg == WM_APP) {
        InterlockedExchange(&seen, LONG(wp));
        return 0;
      }
      return DefWindowProcA(w, msg, wp, lp);
    }
  };
  static HWND marker = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Marker::proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
    return CreateWindowA(kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }();
  LONG mine = ++posted;
  if (!PostMessageA(marker, WM_APP, WPARAM(mine), 0)) return false;
  return pump_until([&] { return seen == mine; }, ms);
}

struct WindowQuery {
  DWORD pid;
  const char* cls;
  const char* caption;
  std::vector<HWND> found;
};

inline BOOL CALLBACK collect_window(HWND w, LPARAM lp) {
  WindowQuery* q = reinterpret_cast<WindowQuery*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner != q->pid || !IsWindowVisible(w)) return TRUE;
  if (q->cls && class_name(w) != q->cls) return TRUE;
  if (q->caption && window_text(w) != q->caption) return TRUE;
  q->found.push_back(w);
  return TRUE;
}

// Visible top-level windows of process pid with this class (null: any) and caption (null: any).
inline std::vector<HWND> top_windows(DWORD pid, const char* cls, const char* caption) {
  WindowQuery q{pid, cls, caption, {}};
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

inline HWND wait_for_window(DWORD pid, const char* cls, const char* caption, int ms) {
  HWND found = nullptr;
  wait_until(
      [&] {
        auto all = top_windows(pid, cls, caption);
        found = all.empty() ? nullptr : all.front();
        return found != nullptr;
      },
      ms);
  return found;
}

struct SeenBox {
  std::string caption;
  std::string text;
  bool updater_window_open = false;  // a window "更新程序" of the same process was visible then
  HWND hwnd = nullptr;
  LONG style = 0, ex_style = 0;
  HICON icon = nullptr;
  bool watched_found = false;   // the watched window (BoxOptions::watched) existed then
  bool watched_enabled = true;  // ... and took input
};

// What a BoxResponder looks at besides the box itself.
struct BoxOptions {
  DWORD pid = GetCurrentProcessId();
  // A window whose state is recorded with each box (null: none).
  std::function<HWND()> watched;
  // Only boxes this accepts are answered; the others are left alone.
  std::function<bool(const SeenBox&)> accept;
  // Runs on the responder's thread with each accepted box, before it is answered.
  std::function<void(HWND)> look;
  // The windows to watch: dialog-class windows ("#32770"), which message
  // boxes and the file dialogs are.
  const char* cls = "#32770";
};

// Answers the message boxes (and other dialogs) of one process (this one by
// default) from a thread of its own: each box is recorded and answered with
// the next button of the script (the last one repeats). A box is answered once
// it is ready for input: shown, enabled, and the button to press is there and
// enabled. Win32 threads: the cross compiler's thread model has no std::thread.
class BoxResponder {
 public:
  explicit BoxResponder(std::vector<int> buttons, DWORD pid = GetCurrentProcessId())
      : BoxResponder(std::move(buttons), with_pid(pid)) {}
  BoxResponder(std::vector<int> buttons, BoxOptions options)
      : buttons_(std::move(buttons)), options_(std::move(options)) {
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(nullptr, 0, &BoxResponder::main, this, 0, nullptr);
  }
  ~BoxResponder() {
    stop_ = 1;
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
  }
  BoxResponder(const BoxResponder&) = delete;
  BoxResponder& operator=(const BoxResponder&) = delete;

  std::vector<SeenBox> seen() {
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
  }
  size_t count() { return seen().size(); }
  bool wait_for(size_t n, int ms) {
    return wait_until([&] { return count() >= n; }, ms);
  }

 private:
  static BoxOptions with_pid(DWORD pid) {
    BoxOptions o;
    o.pid = pid;
    return o;
  }
  static DWORD WINAPI main(void* self) {
    static_cast<BoxResponder*>(self)->run();
    return 0;
  }
  int next_button() {
    if (buttons_.empty()) return IDOK;
    return buttons_[seen_.size() < buttons_.size() ? seen_.size() : buttons_.size() - 1];
  }
  // A script may name a button the box does not show; such a box is
  // answered as soon as it takes input, as the system would take the command.
  static bool ready(HWND box, int button) {
    HWND b = GetDlgItem(box, button);
    return IsWindowEnabled(box) && (!b || !IsWindowVisible(b) || IsWindowEnabled(b));
  }
  SeenBox record(HWND box) {
    SeenBox s;
    s.hwnd = box;
    s.caption = window_text(box);
    s.text = window_text(GetDlgItem(box, 0xFFFF));
    s.updater_window_open = !top_windows(options_.pid, nullptr, "更新程序").empty();
    s.style = GetWindowLongA(box, GWL_STYLE);
    s.ex_style = GetWindowLongA(box, GWL_EXSTYLE);
    for (int id : {0x14, 0x440}) {  // the icon control's identifier differs between systems
      if (HICON icon = HICON(SendDlgItemMessageA(box, id, STM_GETICON, 0, 0))) s.icon = icon;
    }
    if (options_.watched) {
      HWND other = options_.watched();
      s.watched_found = other != nullptr;
      if (other) s.watched_enabled = IsWindowEnabled(other) != FALSE;
    }
    return s;
  }
  // One look at the process's windows; true when the responder is to stop.
  bool answer_boxes() {
    for (HWND box : top_windows(options_.pid, options_.cls, nullptr)) {
      if (box == answered_last_ && IsWindow(box)) continue;
      EnterCriticalSection(&lock_);
      int button = next_button();
      LeaveCriticalSection(&lock_);
      if (!ready(box, button)) continue;  // looked at again on the next round
      SeenBox s = record(box);
      if (options_.accept && !options_.accept(s)) continue;
      if (options_.look) options_.look(box);
      EnterCriticalSection(&lock_);
      seen_.push_back(s);
      LeaveCriticalSection(&lock_);
      answered_last_ = box;
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
    }
    return stop_ != 0;
  }
  void run() {
    while (!wait_until([&] { return answer_boxes(); }, 60000)) {
    }
  }
  std::vector<int> buttons_;
  BoxOptions options_;
  CRITICAL_SECTION lock_;
  std::vector<SeenBox> seen_;
  HWND answered_last_ = nullptr;
  volatile LONG stop_ = 0;
  HANDLE thread_ = nullptr;
};

// A child process started from a command line, its standard output and
// error (when captured) collected by a thread of its own. One still running
// when the object goes is terminated.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& command_line, bool capture_output = false) {
    HANDLE write_end = nullptr;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    if (capture_output) {
      SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
      if (!CreatePipe(&read_end_, &write_end, &sa, 0)) return;
      SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdOutput = write_end;
      si.hStdError = write_end;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::string cmd = command_line;
    started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, capture_output, 0, nullptr, nullptr, &si, &pi_) != 0;
    if (write_end) CloseHandle(write_end);  // the child holds its own copy
    if (started_ && read_end_) reader_ = CreateThread(nullptr, 0, &ChildProcess::read_output, this, 0, nullptr);
  }
  ~ChildProcess() {
    if (started_ && !ended_) {
      TerminateProcess(pi_.hProcess, 0xDEAD);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    join_reader();
    if (read_end_) CloseHandle(read_end_);
    if (started_) {
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return started_; }
  DWORD pid() const { return pi_.dwProcessId; }
  // Waits up to ms for the child to end; one still running is terminated
  // (and false returned).
  bool wait(int ms) {
    if (!started_) return false;
    ended_ = WaitForSingleObject(pi_.hProcess, DWORD(ms)) == WAIT_OBJECT_0;
    if (!ended_) {
      TerminateProcess(pi_.hProcess, 0xDEAD);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    join_reader();
    GetExitCodeProcess(pi_.hProcess, &exit_code_);
    bool ended = ended_;
    ended_ = true;  // nothing left to terminate
    return ended;
  }
  DWORD exit_code() const { return exit_code_; }
  // All the child wrote, once wait() has come back.
  const std::string& output() const { return output_; }

 private:
  static DWORD WINAPI read_output(void* self) {
    auto* c = static_cast<ChildProcess*>(self);
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(c->read_end_, buf, sizeof buf, &got, nullptr) && got > 0) c->output_.append(buf, got);
    return 0;
  }
  void join_reader() {
    if (!reader_) return;
    WaitForSingleObject(reader_, INFINITE);  // ends when the child's end of the pipe closes
    CloseHandle(reader_);
    reader_ = nullptr;
  }
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  bool ended_ = false;
  DWORD exit_code_ = 0;
  HANDLE read_end_ = nullptr;
  HANDLE reader_ = nullptr;
  std::string output_;
};

// Runs a program and collects its standard output; a program that has not
// ended after ms is terminated (finished stays false).
struct RunResult {
  bool finished = false;
  DWORD exit_code = 0;
  std::string output;
};
inline RunResult run_program(const std::string& command_line, int ms) {
  RunResult result;
  ChildProcess child(command_line, true);
  if (!child.started()) return result;
  result.finished = child.wait(ms);
  if (result.finished) result.exit_code = child.exit_code();
  result.output = child.output();
  return result;
}

// The system's temporary folder, without the closing backslash.
inline std::string temp_folder() {
  char dir[MAX_PATH] = {0};
  GetTempPathA(MAX_PATH, dir);
  std::string s(dir);
  while (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

inline std::string read_file(const std::string& path) {
  std::string data;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return data;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) data.append(buf, got);
  CloseHandle(f);
  return data;
}

inline bool write_file(const std::string& path, const std::string& data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
  CloseHandle(f);
  return ok;
}

inline bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names in folder matching pattern (e.g. "*.tmp").
inline std::vector<std::string> list(const std::string& folder, const char* pattern) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\" + pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return out;
}

// A fresh, empty folder under the system's temporary folder.
inline std::string fresh_folder(const char* name) {
  std::string dir = temp_folder() + "\\" + name + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(GetTickCount());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

inline void remove_folder(const std::string& dir) {
  for (const std::string& f : list(dir, "*")) {
    std::string p = dir + "\\" + f;
    SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(p.c_str());
  }
  RemoveDirectoryA(dir.c_str());
}

inline std::string module_folder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  size_t cut = s.find_last_of('\\');
  return cut == std::string::npos ? std::string(".") : s.substr(0, cut);
}

}  // namespace probe
