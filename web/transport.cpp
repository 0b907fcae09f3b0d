#include "web/transport.h"

#include <vector>

namespace cx::web {

bool split_url(const char* address, DWORD canonicalize_flags, UrlParts& out) {
  out = UrlParts();
  if (address == nullptr || *address == 0) return false;

  std::vector<char> canonical(2084);
  DWORD length = DWORD(canonical.size());
  if (!InternetCanonicalizeUrlA(address, canonical.data(), &length, canonicalize_flags)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return false;
    canonical.assign(size_t(length) + 1, 0);
    length = DWORD(canonical.size());
    if (!InternetCanonicalizeUrlA(address, canonical.data(), &length, canonicalize_flags)) return false;
  }

  char host[257] = {0};
  char user[129] = {0};
  char password[129] = {0};
  char object[2049] = {0};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUserName = user;
  parts.dwUserNameLength = sizeof user;
  parts.lpszPassword = password;
  parts.dwPasswordLength = sizeof password;
  parts.lpszUrlPath = object;
  parts.dwUrlPathLength = sizeof object;
  // The query stays part of the object: with no extra-info buffer the path
  // buffer receives it too.
  if (!InternetCrackUrlA(canonical.data(), 0, 0, &parts)) return false;

  out.scheme = parts.nScheme;
  out.host.assign(host, parts.dwHostNameLength);
  out.port = parts.nPort;
  out.user.assign(user, parts.dwUserNameLength);
  out.password.assign(password, parts.dwPasswordLength);
  out.object.assign(object, parts.dwUrlPathLength);
  return true;
}

bool query_header(HINTERNET request, DWORD level, std::string& value, DWORD* index) {
  value.clear();
  DWORD probe_index = index ? *index : 0;
  DWORD needed = 0;
  HttpQueryInfoA(request, level, nullptr, &needed, index ? &probe_index : nullptr);
  if (needed == 0) return false;
  std::vector<char> buffer(size_t(needed) + 2, 0);
  DWORD length = needed + 1;
  DWORD read_index = index ? *index : 0;
  if (!HttpQueryInfoA(request, level, buffer.data(), &length, index ? &read_index : nullptr)) return false;
  if (length > needed + 1) length = needed + 1;
  value.assign(buffer.data(), length);
  // Some transports count the terminating zero in the length they report.
  while (!value.empty() && value.back() == '\0') value.pop_back();
  if (index) *index = read_index > *index ? read_index : *index + 1;
  return true;
}

int64_t announced_length(HINTERNET request) {
  std::string v;
  if (!query_header(request, HTTP_QUERY_CONTENT_LENGTH, v) || v.empty() || v.size() > 18) return -1;
  int64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace cx::web
