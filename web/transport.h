// The owner of WinInet handles, and the address split and
// header queries shared by the page request and the URL reader.
#pragma once

#ifdef _WIN32

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "services/owned.h"

namespace cx::web {

inline void release_internet_handle(HINTERNET h) { InternetCloseHandle(h); }
// Owns one HINTERNET; closes it when reset or destroyed.
using InternetHandle = Owned<HINTERNET, release_internet_handle>;

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
// The Content-Length the answer of request announces; -1 when it sends none
// or one that is not all decimal digits.
int64_t announced_length(HINTERNET request);

}  // namespace cx::web

#endif  // _WIN32
