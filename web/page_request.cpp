// The page request: one exchange per call on a worker thread of its own;
// the caller keeps its window messages flowing until the worker has ended.
#include "web/page_request.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "services/ascii.h"
#include "web/body_bytes.h"
#include "web/decode_body.h"
#include "web/page_end.h"
#include "web/transfer.h"

namespace cx {

namespace {

DWORD g_transfer_timeout_ms = 90000;
DWORD g_wait_timeout_ms = 90000;
// No read of the body starts once the exchange has taken this long: a server
// that sends a byte now and then never runs into the receive time-out, and
// would otherwise hold the page (and the run waiting for it) without end.
DWORD g_exchange_budget_ms = 300000;
// Input, posted messages, timers, painting and hot keys; not sent messages.
constexpr DWORD kWakeMask = QS_ALLEVENTS;
constexpr DWORD kSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                               INTERNET_FLAG_IGNORE_CERT_CN_INVALID;  // 0x803000
constexpr DWORD kAlwaysFlags = INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                               INTERNET_FLAG_HYPERLINK;  // 0xC400
constexpr DWORD kReadChunk = 1024;

const char kUserAgentLine[] =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727) ZovedUVUV";
const char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
const char kAcceptLanguageLine[] = "Accept-Language: zh-cn";
const char kAcceptEncodingLine[] = "Accept-Encoding: gzip, deflate";
const char kContentTypeLine[] = "Content-Type: application/x-www-form-urlencoded";

struct TransferRecord {
  // Set by the caller.
  std::string address;
  std::string method;
  std::string proxy;
  std::string extra_headers;
  const uint8_t* send_data = nullptr;  // borrowed
  uint32_t send_length = 0;
  int32_t accept_compressed = 0;
  uint32_t open_flags = 0;
  // Set by the worker.
  BodyBytes body{kMaxBodyBytes};
  std::string raw_headers;
  std::string content_type;
  std::string cookies;
  int32_t content_coding = CODING_NONE;
  web::TransferResult result;  // status, announced length, whether it came whole and why not
};

// Bytes below 0x20 and DEL written as %XX: a line break or another control
// byte taken from a page must not become a header line (the Referer carries
// the address) or part of the request line.
std::string escape_control_bytes(const std::string& address) {
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    const auto b = uint8_t(c);
    if (b < 0x20 || b == 0x7F) {
      out += '%';
      out += hex_digit_char(b >> 4);
      out += hex_digit_char(b);
    } else {
      out += c;
    }
  }
  return out;
}

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string upper_ascii(std::string s) {
  for (char& c : s) c = ascii_upper(c);
  return s;
}

void append_default(std::string& headers, const char* key, const std::string& line) {
  if (headers.find(key) != std::string::npos) return;
  headers += line;
  headers += "\r\n";
}

bool query_header(HINTERNET request, DWORD level, std::string& value, DWORD* index = nullptr) {
  char buffer[8192];
  if (!web::query_header_into(request, level, buffer, sizeof buffer, index)) return false;
  value = buffer;
  return true;
}

// The headers the record keeps, read once the request was sent.
DWORD read_response(void* context, HINTERNET request, bool sent, const web::TransferResult&) {
  if (!sent) return kReadChunk;
  TransferRecord& r = *static_cast<TransferRecord*>(context);
  std::string v;
  if (query_header(request, HTTP_QUERY_RAW_HEADERS_CRLF, v)) r.raw_headers = v;
  if (query_header(request, HTTP_QUERY_CONTENT_TYPE, v)) r.content_type = v;
  if (query_header(request, HTTP_QUERY_CONTENT_ENCODING, v)) {
    r.content_coding = v == "gzip" ? CODING_GZIP : v == "deflate" ? CODING_DEFLATE : CODING_NONE;
  }
  DWORD index = 0;
  for (int n = 0; n < 4096; ++n) {
    if (!query_header(request, HTTP_QUERY_SET_COOKIE, v, &index)) break;
    if (n > 0) r.cookies += "\r\n";
    r.cookies += v;
  }
  return kReadChunk;
}

// Past the cap the rest of the body is not read at all (the answer then is
// not whole).
bool keep_body(void* context, const uint8_t* bytes, DWORD n) {
  return static_cast<TransferRecord*>(context)->body.append(bytes, n);
}

void run_exchange(TransferRecord& r) {
  r.raw_headers.clear();
  r.content_type.clear();
  r.cookies.clear();
  r.content_coding = CODING_NONE;

  size_t start = 0;
  while (start < r.address.size() && is_white(r.address[start])) ++start;
  const std::string address = escape_control_bytes(r.address.substr(start));
  const std::string verb = upper_ascii(r.method.empty() ? std::string("GET") : r.method);

  std::string headers = r.extra_headers;
  if (!headers.empty() && (headers.size() < 2 || headers.compare(headers.size() - 2, 2, "\r\n") != 0)) {
    headers += "\r\n";
  }
  append_default(headers, "User-Agent: ", kUserAgentLine);
  append_default(headers, "Accept: ", kAcceptLine);
  append_default(headers, "Referer: ", "Referer: " + address);
  append_default(headers, "Accept-Language: ", kAcceptLanguageLine);
  if (r.accept_compressed) append_default(headers, "Accept-Encoding: ", kAcceptEncodingLine);
  // Only a POST carries its data, and its form type unless the caller named one.
  const bool post = verb == "POST";
  if (post) append_default(headers, "Content-Type: ", kContentTypeLine);

  web::TransferPlan plan;
  plan.address = address.c_str();
  plan.access = r.proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
  plan.proxy = r.proxy.c_str();
  plan.connect_timeout = plan.send_timeout = plan.receive_timeout = g_transfer_timeout_ms;
  plan.budget = g_exchange_budget_ms;
  plan.verb = verb.c_str();
  plan.version = "HTTP/1.1";
  // Every other scheme is spoken to as plain HTTP on the cracked host and port.
  plan.flags = r.open_flags | kAlwaysFlags;
  plan.https_flags = kSecureFlags;
  plan.headers = headers.c_str();
  plan.headers_length = DWORD(headers.size());
  if (post && r.send_length) {
    plan.data = r.send_data;
    plan.data_length = r.send_length;
  }
  plan.context = &r;
  plan.answered = read_response;
  plan.take = keep_body;
  r.result = web::run_transfer(plan);
}

