// Runtime services in the native build, where the platform-free code is
// tested: boxes go to standard error and answer with their default button,
// the declared functions the logic uses are provided here.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <ctime>

#include "services/codepage.h"
#include "services/runtime.h"
#include "services/runtime_internal.h"

namespace cx {

namespace {

// Button sets of the box styles 0..5 as platform button ids.
const int32_t kButtonSets[6][3] = {
    {1, 0, 0},  // OK
    {1, 2, 0},  // OK, Cancel
    {3, 4, 5},  // Abort, Retry, Ignore
    {6, 7, 2},  // Yes, No, Cancel
    {6, 7, 0},  // Yes, No
    {4, 2, 0},  // Retry, Cancel
};

bool same_name(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

}  // namespace

namespace detail {

int32_t platform_message_box(const char* text, const char* caption, uint32_t style, void* owner) {
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  uint32_t set = style & 0xF;
  uint32_t def = (style >> 8) & 0xF;
  if (set > 5) return 0;
  int32_t id = def < 3 ? kButtonSets[set][def] : 0;
  return id != 0 ? id : kButtonSets[set][0];
}

void platform_exit(int32_t code) {
  std::fflush(nullptr);
  std::exit(code);
}

std::string platform_program_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, size_t(n));
}

// Only the functions the program declares from the system libraries exist
// here; anything else is reported as missing, as on a system without it.
uintptr_t platform_call_entry(DeclaredEntry* e, int argc, const DeclArg* args) {
  auto arg = [&](int i) -> DeclArg { return i < argc ? args[i] : 0; };
  if (same_name(e->library, "ole32.dll") && (std::strcmp(e->function, "CoInitialize") == 0 ||
                                             std::strcmp(e->function, "CoUninitialize") == 0))
    return 0;
  if (same_name(e->library, "kernel32.dll") && std::strcmp(e->function, "WideCharToMultiByte") == 0) {
    if (argc != 8) runtime_error_by_index(RTE_DLL_STACK);
    if (uint32_t(arg(0)) != 936) return 0;
    return uintptr_t(uint32_t(wide_to_multibyte_936(uint32_t(arg(1)), reinterpret_cast<const char16_t*>(arg(2)),
                                                    int(int32_t(uint32_t(arg(3)))), reinterpret_cast<char*>(arg(4)),
                                                    int(int32_t(uint32_t(arg(5)))))));
  }
  detail::missing_function(e);
}

void platform_free_entry(DeclaredEntry* e) {
  e->module = nullptr;
  e->address = nullptr;
}

void platform_delay(int32_t milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec ts = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Without a window system there are no messages: only a hook has work here.
void platform_process_events() {}

}  // namespace detail

bool write_file(const Text& name, const Bytes* parts, int count) {
  if (name.empty()) return false;
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (int i = 0; ok && i < count; ++i) {
    const uint8_t* p = parts[i].data();
    size_t left = size_t(parts[i].size() > 0 ? parts[i].size() : 0);
    while (ok && left > 0) {
      ssize_t w = ::write(fd, p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      p += w;
      left -= size_t(w);
    }
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

void runtime_startup() {
  detail::record_program_directory();
  std::string dir = detail::recorded_program_directory();
  if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
    // The directory was just read from the running program's path; failing
    // to enter it leaves the current directory as it was.
  }
}

void runtime_shutdown() { free_declared_libraries(); }

}  // namespace cx
