#include "web/transfer.h"

#include "services/ascii.h"

namespace cx::web {

namespace {

constexpr DWORD kDefaultChunk = 1024;
constexpr DWORD kCanonicalRoom = 2084;

void* heap_block(DWORD size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void heap_free(void* p) {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}

void copy_text(char* to, DWORD room, const char* from, DWORD n) {
  if (n >= room) n = room - 1;
  for (DWORD i = 0; i < n; ++i) to[i] = from[i];
  to[n] = 0;
}

bool cancelled(const TransferPlan& s) { return s.cancel && *s.cancel != 0; }

void set_timeouts(const TransferPlan& s, HINTERNET handle) {
  DWORD v = s.connect_timeout;
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &v, sizeof v);
  v = s.send_timeout;
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &v, sizeof v);
  v = s.receive_timeout;
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &v, sizeof v);
}

// A decimal number of up to 18 digits and nothing else; -1 otherwise.
int64_t decimal(const char* text) {
  int64_t n = 0;
  int digits = 0;
  for (const char* p = text; *p; ++p, ++digits) {
    if (*p < '0' || *p > '9' || digits == 18) return -1;
    n = n * 10 + (*p - '0');
  }
  return digits ? n : -1;
}

// The status line's code as its leading digits read it (0 when none).
int32_t status_code(HINTERNET request) {
  char v[32];
  if (!query_header_into(request, HTTP_QUERY_STATUS_CODE, v, sizeof v)) return 0;
  int32_t n = 0;
  for (const char* p = v; *p >= '0' && *p <= '9' && n < 100000; ++p) n = n * 10 + (*p - '0');
  return n;
}

int64_t announced_length(HINTERNET request) {
  char v[32];
  return query_header_into(request, HTTP_QUERY_CONTENT_LENGTH, v, sizeof v) ? decimal(v) : -1;
}

// Answers that never carry a body, whatever length they announce.
bool bodiless(int32_t status, const char* verb) {
  const bool head = verb && ascii_lower(verb[0]) == 'h' && ascii_lower(verb[1]) == 'e' &&
                    ascii_lower(verb[2]) == 'a' && ascii_lower(verb[3]) == 'd' && verb[4] == 0;
  return (status >= 100 && status < 200) || status == 204 || status == 304 || head;
}

// The handles of one exchange, closed request first, then the connection,
// then the session when it is the exchange's own (unless another thread took
// it from the slot to end a wait: that thread closes it).
struct Handles {
  HINTERNET session = nullptr;
  bool own_session = false;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;

  void close_request() {
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    request = connection = nullptr;
  }

  void close(const TransferPlan& s) {
    close_request();
    if (!own_session || !session) return;
    void* mine = s.session_slot ? InterlockedExchangePointer(s.session_slot, nullptr) : session;
    if (mine) InternetCloseHandle(static_cast<HINTERNET>(mine));
    session = nullptr;
  }
};

TransferWhy open_session(const TransferPlan& s, Handles& h) {
  if (s.session) {
    h.session = s.session;
  } else {
    const bool by_proxy = s.access == INTERNET_OPEN_TYPE_PROXY;
    h.session = InternetOpenA(s.agent, s.access, by_proxy ? s.proxy : nullptr, nullptr, 0);
    if (!h.session) return WHY_NO_SESSION;
    h.own_session = true;
    if (s.session_slot) InterlockedExchangePointer(s.session_slot, h.session);
  }
  if (cancelled(s)) return WHY_CANCELLED;
  set_timeouts(s, h.session);
  return WHY_NONE;
}

