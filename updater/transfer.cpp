#include "updater/transfer.h"

#include <windows.h>
#include <wininet.h>

#include "updater/base.h"
#include "updater/update_files.h"

namespace updata {
namespace {

const UINT WM_TRANSFER_EVENT = WM_APP + 0x2A1;
const char kNotifyClass[] = "CxTransferNotify";
const char kAgent[] = "Mozilla/4.0 (compatible; Clipdex updater 1.0)";

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

// What the worker needs, copied at start: the caller may change the settings
// record meanwhile.
struct Job {
  TransferObject* owner;
  HWND notify;
  LONG generation;
  HMODULE module_ref;
  char* source;
  char* target;
  char* referrer;
  char* endings;
  int attempts, connect_timeout, send_timeout, receive_timeout, retry_pause;
  int write_buffer, read_chunk;
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

bool supported_address(const char* address) {
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = 1;  // asks for the scheme only
  if (!InternetCrackUrlA(address, 0, 0, &parts)) return false;
  return parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS;
}

void close_root(TransferObject* t) {
  if (void* r = InterlockedExchangePointer(&t->root, nullptr)) InternetCloseHandle(static_cast<HINTERNET>(r));
}

HINTERNET open_request(const Job* job, TransferObject* t) {
  HINTERNET root = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!root) return nullptr;
  InterlockedExchangePointer(&t->root, root);
  if (t->cancel) return nullptr;
  DWORD v = DWORD(job->connect_timeout);
  InternetSetOptionA(root, INTERNET_OPTION_CONNECT_TIMEOUT, &v, sizeof v);
  v = DWORD(job->send_timeout);
  InternetSetOptionA(root, INTERNET_OPTION_SEND_TIMEOUT, &v, sizeof v);
  v = DWORD(job->receive_timeout);
  InternetSetOptionA(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &v, sizeof v);

  char* headers = nullptr;
  if (job->referrer) {
    char* line = text_join("Referer: ", job->referrer);
    headers = text_join(line, "\r\n");
    text_release(line);
  }
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  HINTERNET request = nullptr;
  for (int attempt = 1; attempt <= job->attempts && !t->cancel; ++attempt) {
    request = InternetOpenUrlA(root, job->source, headers, headers ? DWORD(-1) : 0, flags, 0);
    if (request) break;
    for (int waited = 0; attempt < job->attempts && waited < job->retry_pause && !t->cancel; waited += 50) Sleep(50);
  }
  text_release(headers);
  return request;
}

bool query_number(HINTERNET request, DWORD what, DWORD* value) {
  DWORD size = sizeof *value, index = 0;
  return HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, value, &size, &index) != FALSE;
}

// While set, the system deletes the file when its last handle closes, also
// when the process ends in the middle of the download.
bool set_delete_on_close(HANDLE file, bool deleted) {
  FILE_DISPOSITION_INFO disposition = {BOOLEAN(deleted ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool write_all(HANDLE file, const char* data, DWORD n) {
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, n, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

// Reads the whole answer into temp_path. True only for a complete program
// image behind a success status.
bool download(const Job* job, TransferObject* t, const char* temp_path) {
  HINTERNET request = open_request(job, t);
  if (!request) {
    close_root(t);
    return false;
  }

  bool ok = false;
  DWORD status = 0, announced = 0;
  bool has_length = false;
  char* buffer = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  do {
    if (!query_number(request, HTTP_QUERY_STATUS_CODE, &status) || status < 200 || status > 299) break;
    has_length = query_number(request, HTTP_QUERY_CONTENT_LENGTH, &announced);
    if (has_length) {
      if (announced > 0x7FFFFFFFu) break;
      post_event(job, TRANSFER_TOTAL_SIZE, int32_t(announced));
    }
    file = CreateFileA(temp_path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) break;
    // A download the process does not live to finish (the program closed
    // meanwhile) leaves nothing behind; one that cannot be marked is removed
    // by the next start or update.
    set_delete_on_close(file, true);
    buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, job->write_buffer));
    if (!buffer) break;

    DWORD total = 0, filled = 0;
    bool failed = false;
    for (;;) {
      if (t->cancel) { failed = true; break; }
      DWORD want = DWORD(job->write_buffer) - filled;
      if (want > DWORD(job->read_chunk)) want = DWORD(job->read_chunk);
      // A read waits until its whole chunk has come; asking for what has
      // arrived keeps the progress true while the server is slow.
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request, &available, 0, 0)) { failed = true; break; }
      if (available > 0 && available < want) want = available;
      DWORD got = 0;
      if (!InternetReadFile(request, buffer + filled, want, &got)) { failed = true; break; }
      if (got == 0) break;
      total += got;
      filled += got;
      if ((has_length && total > announced) || total > 0x7FFFFFFFu) { failed = true; break; }
      InterlockedExchange(&t->done, LONG(total));
      if (filled == DWORD(job->write_buffer)) {
        if (!write_all(file, buffer, filled)) { failed = true; break; }
        filled = 0;
      }
    }
    if (failed || !write_all(file, buffer, filled)) break;
    if (has_length && total != announced) break;  // the connection ended early
    // An error page, or a program cut short by a connection that closed
    // without having announced the length.
    if (!is_complete_image_file(file)) break;
    if (!FlushFileBuffers(file)) break;
    if (!set_delete_on_close(file, false)) break;  // kept: it is the new program
    ok = true;
  } while (false);

  if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) ok = false;
  if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
  InternetCloseHandle(request);
  close_root(t);
  return ok;
}

