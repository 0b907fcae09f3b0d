// Benchmark: decoding a 1 MB continuation answer. The engine route and the
// fallback each in a process of their own (this program again), for their
// time and the peak working set each reaches; then the whole decoding while a
// window of this thread receives posted messages, which the fallback's
// message handling must dispatch. Prints figures; sets no limits.
#include <windows.h>
#include <ole2.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/escape_decoding.h"
#include "app/escape_engine.h"
#include "app/escape_literal.h"
#include "services/automation.h"
#include "services/runtime.h"
#include "tests/support/win_probe.h"

namespace {

using cx::Text;

constexpr UINT kTick = WM_APP + 1;
LONG g_handled = 0;
LONG g_posted = 0;
HANDLE g_stop = nullptr;  // set when the decoding has ended

LRESULT CALLBACK window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kTick) {
    ++g_handled;
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

// Posts a message about every millisecond (the pace of a busy user) until the
// stop event is set.
DWORD WINAPI poster(void* window) {
  do {
    if (PostMessageA(static_cast<HWND>(window), kTick, 0, 0)) InterlockedIncrement(&g_posted);
  } while (WaitForSingleObject(g_stop, 1) == WAIT_TIMEOUT);
  return 0;
}

double now_ms() {
  static LARGE_INTEGER f = [] { LARGE_INTEGER x; QueryPerformanceFrequency(&x); return x; }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// A continuation answer as the site sends it: escaped tile markup.
std::string continuation_answer(size_t at_least) {
  std::string a = "{\"content_html\":\"";
  for (int n = 0; a.size() < at_least; ++n) {
    std::string id = std::to_string(100000 + n);
    a += "\\u003cdiv class=\\\"cx-lockup-title\\\"\\u003e\\u003ca title=\\\"\\u4e2d\\u6587\\u89c6\\u9891 " + id +
         "\\\" href=\\\"\\/watch?v=v" + id + "\\\"\\u003eVideo title " + id +
         " it\\u0027s\\u003c\\/a\\u003e\\u003c\\/div\\u003e\\u003cdiv class=\\\"cx-lockup-meta\\\"\\u003e" + id +
         " views\\u003c\\/div\\u003e\\n";
  }
  return a + "\"}";
}

double peak_working_set_mb() {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
  return double(m.PeakWorkingSetSize) / 1048576.0;
}

struct Timed {
  double ms;
  Text text;
};

template <class F>
Timed timed(F f) {
  double t0 = now_ms();
  Text r = f();
  return {now_ms() - t0, std::move(r)};
}

// One route on the prepared answer, in this process, which has done nothing
// else: its time (the fallback's with its window turns), and the peak
// working set before and after it (the engine loaded beforehand by a short
// answer, so that its libraries count before).
int measure_route(const char* route) {
  CoInitialize(nullptr);
  const Text answer = Text::copy(continuation_answer(1 << 20));
  Text prepared = cx::prepare_escaped_answer(answer);
  const bool engine = std::strcmp(route, "engine") == 0;
  if (engine) cx::script_engine_decode(Text::literal("x"));
  const double before = peak_working_set_mb();
  Timed t = timed([&] { return engine ? cx::script_engine_decode(prepared) : cx::percent_decode_fallback(prepared); });
  const double after = peak_working_set_mb();
  std::printf("route %s %.1f ms %d bytes, peak working set %.1f MB before, %.1f MB after\n", route, t.ms,
              t.text.length(), before, after);
  CoUninitialize();
  return 0;
}

struct RouteFigures {
  bool read = false;
  double ms = 0, before = 0, after = 0;
  int bytes = 0;
};

RouteFigures run_route(const char* route) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const probe::RunResult run = probe::run_program(std::string("\"") + self + "\" --route=" + route, 120000);
  RouteFigures f;
  const size_t at = run.output.find("route ");
  char name[16];
  f.read = at != std::string::npos && std::sscanf(run.output.c_str() + at, "route %15s %lf ms %d bytes, peak working set %lf MB before, %lf MB after",
                                                  name, &f.ms, &f.bytes, &f.before, &f.after) == 5;
  if (!f.read) std::printf("the %s route's process said: %s\n", route, run.output.c_str());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], "--route=", 8) == 0) return measure_route(argv[1] + 8);

  std::printf("a 1 MB answer, each route in a process of its own (%s):\n", sizeof(void*) == 8 ? "64-bit" : "32-bit");
  const RouteFigures engine = run_route("engine"), fallback = run_route("fallback");
  if (engine.read && fallback.read) {
    std::printf("  engine route (pieces, Script Control): %7.1f ms, %d bytes; peak working set %.1f MB, %.1f MB above "
                "its start\n", engine.ms, engine.bytes, engine.after, engine.after - engine.before);
    std::printf("  fallback (own reading, window turns):  %7.1f ms, %d bytes; peak working set %.1f MB, %.1f MB above "
                "its start\n", fallback.ms, fallback.bytes, fallback.after, fallback.after - fallback.before);
    std::printf("  goal, the fallback no slower than the engine route: %s (%.2f times its time)\n",
                fallback.ms <= engine.ms ? "met" : "not met", fallback.ms / engine.ms);
  }

  CoInitialize(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = window_proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "cx_escape_bench";
  RegisterClassA(&wc);
  HWND window = CreateWindowA(wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              wc.hInstance, nullptr);

  const std::string raw = continuation_answer(1 << 20);
  Text answer = Text::copy(raw);
  std::printf("answer: %d bytes\n", answer.length());

  // The cost of one process_events with nothing queued.
  const int calls = 200000;
  double t0 = now_ms();
  for (int i = 0; i < calls; ++i) cx::process_events();
  double per_call_us = (now_ms() - t0) * 1000.0 / calls;
  std::printf("process_events, empty queue: %.3f us per call\n", per_call_us);

  Timed prepared = timed([&] { return cx::prepare_escaped_answer(answer); });
  std::printf("preparation: %.1f ms (%d bytes)\n", prepared.ms, prepared.text.length());

  // The fallback's own work, with the message handling replaced by nothing.
  cx::runtime_hooks().process_events = [] {};
  Timed bare = timed([&] { return cx::percent_decode_fallback(prepared.text); });
  cx::runtime_hooks().process_events = nullptr;
  std::printf("fallback without message handling: %.1f ms\n", bare.ms);

  g_handled = 0;
  Timed fallback_alone = timed([&] { return cx::percent_decode_fallback(prepared.text); });
  std::printf("fallback with it: %.1f ms (%d bytes), %.3f us per character for the message handling\n",
              fallback_alone.ms, fallback_alone.text.length(),
              (fallback_alone.ms - bare.ms) * 1000.0 / prepared.text.length());

  // The fallback with a window receiving messages meanwhile: the window's turns.
  g_handled = g_posted = 0;
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, poster, window, 0, nullptr);
  probe::wait_until([] { return g_posted > 0; }, 5000);  // the poster has begun
  Timed whole = timed([&] { return cx::percent_decode_fallback(prepared.text); });
  SetEvent(g_stop);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  CloseHandle(g_stop);
  LONG handled_during = g_handled;
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  std::printf("fallback while a window gets messages: %.1f ms; messages posted %ld, handled during the run %ld\n",
              whole.ms, g_posted, handled_during);

  // The whole decoding as the program runs it (the engine, where there is one).
  Timed decoded = timed([&] { return cx::decode_escapes(answer); });
  std::printf("decode_escapes: %.1f ms (%d bytes)\n", decoded.ms, decoded.text.length());

  DestroyWindow(window);
  CoUninitialize();
  return 0;
}
