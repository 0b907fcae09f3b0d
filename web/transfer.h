// One HTTP exchange over WinInet: the session, the connection, the request
// with its time-outs, the read loop and a result record that says whether the
// answer came whole and, when not, why. The page request, the URL reader and
// the updater's download are short fronts that set their flags, headers,
// chunk sizes and caps; every rule about faults of the transfer lives here.
//
// Plain Win32 and nothing else: the updater library, which carries no
// runtime of its own, links this as the program does.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "services/owned.h"

namespace cx::web {

inline void release_internet_handle(HINTERNET h) { InternetCloseHandle(h); }
// Owns one HINTERNET; closes it when reset or destroyed.
using InternetHandle = Owned<HINTERNET, release_internet_handle>;

// Why an exchange brought no whole answer.
enum TransferWhy : int32_t {
  WHY_NONE = 0,       // the answer is whole
  WHY_NO_SESSION,     // the transport could not be opened
  WHY_BAD_ADDRESS,    // the address could not be split, or its scheme is not spoken
  WHY_NO_REQUEST,     // no connection or no request handle
  WHY_NOT_SENT,       // no answer: name, refused connection, time-out, certificate
  WHY_NO_STATUS,      // headers without a status line
  WHY_READ_FAILED,    // a read failed: a reset, the receive time-out
  WHY_BUDGET,         // the exchange took longer than its budget
  WHY_CUT_SHORT,      // the body ended before the length it announced
  WHY_TOO_LONG,       // the body went on past the length it announced
  WHY_REFUSED,        // the taker of the body wanted no more (a cap, a file not written)
  WHY_CANCELLED,      // the caller asked the exchange to stop
};

struct TransferResult {
  int32_t status = 0;      // the status line's code; 0 when none came
  int64_t announced = -1;  // Content-Length as sent; -1 when absent or not a number
  uint64_t received = 0;   // body bytes read
  bool whole = false;      // why == WHY_NONE
  TransferWhy why = WHY_NO_SESSION;
};

// An address split into what InternetConnectA and HttpOpenRequestA need.
struct UrlParts {
  INTERNET_SCHEME scheme;
  char host[257];
  INTERNET_PORT port;
  char user[129];
  char password[129];
  char object[2049];  // path and query
};

// Canonicalises the address with the given InternetCanonicalizeUrlA flags
// (a buffer of 2 084 bytes, once more with the size asked for when that is too
// small) and cracks it. False, with host and object empty, when either fails.
bool split_url(const char* address, DWORD canonicalize_flags, UrlParts& out);

// One header's value into buffer (size bytes with its closing zero); false
// when the header is absent. index (may be null) enumerates repeated headers.
bool query_header_into(HINTERNET request, DWORD level, char* buffer, DWORD size, DWORD* index = nullptr);

struct TransferPlan {
  const char* address = nullptr;

  // The session: one the caller keeps open (session != null), or one of the
  // exchange's own, opened with these and closed at its end.
  HINTERNET session = nullptr;
  const char* agent = nullptr;
  DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
  const char* proxy = nullptr;
  // Where the session is put while the exchange runs, so that another thread
  // can close it to end a wait of the transport at once (may be null).
  void* volatile* session_slot = nullptr;

  // Connect, send and receive time-outs in ms, on every handle of the
  // exchange; budget: no read of the body starts once the exchange has taken
  // this long (0: no budget).
  DWORD connect_timeout = 90000, send_timeout = 90000, receive_timeout = 90000;
  DWORD budget = 0;

  // The request: connect, open and send, with the time-outs on each handle
  // before anything is sent. (InternetOpenUrlA is not used: under Wine it
  // leaves its connection and request without the session's send and receive
  // time-outs, so a server that takes the request and never answers holds it
  // for ever.) A request that was not taken is made up to `attempts` times,
  // `retry_pause` ms apart.
  int attempts = 1;
  DWORD retry_pause = 0;
  DWORD canonicalize = 0;              // InternetCanonicalizeUrlA flags for the split
  bool only_http = false;              // another scheme gives no exchange at all
  bool credentials_as_texts = false;   // user and password passed even when empty
  bool cut_fragment = false;           // the object ends before its first "#"
  const char* verb = "GET";
  const char* version = "HTTP/1.1";
  const char* const* accept_types = nullptr;
  DWORD flags = 0;
  DWORD https_flags = 0;          // added to flags when the address's scheme is https
  const char* headers = nullptr;  // sent with the request
  DWORD headers_length = 0;       // -1: up to the closing zero
  bool headers_added = false;     // added to the request before the send instead
  const void* data = nullptr;
  DWORD data_length = 0;

  // What the front does at each step, all optional; context is theirs.
  void* context = nullptr;
  // After the connection is made (proxy settings of the session and connection).
  void (*connected)(void* context, HINTERNET session, HINTERNET connection) = nullptr;
  // After the send, whether or not it succeeded: the front reads the headers
  // it needs. The result so far holds the status and the announced length.
  // Returns the size of each read of the body; 0: nothing of the body is
  // read (the answer is then not whole). Without this step reads are 1 024.
  DWORD (*answered)(void* context, HINTERNET request, bool sent, const TransferResult& so_far) = nullptr;
  // Takes n bytes of the body; false: no more (the answer is then not whole).
  bool (*take)(void* context, const uint8_t* bytes, DWORD n) = nullptr;
  // Set by another thread to end the exchange at its next step.
  volatile LONG* cancel = nullptr;
};

// Sets up plan so that its address goes on the wire as InternetOpenUrlA
// would send it: kept as given, GET, "*/*" accepted, the headers added to the
// request, the secure flag for https.
void open_as_given(TransferPlan& plan);

// Runs one exchange.
TransferResult run_transfer(const TransferPlan& plan);

}  // namespace cx::web