int32_t run_job(const Job* job, TransferObject* t) {
  if (!job->source || !job->target) return TRANSFER_FAILED;
  if (!has_listed_ending(job->target, job->endings) || !supported_address(job->source)) return TRANSFER_FAILED;
  // The temporary file lies beside the target, so that moving it in is a rename.
  char folder[MAX_PATH];
  char temp[MAX_PATH];
  if (!folder_of(job->target, folder, MAX_PATH - 14)) return TRANSFER_FAILED;
  remove_update_leftovers(job->target);
  if (!GetTempFileNameA(folder, kTemporaryPrefix, 0, temp)) return TRANSFER_FAILED;
  const bool downloaded = download(job, t, temp) && !t->cancel;
  const bool ok = downloaded && replace_file(job->target, temp);
  // A complete program that could not be put in place while the target's
  // place stayed empty is all the user has left: it is kept.
  const bool stranded = downloaded && !ok && GetFileAttributesA(job->target) == INVALID_FILE_ATTRIBUTES;
  if (!ok && !stranded) DeleteFileA(temp);
  return ok ? TRANSFER_FINISHED : TRANSFER_FAILED;
}

void free_job(Job* job) {
  text_release(job->source);
  text_release(job->target);
  text_release(job->referrer);
  text_release(job->endings);
  HeapFree(GetProcessHeap(), 0, job);
}

