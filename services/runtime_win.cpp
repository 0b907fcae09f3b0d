// Runtime services on Windows: message box, exit, declared-function calls,
// delay, event pumping, file writing, start-up and shutdown.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/declared_call.h"
#include "services/runtime.h"
#include "services/runtime_internal.h"

namespace cx {

namespace {

DWORD g_ole_thread = 0;  // the thread that initialised OLE (0: none)

const char* const kStandardLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                          "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

FARPROC find_export(HMODULE m, const char* function) {
  if (function[0] == '#') {
    unsigned long n = std::strtoul(function + 1, nullptr, 10);
    return GetProcAddress(m, MAKEINTRESOURCEA(WORD(n % 65536)));
  }
  return GetProcAddress(m, function);
}

void resolve(DeclaredEntry* e) {
  HMODULE module = nullptr;
  FARPROC address = nullptr;
  const char* lib = e->library ? e->library : "";
  if (lib[0] == 0) {
    for (const char* name : kStandardLibraries) {
      HMODULE m = LoadLibraryA(name);
      if (m == nullptr) continue;
      FARPROC f = find_export(m, e->function);
      if (f != nullptr) {
        module = m;
        address = f;
        break;
      }
      FreeLibrary(m);
    }
  } else {
    if (std::strchr(lib, ':') == nullptr) {
      std::string local = detail::recorded_program_directory() + "\\" + lib;
      module = LoadLibraryA(local.c_str());
      if (module == nullptr) module = LoadLibraryA(lib);
    } else {
      module = LoadLibraryA(lib);
    }
    if (module != nullptr) address = find_export(module, e->function);
  }
  if (address == nullptr) {
    if (module != nullptr) FreeLibrary(module);
    detail::missing_function(e);
  }
  e->module = module;
  e->address = reinterpret_cast<void*>(address);
}

}  // namespace

namespace detail {

int32_t platform_message_box(const char* text, const char* caption, uint32_t style, void* owner) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

void platform_exit(int32_t code) { ExitProcess(UINT(code)); }

std::string platform_program_path() {
  char buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  return std::string(buf, n);
}

uintptr_t platform_call_entry(DeclaredEntry* e, int argc, const DeclArg* args) {
  if (e->address == nullptr) resolve(e);
  DeclaredCallResult r = declared_call(e->address, argc, args);
  if (!r.stack_balanced) runtime_error_by_index(RTE_DLL_STACK);
  return r.value;
}

void platform_free_entry(DeclaredEntry* e) {
  if (e->module != nullptr) FreeLibrary(static_cast<HMODULE>(e->module));
  e->module = nullptr;
  e->address = nullptr;
}

void platform_delay(int32_t milliseconds) { Sleep(DWORD(milliseconds < 0 ? 0 : milliseconds)); }

void platform_process_events() {
  // Called once per tile and every few hundred characters of a long answer,
  // mostly with nothing queued. Under Wine a look that finds nothing costs
  // PeekMessage two round trips to the server and a flush of every window
  // surface; asking what kind of message is queued costs one round trip.
  if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return;
  MSG msg;
  // Look before taking: WM_QUIT must stay queued for the message loop.
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (msg.message == WM_QUIT) break;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {  // posted between the two looks: put it back
      PostQuitMessage(int(msg.wParam));
      break;
    }
    if (runtime_hooks().filter_message && runtime_hooks().filter_message(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace detail

bool write_file(const Text& name, const Bytes* parts, int count) {
  if (name.empty()) return false;
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (int i = 0; ok && i < count; ++i) {
    const uint8_t* p = parts[i].data();
    int32_t left = parts[i].size();
    while (ok && left > 0) {
      DWORD written = 0;
      if (!WriteFile(h, p, DWORD(left), &written, nullptr) || written == 0) ok = false;
      p += written;
      left -= int32_t(written);
    }
  }
  if (!CloseHandle(h)) ok = false;
  return ok;
}

void runtime_startup() {
  GetProcessHeap();
  if (g_ole_thread == 0 && SUCCEEDED(OleInitialize(nullptr))) g_ole_thread = GetCurrentThreadId();
  detail::record_program_directory();
  std::string dir = detail::recorded_program_directory();
  // "C:" alone would name the drive's current directory, not its root.
  if (!dir.empty() && dir.back() == ':') dir += '\\';
  if (!dir.empty()) SetCurrentDirectoryA(dir.c_str());
}

void runtime_shutdown() {
  free_declared_libraries();
  if (g_ole_thread != 0 && g_ole_thread == GetCurrentThreadId()) {
    OleUninitialize();
    g_ole_thread = 0;
  }
}

}  // namespace cx
