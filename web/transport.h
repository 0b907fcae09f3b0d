// Thin owners around WinInet and kernel handles, and the address split and
// header queries shared by the page request and the URL reader.
#pragma once

#ifdef _WIN32

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

namespace cx::web {

// Owns one HINTERNET; closes it when reset or destroyed.
class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  ~InternetHandle() { reset(); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  InternetHandle(InternetHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  InternetHandle& operator=(InternetHandle&& o) noexcept {
    if (this != &o) { reset(); h_ = o.h_; o.h_ = nullptr; }
    return *this;
  }
  void reset(HINTERNET h = nullptr) {
    if (h_) InternetCloseHandle(h_);
    h_ = h;
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_ = nullptr;
};

// Owns one kernel HANDLE.
class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE h) : h_(h) {}
  ~KernelHandle() { reset(); }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  void reset(HANDLE h = nullptr) {
    if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = h;
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_ = nullptr;
};

// An address split into what InternetConnectA and HttpOpenRequestA need.
struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::string host;      // room for 256 characters
  INTERNET_PORT port = 0;
  std::string user;      // 128
  std::string password;  // 128
  std::string object;    // path and query, 2 048
};

// Canonicalises the address with the given InternetCanonicalizeUrlA flags
// (a buffer of 2 084 bytes, once more with the size asked for when that is too
// small) and cracks it. False, with host and object empty, when either fails.
bool split_url(const char* address, DWORD canonicalize_flags, UrlParts& out);

// HttpQueryInfoA of one header: asks for the length first (0: absent), then
// reads the value. `index` (may be null) enumerates repeated headers and is
// advanced as WinInet does it. False when the header is absent.
bool query_header(HINTERNET request, DWORD level, std::string& value, DWORD* index = nullptr);

}  // namespace cx::web

#endif  // _WIN32