// Connect, open the request and send it.
TransferWhy connect_and_send(const TransferPlan& s, Handles& h, bool* sent) {
  *sent = false;
  UrlParts* url = static_cast<UrlParts*>(heap_block(sizeof(UrlParts)));
  if (!url) return WHY_NO_REQUEST;
  TransferWhy why = WHY_NONE;
  const bool split = split_url(s.address, s.canonicalize, *url);
  if (s.only_http && (!split || (url->scheme != INTERNET_SCHEME_HTTP && url->scheme != INTERNET_SCHEME_HTTPS))) {
    why = WHY_BAD_ADDRESS;
  } else {
    const bool texts = s.credentials_as_texts;
    h.connection = InternetConnectA(h.session, url->host, url->port, texts || url->user[0] ? url->user : nullptr,
                                    texts || url->password[0] ? url->password : nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!h.connection) why = WHY_NO_REQUEST;
  }
  if (why == WHY_NONE) {
    set_timeouts(s, h.connection);
    if (s.connected) s.connected(s.context, h.session, h.connection);
    if (s.cut_fragment)
      for (char* p = url->object; *p; ++p)
        if (*p == '#') *p = 0;
    const DWORD flags = s.flags | (url->scheme == INTERNET_SCHEME_HTTPS ? s.https_flags : 0);
    h.request = HttpOpenRequestA(h.connection, s.verb, url->object, s.version, nullptr,
                                 const_cast<const char**>(s.accept_types), flags, 0);
    if (!h.request) why = WHY_NO_REQUEST;
  }
  heap_free(url);
  if (why != WHY_NONE) return why;
  set_timeouts(s, h.request);
  const DWORD length = s.headers ? s.headers_length : 0;
  const bool add = s.headers_added && s.headers;
  if (add && !HttpAddRequestHeadersA(h.request, s.headers, length, HTTP_ADDREQ_FLAG_ADD)) return WHY_NO_REQUEST;
  *sent = HttpSendRequestA(h.request, add ? nullptr : s.headers, add ? 0 : length, const_cast<void*>(s.data),
                           s.data_length) != FALSE;
  return *sent ? WHY_NONE : WHY_NOT_SENT;
}

// The body, read until the server ends it, a read fails or the exchange
// must stop. A read asks for no more than has arrived, so that the budget is
// looked at between the bytes of a crawling server; the wait for data has the
// receive time-out.
TransferWhy read_body(const TransferPlan& s, HINTERNET request, DWORD chunk, DWORD started, TransferResult& r) {
  uint8_t* buffer = static_cast<uint8_t*>(heap_block(chunk));
  if (!buffer) return WHY_REFUSED;
  TransferWhy why = WHY_NONE;
  for (;;) {
    if (cancelled(s)) { why = WHY_CANCELLED; break; }
    if (s.budget && GetTickCount() - started >= s.budget) { why = WHY_BUDGET; break; }
    DWORD ask = chunk, available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) { why = WHY_READ_FAILED; break; }
    if (available > 0 && available < ask) ask = available;
    DWORD got = 0;
    if (!InternetReadFile(request, buffer, ask, &got)) { why = WHY_READ_FAILED; break; }
    if (got == 0) break;
    r.received += got;
    if (r.announced >= 0 && int64_t(r.received) > r.announced) { why = WHY_TOO_LONG; break; }
    if (s.take && !s.take(s.context, buffer, got)) { why = WHY_REFUSED; break; }
  }
  heap_free(buffer);
  return why;
}

}  // namespace

bool split_url(const char* address, DWORD canonicalize_flags, UrlParts& out) {
  out.scheme = INTERNET_SCHEME_UNKNOWN;
  out.host[0] = out.user[0] = out.password[0] = out.object[0] = 0;
  out.port = 0;
  if (address == nullptr || *address == 0) return false;

  DWORD room = kCanonicalRoom;
  char* canonical = static_cast<char*>(heap_block(room));
  if (!canonical) return false;
  DWORD length = room;
  bool ok = InternetCanonicalizeUrlA(address, canonical, &length, canonicalize_flags) != FALSE;
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && length != 0) {
    heap_free(canonical);
    room = length + 1;
    canonical = static_cast<char*>(heap_block(room));
    length = room;
    ok = canonical && InternetCanonicalizeUrlA(address, canonical, &length, canonicalize_flags) != FALSE;
  }
  URL_COMPONENTSA parts{};
  if (ok) {
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = out.host;
    parts.dwHostNameLength = sizeof out.host;
    parts.lpszUserName = out.user;
    parts.dwUserNameLength = sizeof out.user;
    parts.lpszPassword = out.password;
    parts.dwPasswordLength = sizeof out.password;
    // The query stays part of the object: with no extra-info buffer the path
    // buffer receives it too.
    parts.lpszUrlPath = out.object;
    parts.dwUrlPathLength = sizeof out.object;
    ok = InternetCrackUrlA(canonical, 0, 0, &parts) != FALSE;
  }
  heap_free(canonical);
  if (!ok) {
    out.host[0] = out.user[0] = out.password[0] = out.object[0] = 0;
    return false;
  }
  out.scheme = parts.nScheme;
  out.port = parts.nPort;
  return true;
}

