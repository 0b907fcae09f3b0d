#include "updater/transfer.h"

#include <windows.h>
#include <wininet.h>

#include "updater/base.h"
#include "updater/download.h"

namespace updata {
namespace {

const UINT WM_TRANSFER_EVENT = WM_APP + 0x2A1;
const char kNotifyClass[] = "CxTransferNotify";

}  // namespace

struct TransferObject {
  HWND notify;                 // message-only window on the starting thread
  HANDLE thread;               // worker of the latest start
  TransferEventHandler handler;
  volatile LONG done;          // bytes received
  volatile LONG running;       // start .. last event delivered
  volatile LONG worker_active; // WORKER_* below
  volatile LONG cancel;
  volatile LONG generation;    // events of an earlier start are dropped
  void* volatile root;         // the worker's WinInet root, closed to abort
};

namespace {

// One start's job: the download and how its events find their way back.
struct Job {
  TransferObject* owner;
  HWND notify;
  LONG generation;
  HMODULE module_ref;
  DownloadJob download;
};

// worker_active: the worker is running, has ended, or runs on after the
// record was released (it then frees the record itself when it ends).
enum : LONG { WORKER_DONE = 0, WORKER_ACTIVE = 1, WORKER_ORPHANED = 2 };

WPARAM pack_event(LONG generation, int32_t code) { return WPARAM((uint32_t(generation) & 0xFFFF) << 16 | (uint32_t(code) & 0xFFFF)); }

LRESULT CALLBACK notify_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_TRANSFER_EVENT) return DefWindowProcA(hwnd, msg, wp, lp);
  TransferObject* t = reinterpret_cast<TransferObject*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!t || HIWORD(wp) != (uint32_t(t->generation) & 0xFFFF)) return 0;
  int32_t code = LOWORD(wp);
  if (code == TRANSFER_FINISHED || code == TRANSFER_FAILED) InterlockedExchange(&t->running, 0);
  // The handler may end the process or release the transfer: t is not used after it.
  if (TransferEventHandler h = t->handler) h(code, 0, int32_t(lp), 0, 0);
  return 0;
}

HWND make_notify_window() {
  HINSTANCE inst = this_module();
  WNDCLASSA wc = {};
  wc.lpfnWndProc = notify_proc;
  wc.hInstance = inst;
  wc.lpszClassName = kNotifyClass;
  RegisterClassA(&wc);  // already registered by an earlier object: fine
  return CreateWindowExA(0, kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, nullptr);
}

void post_event(const Job* job, int32_t code, int32_t value) {
  PostMessageA(job->notify, WM_TRANSFER_EVENT, pack_event(job->generation, code), LPARAM(value));
}

int clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void close_root(TransferObject* t) {
  if (void* r = InterlockedExchangePointer(&t->root, nullptr)) InternetCloseHandle(static_cast<HINTERNET>(r));
}

void announce_size(void* context, int32_t size) { post_event(static_cast<const Job*>(context), TRANSFER_TOTAL_SIZE, size); }

void free_job(Job* job) {
  text_release(job->download.source);
  text_release(job->download.target);
  text_release(job->download.referrer);
  text_release(job->download.endings);
  HeapFree(GetProcessHeap(), 0, job);
}

DWORD WINAPI worker(void* param) {
  Job* job = static_cast<Job*>(param);
  TransferObject* t = job->owner;
  int32_t code = run_download(job->download);
  HMODULE self = job->module_ref;
  if (!PostMessageA(job->notify, WM_TRANSFER_EVENT, pack_event(job->generation, code), 0))
    InterlockedExchange(&t->running, 0);  // nobody is left to tell
  free_job(job);
  if (InterlockedExchange(&t->worker_active, WORKER_DONE) == WORKER_ORPHANED) HeapFree(GetProcessHeap(), 0, t);
  // The reference taken at start keeps this code mapped until here.
  if (self) FreeLibraryAndExitThread(self, 0);
  return 0;
}

HANDLE system_thread_starter(LPTHREAD_START_ROUTINE routine, void* param) {
  return CreateThread(nullptr, 0, routine, param, 0, nullptr);
}
ThreadStarter g_thread_starter = system_thread_starter;

