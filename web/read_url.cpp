// The plain URL reader (HTTP/1.0 GET, raw bytes, on the calling thread).
#include "web/read_url.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "web/transport.h"

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

// Connect, send and receive each end after kReadUrlStepTimeoutMs.
void set_step_timeouts(HINTERNET handle) {
  DWORD ms = kReadUrlStepTimeoutMs;
  for (DWORD option : {DWORD(INTERNET_OPTION_CONNECT_TIMEOUT), DWORD(INTERNET_OPTION_SEND_TIMEOUT),
                       DWORD(INTERNET_OPTION_RECEIVE_TIMEOUT)})
    InternetSetOptionA(handle, option, &ms, sizeof ms);
}

}  // namespace

Bytes read_url(const Text& address, ReadUrlOutcome* outcome) {
  ReadUrlOutcome ignored;
  ReadUrlOutcome& result = outcome ? *outcome : ignored;
  result = ReadUrlOutcome::failed;
  const DWORD started = GetTickCount();
  UrlReaderState& st = reader();
  if (address.empty()) return Bytes();

  web::UrlParts url;
  if (!web::split_url(address.c_str(), ICU_NO_ENCODE, url)) return Bytes();

  DWORD flags = kReaderFlags;
  if (url.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;

  if (!st.root) {
    if (!st.proxy.empty()) {
      st.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PROXY, st.proxy.c_str(), nullptr, 0));
    } else {
      st.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    }
    if (!st.root) return Bytes();
  }
  set_step_timeouts(st.root.get());
  // Only the HTTP service gives data; other schemes are not spoken here.
  if (url.scheme != INTERNET_SCHEME_HTTP && url.scheme != INTERNET_SCHEME_HTTPS) return Bytes();

  web::InternetHandle connection(InternetConnectA(st.root.get(), url.host.c_str(), url.port, url.user.c_str(),
                                                  url.password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return Bytes();
  set_step_timeouts(connection.get());

  INTERNET_PROXY_INFO proxy_info{};
  if (!st.proxy.empty()) {
    proxy_info.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
    proxy_info.lpszProxy = st.proxy.c_str();
  } else {
    proxy_info.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
    proxy_info.lpszProxy = nullptr;
  }
  proxy_info.lpszProxyBypass = nullptr;
  InternetSetOptionA(st.root.get(), INTERNET_OPTION_PROXY, &proxy_info, sizeof proxy_info);
  InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(st.proxy_user.c_str()),
                     DWORD(st.proxy_user.size() + 1));
  InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_PASSWORD,
                     const_cast<char*>(st.proxy_password.c_str()), DWORD(st.proxy_password.size() + 1));

  std::string object = url.object.substr(0, url.object.find('#'));
  const char* accept_types[] = {"Accept: */* \r\n", nullptr};
  web::InternetHandle request(HttpOpenRequestA(connection.get(), "GET", object.c_str(), "HTTP/1.0", nullptr,
                                               accept_types, flags, 0));
  if (!request) return Bytes();
  set_step_timeouts(request.get());
  static const char kAcceptAll[] = "Accept: */*\r\n\r\n";
  if (!HttpSendRequestA(request.get(), kAcceptAll, DWORD(sizeof kAcceptAll - 1), nullptr, 0)) return Bytes();

  DWORD chunk = kUnknownLengthChunk;
  const int64_t announced = web::announced_length(request.get());
  if (announced > 0) chunk = announced >= kLargestChunk ? kLargestChunk : DWORD(announced) + 1;

  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(chunk);
  for (;;) {
    if (GetTickCount() - started >= kReadUrlBudgetMs) break;  // a crawling server: give up
    // A read waits until its whole chunk has come or the answer ends; asking
    // only for what has arrived keeps a server that sends a byte now and then
    // from holding it beyond the budget. The wait for data has the receive
    // time-out.
    DWORD ask = chunk, available = 0;
    if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
      if (st.observer) st.observer(chunk, 0, st.observer_context);
      break;
    }
    if (available > 0 && available < ask) ask = available;
    DWORD got = 0;
    BOOL ok = InternetReadFile(request.get(), buffer.data(), ask, &got);
    if (st.observer) st.observer(chunk, ok ? got : 0, st.observer_context);
    if (!ok) break;
    if (got == 0) {
      // A connection that closed before the announced length is a cut answer.
      if (announced < 0 || uint64_t(announced) == out.size()) result = ReadUrlOutcome::complete;
      break;
    }
    if (out.size() + got > kReadUrlLimit) {
      result = ReadUrlOutcome::too_long;
      out.clear();
      break;
    }
    out.insert(out.end(), buffer.data(), buffer.data() + got);
  }
  request.reset();
  connection.reset();
  return to_bytes(out);
}

void read_url_shutdown() { reader().root.reset(); }

void set_read_url_observer(ReadUrlObserver observer, void* context) {
  reader().observer = observer;
  reader().observer_context = context;
}

const void* read_url_root_handle() { return reader().root.get(); }

}  // namespace cx