bool query_header_into(HINTERNET request, DWORD level, char* buffer, DWORD size, DWORD* index) {
  buffer[0] = 0;
  DWORD probe_index = index ? *index : 0;
  DWORD needed = 0;
  HttpQueryInfoA(request, level, nullptr, &needed, index ? &probe_index : nullptr);
  if (needed == 0) return false;
  char* value = static_cast<char*>(heap_block(needed + 2));
  if (!value) return false;
  DWORD length = needed + 1;
  DWORD read_index = index ? *index : 0;
  const bool ok = HttpQueryInfoA(request, level, value, &length, index ? &read_index : nullptr) != FALSE;
  if (ok) {
    if (length > needed + 1) length = needed + 1;
    // Some transports count the terminating zero in the length they report.
    while (length > 0 && value[length - 1] == 0) --length;
    copy_text(buffer, size, value, length);
    if (index) *index = read_index > *index ? read_index : *index + 1;
  }
  heap_free(value);
  return ok;
}

void open_as_given(TransferPlan& plan) {
  static const char* const kAcceptAll[] = {"*/*", nullptr};
  plan.canonicalize = ICU_NO_ENCODE | ICU_NO_META;
  plan.verb = "GET";
  plan.version = "HTTP/1.1";
  plan.accept_types = kAcceptAll;
  plan.headers_added = true;
  plan.https_flags = INTERNET_FLAG_SECURE;
}

TransferResult run_transfer(const TransferPlan& s) {
  const DWORD started = GetTickCount();
  TransferResult r;
  Handles h;
  bool sent = false;
  r.why = open_session(s, h);
  // A request the server never took (no name, no connection, no answer in
  // time) is made again as often as the plan allows; the last one's handles
  // stay for the front's answered step.
  for (int attempt = 1; r.why == WHY_NONE; ++attempt) {
    r.why = connect_and_send(s, h, &sent);
    if (r.why != WHY_NOT_SENT || attempt >= s.attempts) break;
    h.close_request();
    for (DWORD waited = 0; waited < s.retry_pause && !cancelled(s); waited += 50) Sleep(50);
    r.why = cancelled(s) ? WHY_CANCELLED : WHY_NONE;
  }
  if (h.request && (sent || r.why == WHY_NOT_SENT)) {
    if (sent) {
      r.status = status_code(h.request);
      r.announced = announced_length(h.request);
    }
    const DWORD chunk = s.answered ? s.answered(s.context, h.request, sent, r) : kDefaultChunk;
    if (sent && chunk == 0) {
      r.why = WHY_REFUSED;  // the front wants nothing of this answer
    } else if (sent) {
      r.why = read_body(s, h.request, chunk, started, r);
      if (r.why == WHY_NONE && r.status <= 0) r.why = WHY_NO_STATUS;
      if (r.why == WHY_NONE && r.announced >= 0 && !bodiless(r.status, s.verb) && int64_t(r.received) != r.announced)
        r.why = WHY_CUT_SHORT;
    }
  }
  h.close(s);
  r.whole = r.why == WHY_NONE;
  return r;
}

}  // namespace cx::web
