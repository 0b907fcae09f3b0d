// Small platform helpers for the service tests: temporary files, the test
// program's own path, and running a call with a time-out.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#define PATH_SEP "\\"
#else
#include <pthread.h>
#include <time.h>
#include <unistd.h>
#include <sys/stat.h>
#define PATH_SEP "/"
#endif

inline std::string test_temp_path(const std::string& name) {
#ifdef _WIN32
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, dir);
  std::string d(dir, n);
  if (!d.empty() && d.back() == '\\') d.pop_back();
  return d + "\\" + name + "_" + std::to_string(GetCurrentProcessId());
#else
  const char* t = getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/" + name + "_" + std::to_string(getpid());
#endif
}

inline std::string read_whole_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline bool file_exists(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return bool(f);
}

inline std::string own_program_path() {
#ifdef _WIN32
  char buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
#else
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
#endif
}

#ifdef _WIN32
template <class F>
struct ThreadBody {
  static F* target;
  static DWORD WINAPI run(LPVOID) { (*target)(); return 0; }
};
template <class F>
F* ThreadBody<F>::target = nullptr;
#endif

// Runs fn on its own thread and reports whether it ended within ms. A call
// that hangs is left behind (the test fails instead of hanging).
template <class F>
bool finishes_within(F fn, unsigned ms) {
#ifdef _WIN32
  ThreadBody<F>::target = &fn;
  HANDLE h = CreateThread(nullptr, 0, &ThreadBody<F>::run, nullptr, 0, nullptr);
  if (!h) return false;
  bool done = WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
  CloseHandle(h);
  return done;
#else
  static F* target;
  target = &fn;
  pthread_t t;
  if (pthread_create(&t, nullptr, [](void*) -> void* { (*target)(); return nullptr; }, nullptr) != 0) return false;
  struct timespec until;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += ms / 1000;
  until.tv_nsec += long(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) { until.tv_sec++; until.tv_nsec -= 1000000000L; }
  bool done = pthread_timedjoin_np(t, nullptr, &until) == 0;
  if (!done) pthread_detach(t);
  return done;
#endif
}
