// Shared pieces of the network tests (run inside the test namespace).
#pragma once

#include <string>
#include <vector>

#include "services/ascii.h"
#include "tests/fixture/request_log.h"

namespace cx::testing {

// The same bytes as pattern() of tests/web/routes.py.
inline std::string pattern(size_t n) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = char('a' + (i * 7 + i / 1000) % 26);
  return s;
}

// Header lines the transport adds on its own; everything else on the wire
// came from the request's header text.
inline bool transport_line(const std::string& line) {
  static const char* const names[] = {"Host:", "Connection:", "Cache-Control:", "Pragma:", "Cookie:",
                                      "Content-Length:"};
  for (const char* n : names) {
    std::string lower_line, lower_name(n);
    for (char c : line.substr(0, lower_name.size())) lower_line += ascii_lower(c);
    for (char& c : lower_name) c = ascii_lower(c);
    if (lower_line == lower_name) return true;
  }
  return false;
}

inline std::vector<std::string> caller_lines(const fixture::LoggedRequest& r) {
  std::vector<std::string> out;
  for (const std::string& l : r.header_lines()) {
    if (!transport_line(l)) out.push_back(l);
  }
  return out;
}

}  // namespace cx::testing