// A start that cannot begin says so like any failed transfer.
void report_start_failure(const TransferSettings* s) {
  if (s && s->handler) s->handler(TRANSFER_FAILED, 0, 0, 0, 0);
}

// Waits for the worker of an earlier start that has already said its last word.
void reap_worker(TransferObject* t) {
  if (!t->thread) return;
  WaitForSingleObject(t->thread, 10000);
  CloseHandle(t->thread);
  t->thread = nullptr;
}

}  // namespace

void transfer_start(TransferHandle* transfer, const TransferSettings* s) {
  TransferObject* t = *transfer;
  if (t && t->running) return;
  if (!s) return;
  if (!t) {
    t = static_cast<TransferObject*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TransferObject)));
    if (!t) return report_start_failure(s);
    *transfer = t;
  }
  if (!t->notify) {
    t->notify = make_notify_window();
    if (!t->notify) return report_start_failure(s);
    SetWindowLongPtrA(t->notify, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(t));
  }
  reap_worker(t);

  Job* job = static_cast<Job*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Job)));
  if (!job) return report_start_failure(s);
  job->owner = t;
  job->notify = t->notify;
  job->generation = InterlockedIncrement(&t->generation);
  DownloadJob& d = job->download;
  d.source = text_copy(s->source);
  d.target = text_copy(s->target);
  d.referrer = text_copy(s->referrer);
  d.endings = text_copy(s->extensions);
  d.attempts = clamp(s->attempts, 1, 100);
  d.connect_timeout = clamp(s->connect_timeout, 1, 0x7FFFFFFF);
  d.send_timeout = clamp(s->send_timeout, 1, 0x7FFFFFFF);
  d.receive_timeout = clamp(s->receive_timeout, 1, 0x7FFFFFFF);
  d.retry_pause = clamp(s->retry_pause, 0, 60000);
  d.write_buffer = clamp(s->write_buffer, 512, 1 << 24);
  d.read_chunk = clamp(s->read_chunk < s->min_read_chunk ? s->min_read_chunk : s->read_chunk, 1, d.write_buffer);
  d.cancel = &t->cancel;
  d.done = &t->done;
  d.session = &t->root;
  d.announce_size = announce_size;
  d.context = job;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&worker), &job->module_ref);

  t->handler = s->handler;
  InterlockedExchange(&t->done, 0);
  InterlockedExchange(&t->cancel, 0);
  InterlockedExchange(&t->running, 1);
  InterlockedExchange(&t->worker_active, WORKER_ACTIVE);
  t->thread = g_thread_starter(worker, job);
  if (!t->thread) {
    if (job->module_ref) FreeLibrary(job->module_ref);
    free_job(job);
    InterlockedExchange(&t->worker_active, WORKER_DONE);
    InterlockedExchange(&t->running, 0);
    report_start_failure(s);
  }
}

int32_t transfer_progress(TransferHandle t) {
  return t ? int32_t(t->done) : 0;
}

bool transfer_running(TransferHandle t) {
  return t && t->running;
}

void transfer_release(TransferHandle* transfer, bool process_ending) {
  TransferObject* t = *transfer;
  *transfer = nullptr;
  if (!t) return;
  if (process_ending) {  // the worker is gone with the other threads; so is any need to tidy up
    HeapFree(GetProcessHeap(), 0, t);
    return;
  }
  InterlockedIncrement(&t->generation);  // queued events are now stale
  if (t->worker_active) {
    InterlockedExchange(&t->cancel, 1);
    close_root(t);
    // A worker blocked on a silent server may not notice at once; it is then
    // left to finish on its own and frees the record when it ends.
    WaitForSingleObject(t->thread, 1000);
  }
  if (t->thread) CloseHandle(t->thread);
  if (t->notify) {
    SetWindowLongPtrA(t->notify, GWLP_USERDATA, 0);
    DestroyWindow(t->notify);
  }
  if (InterlockedCompareExchange(&t->worker_active, WORKER_ORPHANED, WORKER_ACTIVE) == WORKER_ACTIVE) return;
  HeapFree(GetProcessHeap(), 0, t);
}

const TransferOps kWinInetTransfer = {transfer_start, transfer_progress, transfer_release};

void set_transfer_thread_starter(ThreadStarter starter) {
  g_thread_starter = starter ? starter : system_thread_starter;
}

}  // namespace updata