DWORD WINAPI transfer_worker(LPVOID param) {
  run_exchange(*static_cast<TransferRecord*>(param));
  return 0;
}

// Waits for the worker while dispatching this thread's messages. A wait
// that runs out does not end the call: the record belongs to the worker
// until the worker has ended, so the caller goes on waiting (and pumping).
void wait_for_worker(HANDLE worker) {
  bool quit = false;
  WPARAM quit_code = 0;
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &worker, FALSE, g_wait_timeout_ms, kWakeMask);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_TIMEOUT) continue;
    if (r == WAIT_FAILED) {
      WaitForSingleObject(worker, INFINITE);
      break;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Kept for the message loop, which must still see it.
        quit = true;
        quit_code = msg.wParam;
        continue;
      }
      DispatchMessageA(&msg);
      TranslateMessage(&msg);
    }
    Sleep(10);
  }
  if (quit) PostQuitMessage(int(quit_code));
}

std::string text_argument(const Cell* args, int argc, int i) {
  if (i >= argc) return {};
  const Cell& c = args[i];
  if (c.tag == TAG_TEXT) return std::string(cell_as_text(c));
  if (c.tag == (TAG_TEXT | TAG_BYREF) && c.v.ptr) return std::string(static_cast<const Text*>(c.v.ptr)->view());
  return {};
}

Text* output_argument(const Cell* args, int argc, int i) {
  if (i >= argc || args[i].tag == TAG_ABSENT) return nullptr;
  if (args[i].tag != (TAG_TEXT | TAG_BYREF)) return nullptr;
  return static_cast<Text*>(args[i].v.ptr);
}

void store(Text* variable, const std::string& value) {
  if (variable) *variable = value.empty() ? Text() : Text::copy(value);
}

// Runs the exchange of r on a worker of its own and waits for it.
void transfer(TransferRecord& r) {
  HANDLE worker = CreateThread(nullptr, 0, transfer_worker, &r, 0, nullptr);
  if (worker) {
    wait_for_worker(worker);
    CloseHandle(worker);
  }
}

}  // namespace

Text page_request(int argc, const Cell* args) {
  TransferRecord r;
  r.address = text_argument(args, argc, 0);
  r.method = text_argument(args, argc, 1);
  r.proxy = text_argument(args, argc, 2);
  r.extra_headers = text_argument(args, argc, 3);
  if (argc > 4) {
    const Cell& d = args[4];
    if (d.tag == TAG_TEXT && d.v.ptr) {
      r.send_data = static_cast<const uint8_t*>(d.v.ptr);
      r.send_length = uint32_t(std::strlen(static_cast<const char*>(d.v.ptr)));
    } else if (d.tag == TAG_BYTES && d.v.ptr) {
      const BytesBlock* b = cell_as_bytes(d);
      if (b->length > 0) {
        r.send_data = b->data;
        r.send_length = uint32_t(b->length);
      }
    }
  }
  if (argc > 5 && args[5].tag != TAG_ABSENT) r.accept_compressed = args[5].v.w.lo != 0 ? 1 : 0;
  if (argc > 6 && args[6].tag != TAG_ABSENT) r.open_flags = args[6].v.w.lo;

  transfer(r);

  store(output_argument(args, argc, 7), r.cookies);
  store(output_argument(args, argc, 8), r.raw_headers);
  if (r.body.length() < 1) return Text();
  return decode_body(r.body.data(), r.body.length(), r.content_coding, Text::copy(r.content_type));
}

void set_page_request_wait_timeout(uint32_t milliseconds) { g_wait_timeout_ms = milliseconds; }
void set_page_request_transfer_timeout(uint32_t milliseconds) { g_transfer_timeout_ms = milliseconds; }

Text page_request(const Text& address) {
  Cell args[1] = {cell_text(address)};
  return page_request(1, args);
}

PageAnswer request_page(const Text& address) {
  TransferRecord r;
  r.address = std::string(address.view());
  transfer(r);
  PageAnswer a;
  a.status_code = r.result.status;
  // A part of a page is not decoded at all: nothing of it is used, and a
  // swollen one would take its decoded size once more.
  if (!r.result.whole) return a;
  if (r.body.length() > 0) {
    BodyDecoding how;
    Text text = decode_whole_body(r.body.data(), r.body.length(), r.content_coding, Text::copy(r.content_type), &how);
    if (!how.complete) return a;
    // With neither a length nor a compressed stream's own end, the end of the
    // connection is all the transport tells: the page shows whether it ended.
    if (r.result.announced < 0 && !how.ends_itself && !page_shows_its_end(text.view())) return a;
    a.text = std::move(text);
  }
  a.whole = true;
  return a;
}

void set_page_request_budget(uint32_t milliseconds) { g_exchange_budget_ms = milliseconds; }

}  // namespace cx
