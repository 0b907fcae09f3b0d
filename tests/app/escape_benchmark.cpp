// Benchmark: decoding a 1 MB continuation answer (script and fallback) while
// a window of this thread receives posted messages, which the decoder's
// message handling must dispatch. Prints figures; sets no limits.
#include <windows.h>
#include <ole2.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "app/escape_decoding.h"
#include "services/automation.h"
#include "services/runtime.h"

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

}  // namespace

int main() {
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

  // The peak working set is a high-water mark, so what the engine needs for
  // one answer shows only before anything larger has run: first the decoder
  // as the program runs it (the engine given the answer in pieces), then the
  // whole answer as one script. A short answer loads the engine beforehand.
  cx::decode_escapes(Text::literal("x"));
  const double peak_at_start = peak_working_set_mb();
  Timed in_pieces = timed([&] { return cx::decode_escapes(answer); });
  const double peak_in_pieces = peak_working_set_mb();
  Timed script = timed([&] {
    cx::ObjectRecord engine;
    cx::object_create(&engine, Text::literal("ScriptControl"));
    cx::object_set_property(&engine, Text::literal("Language"), cx::cell_text("JScript"));
    Text s = cx::build_decoding_script(prepared.text);
    cx::Cell arg = cx::cell_text(s);
    cx::object_call_number(&engine, Text::literal("ExecuteStatement"), 1, &arg);
    cx::Cell name = cx::cell_text("xx");
    Text r = cx::object_call_text(&engine, Text::literal("Run"), 1, &name);
    cx::object_clear(&engine);
    return r;
  });
  const double peak_whole = peak_working_set_mb();
  std::printf("decode_escapes, the engine given pieces: %.1f ms (%d bytes); peak working set %.1f MB before, "
              "%.1f MB after\n",
              in_pieces.ms, in_pieces.text.length(), peak_at_start, peak_in_pieces);
  std::printf("the whole answer as one script instead: %.1f ms (%d bytes); peak working set %.1f MB after\n",
              script.ms, script.text.length(), peak_whole);

  // The fallback's own work, with the message handling replaced by nothing.
  cx::runtime_hooks().process_events = [] {};
  Timed bare = timed([&] { return cx::percent_decode_fallback(prepared.text); });
  cx::runtime_hooks().process_events = nullptr;
  std::printf("fallback without message handling: %.1f ms\n", bare.ms);

  g_handled = 0;
  Timed fallback = timed([&] { return cx::percent_decode_fallback(prepared.text); });
  std::printf("fallback alone: %.1f ms (%d bytes), %.3f us per character for the message handling\n", fallback.ms,
              fallback.text.length(), (fallback.ms - bare.ms) * 1000.0 / prepared.text.length());

  // The whole decoding with a window receiving messages meanwhile.
  g_handled = g_posted = 0;
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, poster, window, 0, nullptr);
  Timed whole = timed([&] { return cx::decode_escapes(answer); });
  SetEvent(g_stop);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  CloseHandle(g_stop);
  LONG handled_during = g_handled;
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  std::printf("decode_escapes: %.1f ms (%d bytes); messages posted %ld, handled during the run %ld\n", whole.ms,
              whole.text.length(), g_posted, handled_during);
  std::printf("goal 1000 ms: %s\n", whole.ms < 1000.0 ? "met" : "not met");

  DestroyWindow(window);
  CoUninitialize();
  return 0;
}
