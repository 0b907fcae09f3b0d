// The plain URL reader (HTTP/1.0 GET, raw bytes, on the calling thread).
#include "web/read_url.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "services/owned.h"
#include "web/transfer.h"

namespace cx {

namespace {

constexpr DWORD kReaderFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
constexpr DWORD kLargestChunk = 102400;
constexpr DWORD kUnknownLengthChunk = 10240;
const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

struct UrlReaderState {
  web::InternetHandle root;
  std::string proxy;           // nothing in the system sets these
  std::string proxy_user;
  std::string proxy_password;
  ReadUrlObserver observer = nullptr;
  void* observer_context = nullptr;
};

UrlReaderState& reader() {
  static UrlReaderState state;
  return state;
}

Bytes to_bytes(const std::vector<uint8_t>& data) {
  return data.empty() ? Bytes() : Bytes::copy(data.data(), data.size());
}

// One call's reading: the chunk chosen for the answer and the bytes so far.
struct Reading {
  UrlReaderState& st;
  std::vector<uint8_t> out;
  DWORD chunk = kUnknownLengthChunk;
  bool too_long = false;
};

// The proxy settings go to the session and the connection.
void set_proxy(void* context, HINTERNET session, HINTERNET connection) {
  UrlReaderState& st = static_cast<Reading*>(context)->st;
  INTERNET_PROXY_INFO proxy_info{};
  if (!st.proxy.empty()) {
    proxy_info.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
    proxy_info.lpszProxy = st.proxy.c_str();
  } else {
    proxy_info.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
    proxy_info.lpszProxy = nullptr;
  }
  proxy_info.lpszProxyBypass = nullptr;
  InternetSetOptionA(session, INTERNET_OPTION_PROXY, &proxy_info, sizeof proxy_info);
  InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(st.proxy_user.c_str()),
                     DWORD(st.proxy_user.size() + 1));
  InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(st.proxy_password.c_str()),
                     DWORD(st.proxy_password.size() + 1));
}

// The chunk follows the announced length plus one byte, up to the largest.
DWORD choose_chunk(void* context, HINTERNET, bool, const web::TransferResult& so_far) {
  Reading& r = *static_cast<Reading*>(context);
  if (so_far.announced > 0)
    r.chunk = so_far.announced >= kLargestChunk ? kLargestChunk : DWORD(so_far.announced) + 1;
  return r.chunk;
}

bool keep(void* context, const uint8_t* bytes, DWORD n) {
  Reading& r = *static_cast<Reading*>(context);
  if (r.st.observer) r.st.observer(r.chunk, n, r.st.observer_context);
  if (r.out.size() + n > kReadUrlLimit) {
    r.too_long = true;
    r.out.clear();
    return false;
  }
  r.out.insert(r.out.end(), bytes, bytes + n);
  return true;
}

}  // namespace

Bytes read_url(const Text& address, ReadUrlOutcome* outcome) {
  ReadUrlOutcome ignored;
  ReadUrlOutcome& result = outcome ? *outcome : ignored;
  result = ReadUrlOutcome::failed;
  UrlReaderState& st = reader();
  if (address.empty()) return Bytes();
  web::UrlParts url;
  if (!web::split_url(address.c_str(), ICU_NO_ENCODE, url)) return Bytes();

  if (!st.root) {
    if (!st.proxy.empty()) {
      st.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PROXY, st.proxy.c_str(), nullptr, 0));
    } else {
      st.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    }
    if (!st.root) return Bytes();
  }

  Reading reading{st, {}};
  static const char* const kAcceptTypes[] = {"Accept: */* \r\n", nullptr};
  static const char kAcceptAll[] = "Accept: */*\r\n\r\n";
  web::TransferPlan plan;
  plan.address = address.c_str();
  plan.session = st.root.get();
  plan.connect_timeout = plan.send_timeout = plan.receive_timeout = kReadUrlStepTimeoutMs;
  plan.budget = kReadUrlBudgetMs;  // a crawling server is given up
  plan.canonicalize = ICU_NO_ENCODE;
  // Only the HTTP service gives data; other schemes are not spoken here.
  plan.only_http = true;
  plan.credentials_as_texts = true;
  plan.cut_fragment = true;  // the fragment is never sent
  plan.verb = "GET";
  plan.version = "HTTP/1.0";
  plan.accept_types = kAcceptTypes;
  plan.flags = kReaderFlags;
  plan.https_flags = INTERNET_FLAG_SECURE;
  plan.headers = kAcceptAll;
  plan.headers_length = DWORD(sizeof kAcceptAll - 1);
  plan.context = &reading;
  plan.connected = set_proxy;
  plan.answered = choose_chunk;
  plan.take = keep;
  const web::TransferResult r = web::run_transfer(plan);

  // The read that ended the answer, or failed, is told too; the body is not
  // examined, nor its status.
  const bool ended = r.why == web::WHY_NONE || r.why == web::WHY_NO_STATUS;
  if (st.observer && (ended || r.why == web::WHY_READ_FAILED || r.why == web::WHY_CUT_SHORT))
    st.observer(reading.chunk, 0, st.observer_context);
  if (reading.too_long)
    result = ReadUrlOutcome::too_long;
  else if (ended)
    result = ReadUrlOutcome::complete;
  return to_bytes(reading.out);
}

void read_url_shutdown() { reader().root.reset(); }

void set_read_url_observer(ReadUrlObserver observer, void* context) {
  reader().observer = observer;
  reader().observer_context = context;
}

const void* read_url_root_handle() { return reader().root.get(); }

}  // namespace cx
