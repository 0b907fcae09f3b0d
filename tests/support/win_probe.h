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

// Pumps this thread's messages until done() holds or ms have passed.
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

// Waits without pumping (for windows of other threads or processes).
inline bool wait_until(const std::function<bool()>& done, int ms) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > DWORD(ms)) return false;
    Sleep(20);
  }
  return true;
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
};

// Answers the message boxes of one process (this one by default) from a
// thread of its own: each box is recorded and answered with the next button
// of the script (the last one repeats). Win32 threads: the cross compiler's
// thread model has no std::thread.
class BoxResponder {
 public:
  explicit BoxResponder(std::vector<int> buttons, DWORD pid = GetCurrentProcessId())
      : buttons_(std::move(buttons)), pid_(pid) {
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
  static DWORD WINAPI main(void* self) {
    static_cast<BoxResponder*>(self)->run();
    return 0;
  }
  void run() {
    while (!stop_) {
      for (HWND box : top_windows(pid_, "#32770", nullptr)) {
        if (box == answered_last_ && IsWindow(box)) continue;
        SeenBox s;
        s.caption = window_text(box);
        s.text = window_text(GetDlgItem(box, 0xFFFF));
        s.updater_window_open = !top_windows(pid_, nullptr, "更新程序").empty();
        EnterCriticalSection(&lock_);
        int button = buttons_.empty() ? IDOK : buttons_[seen_.size() < buttons_.size() ? seen_.size() : buttons_.size() - 1];
        seen_.push_back(s);
        LeaveCriticalSection(&lock_);
        answered_last_ = box;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
      }
      Sleep(30);
    }
  }
  std::vector<int> buttons_;
  DWORD pid_;
  CRITICAL_SECTION lock_;
  std::vector<SeenBox> seen_;
  HWND answered_last_ = nullptr;
  volatile LONG stop_ = 0;
  HANDLE thread_ = nullptr;
};

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
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  std::string dir = std::string(tmp) + name + "_" + std::to_string(GetCurrentProcessId()) + "_" +
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
