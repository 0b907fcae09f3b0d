#include "updater/download.h"

#include <windows.h>
#include <wininet.h>

#include "services/ascii.h"
#include "updater/base.h"
#include "updater/file_swap.h"
#include "updater/image_check.h"
#include "updater/settings.h"
#include "updater/update_files.h"
#include "web/transfer.h"

namespace updata {
namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; Clipdex updater 1.0)";
constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                         INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;

bool supported_address(const char* address) {
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = 1;  // asks for the scheme only
  if (!InternetCrackUrlA(address, 0, 0, &parts)) return false;
  return parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS;
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

// The body on its way into the temporary file, a write buffer at a time.
struct Receiving {
  const DownloadJob* job;
  const char* temp_path;
  HANDLE file = INVALID_HANDLE_VALUE;
  char* buffer = nullptr;
  DWORD filled = 0;
  DWORD total = 0;
  bool failed = false;  // the file could not be made or written
};

// A success status and a length that fits: the file is made. Anything else
// reads nothing.
DWORD open_file(void* context, HINTERNET, bool sent, const cx::web::TransferResult& so_far) {
  Receiving& r = *static_cast<Receiving*>(context);
  if (!sent || so_far.status < 200 || so_far.status > 299 || so_far.announced > 0x7FFFFFFF) return 0;
  if (so_far.announced >= 0) r.job->announce_size(r.job->context, int32_t(so_far.announced));
  r.file = CreateFileA(r.temp_path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (r.file == INVALID_HANDLE_VALUE) return 0;
  // A download the process does not live to finish (the program closed
  // meanwhile) leaves nothing behind; one that cannot be marked is removed
  // by the next start or update.
  set_delete_on_close(r.file, true);
  r.buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, DWORD(r.job->write_buffer)));
  return r.buffer ? DWORD(r.job->read_chunk) : 0;
}

bool take(void* context, const uint8_t* bytes, DWORD n) {
  Receiving& r = *static_cast<Receiving*>(context);
  if (r.total + n > 0x7FFFFFFFu) return false;
  r.total += n;
  InterlockedExchange(r.job->done, LONG(r.total));
  while (n > 0) {
    DWORD part = DWORD(r.job->write_buffer) - r.filled;
    if (part > n) part = n;
    CopyMemory(r.buffer + r.filled, bytes, part);
    r.filled += part;
    bytes += part;
    n -= part;
    if (r.filled == DWORD(r.job->write_buffer)) {
      if (!write_all(r.file, r.buffer, r.filled)) return !(r.failed = true);
      r.filled = 0;
    }
  }
  return true;
}

// Reads the whole answer into temp_path. True only for a complete program
// image behind a success status.
bool download(const DownloadJob& job, const char* temp_path) {
  char* headers = nullptr;
  if (job.referrer) {
    char* line = text_join("Referer: ", job.referrer);
    headers = text_join(line, "\r\n");
    text_release(line);
  }
  Receiving r{&job, temp_path};
  cx::web::TransferPlan plan;
  plan.address = job.source;
  plan.agent = kAgent;
  plan.access = INTERNET_OPEN_TYPE_PRECONFIG;
  plan.session_slot = job.session;
  plan.connect_timeout = DWORD(job.connect_timeout);
  plan.send_timeout = DWORD(job.send_timeout);
  plan.receive_timeout = DWORD(job.receive_timeout);
  cx::web::open_as_given(plan);
  plan.attempts = job.attempts;
  plan.retry_pause = DWORD(job.retry_pause);
  plan.flags = kFlags;
  plan.headers = headers;
  plan.headers_length = DWORD(-1);
  plan.context = &r;
  plan.answered = open_file;
  plan.take = take;
  plan.cancel = job.cancel;
  const cx::web::TransferResult result = cx::web::run_transfer(plan);
  text_release(headers);

  // A transfer that did not end whole (a failed read, the connection ended
  // before the announced length, more than it), an error page, or a program
  // cut short by a connection that closed without having announced the
  // length (the image tells).
  bool ok = result.whole && r.file != INVALID_HANDLE_VALUE && !r.failed && write_all(r.file, r.buffer, r.filled) &&
            is_complete_image_file(r.file) && FlushFileBuffers(r.file) &&
            set_delete_on_close(r.file, false);  // kept: it is the new program
  if (r.file != INVALID_HANDLE_VALUE && !CloseHandle(r.file)) ok = false;
  if (r.buffer) HeapFree(GetProcessHeap(), 0, r.buffer);
  return ok;
}

}  // namespace

int32_t run_download(const DownloadJob& job) {
  if (!job.source || !job.target) return TRANSFER_FAILED;
  if (!has_listed_ending(job.target, job.endings) || !supported_address(job.source)) return TRANSFER_FAILED;
  // The temporary file lies beside the target, so that moving it in is a rename.
  char folder[MAX_PATH];
  char temp[MAX_PATH];
  if (!folder_of(job.target, folder, MAX_PATH - 14)) return TRANSFER_FAILED;
  remove_update_leftovers(job.target);
  if (!GetTempFileNameA(folder, kTemporaryPrefix, 0, temp)) return TRANSFER_FAILED;
  const bool downloaded = download(job, temp) && !*job.cancel;
  const bool ok = downloaded && replace_file(job.target, temp);
  // A complete program that could not be put in place while the target's
  // place stayed empty is all the user has left: it is kept.
  const bool stranded = downloaded && !ok && GetFileAttributesA(job.target) == INVALID_FILE_ATTRIBUTES;
  if (!ok && !stranded) DeleteFileA(temp);
  return ok ? TRANSFER_FINISHED : TRANSFER_FAILED;
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
        same = cx::ascii_lower(name[n - len + i]) == cx::ascii_lower(p[i]);
      }
      if (same) return true;
    }
    p = *e ? e + 1 : e;
  }
  return false;
}

}  // namespace updata