DWORD WINAPI worker(void* param) {
  Job* job = static_cast<Job*>(param);
  TransferObject* t = job->owner;
  int32_t code = run_job(job, t);
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

const SwapFileOps kSystemSwapOps = {MoveFileExA, CopyFileA};
const SwapFileOps* g_swap = &kSystemSwapOps;

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
  job->source = text_copy(s->source);
  job->target = text_copy(s->target);
  job->referrer = text_copy(s->referrer);
  job->endings = text_copy(s->extensions);
  job->attempts = clamp(s->attempts, 1, 100);
  job->connect_timeout = clamp(s->connect_timeout, 1, 0x7FFFFFFF);
  job->send_timeout = clamp(s->send_timeout, 1, 0x7FFFFFFF);
  job->receive_timeout = clamp(s->receive_timeout, 1, 0x7FFFFFFF);
  job->retry_pause = clamp(s->retry_pause, 0, 60000);
  job->write_buffer = clamp(s->write_buffer, 512, 1 << 24);
  job->read_chunk = clamp(s->read_chunk < s->min_read_chunk ? s->min_read_chunk : s->read_chunk, 1, job->write_buffer);
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

bool replace_file(const char* target, const char* new_file) {
  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES)
    return MoveFileExA(new_file, target, MOVEFILE_WRITE_THROUGH) != FALSE;

  // The first aside name that is free or can be freed: an older one may still be in use.
  char aside[MAX_PATH + 8];
  bool named = false;
  for (int i = 0; i < kAsideNames && !named; ++i) {
    if (!aside_name_of(target, i, aside)) return false;
    named = GetFileAttributesA(aside) == INVALID_FILE_ATTRIBUTES || DeleteFileA(aside);
  }
  if (!named || !g_swap->move(target, aside, 0)) return false;
  bool replaced = g_swap->move(new_file, target, MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!replaced) {
    if (g_swap->move(aside, target, 0)) return false;
    // The old file cannot go back: a copy of the complete new one takes the
    // place, or failing that a copy of the old one; an empty place is the
    // one outcome that must not be.
    replaced = g_swap->copy(new_file, target, TRUE) != FALSE;
    if (replaced) {
      DeleteFileA(new_file);
    } else {
      DeleteFileA(target);  // whatever part of the copy was made
      if (g_swap->copy(aside, target, TRUE)) DeleteFileA(aside);
      return false;
    }
  }
  // The program running from the aside file keeps it in use until it ends;
  // the program's next start removes it then.
  if (!DeleteFileA(aside)) MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

namespace {

// Reads n bytes at offset of the image; false when they are not all there.
using ReadAt = bool (*)(void* source, uint64_t offset, void* out, uint32_t n);

struct Memory {
  const unsigned char* data;
  uint64_t size;
};

bool read_memory(void* source, uint64_t offset, void* out, uint32_t n) {
  const Memory* m = static_cast<const Memory*>(source);
  if (offset > m->size || n > m->size - offset) return false;
  CopyMemory(out, m->data + offset, n);
  return true;
}

bool read_file_at(void* source, uint64_t offset, void* out, uint32_t n) {
  HANDLE file = static_cast<HANDLE>(source);
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(offset);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  DWORD got = 0;
  return ReadFile(file, out, n, &got, nullptr) && got == n;
}

uint32_t le16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | le16(p + 2) << 16; }

bool image_complete(ReadAt read, void* source, uint64_t size) {
  unsigned char dos[64];
  if (!read(source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const uint64_t pe = le32(dos + 0x3C);
  unsigned char nt[4 + 20];  // signature and file header
  if (!read(source, pe, nt, sizeof nt)) return false;
  if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return false;
  const uint32_t sections = le16(nt + 4 + 2);
  const uint32_t optional_size = le16(nt + 4 + 16);
  if (sections == 0 || optional_size < 2) return false;
  // The optional header up to the certificate table's directory entry.
  unsigned char optional[144 + 8] = {};
  const uint32_t optional_read = optional_size < sizeof optional ? optional_size : uint32_t(sizeof optional);
  if (!read(source, pe + 24, optional, optional_read)) return false;
  const uint32_t magic = le16(optional);
  const uint32_t directories_at = magic == 0x10B ? 96 : 112;  // PE32, PE32+
  if ((magic != 0x10B && magic != 0x20B) || optional_size < directories_at) return false;
  if (le32(optional + 60) > size) return false;  // SizeOfHeaders
  // The certificate table is the one directory given as a file position.
  const uint32_t certificate_at = directories_at + 4 * 8;
  if (le32(optional + directories_at - 4) > 4 && optional_read >= certificate_at + 8) {
    const unsigned char* entry = optional + certificate_at;
    if (le32(entry + 4) > 0 && uint64_t(le32(entry)) + le32(entry + 4) > size) return false;
  }
  const uint64_t table = pe + 24 + optional_size;
  for (uint32_t i = 0; i < sections; ++i) {
    unsigned char section[40];
    if (!read(source, table + 40ull * i, section, sizeof section)) return false;
    const uint64_t raw_size = le32(section + 16), raw_at = le32(section + 20);
    if (raw_size > 0 && raw_at + raw_size > size) return false;
  }
  return true;
}


}  // namespace

bool is_complete_image(const void* data, uint64_t size) {
  Memory m = {static_cast<const unsigned char*>(data), size};
  return data && image_complete(read_memory, &m, size);
}

bool is_complete_image_file(HANDLE file) {
  LARGE_INTEGER size;
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  return image_complete(read_file_at, file, uint64_t(size.QuadPart));
}

void set_swap_file_ops(const SwapFileOps* ops) { g_swap = ops ? ops : &kSystemSwapOps; }
void set_transfer_thread_starter(ThreadStarter starter) {
  g_thread_starter = starter ? starter : system_thread_starter;
}

bool has_listed_ending(const char* name, const char* endings) {
  if (!endings || !*endings) return true;
  int n = text_size(name);
  const char* p = endings;
  while (*p) {
    const char* e = p;
    while (*e && *e != '|') ++e;
    int len = int(e - p);
    if (len > 0 && len <= n) {
      bool same = true;
      for (int i = 0; i < len && same; ++i) {
        char a = name[n - len + i], b = p[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        same = a == b;
      }
      if (same) return true;
    }
    p = *e ? e + 1 : e;
  }
  return false;
}

}  // namespace updata
