// Shared pieces of the fuzzers: a failing check that aborts with its reason
// (libFuzzer then keeps the input), and plain, obviously-correct readings of
// the GBK character walk that the optimised primitives are checked against.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/ascii.h"
#include "services/value.h"

namespace cx::fuzz {

[[noreturn]] inline void broken(const char* what, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

inline std::string hex(std::string_view s, size_t most = 96) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < most; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    out += hex_digit_char(c >> 4);
    out += hex_digit_char(c);
    out += ' ';
  }
  if (s.size() > most) out += "...";
  return out;
}

#define CX_CHECK(cond) \
  do { \
    if (!(cond)) ::cx::fuzz::broken(#cond, __FILE__, __LINE__, std::string()); \
  } while (0)
#define CX_CHECK_MSG(cond, detail) \
  do { \
    if (!(cond)) ::cx::fuzz::broken(#cond, __FILE__, __LINE__, (detail)); \
  } while (0)

// A text from arbitrary bytes: texts end at their first zero byte.
inline std::string_view up_to_zero(std::string_view s) {
  size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}
inline Text text_of(std::string_view s) { return Text::copy(up_to_zero(s)); }
inline std::string without_zeros(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != '\0') out += c;
  return out;
}
inline std::string str(const Text& t) { return std::string(t.view()); }

inline uint8_t byte_at(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }
// The text primitives' walk: a byte of 0x80 or more takes the next byte with it.
inline size_t char_length(std::string_view s, size_t i) { return byte_at(s, i) >= 0x80 ? 2 : 1; }

inline bool same_at(std::string_view t, size_t p, std::string_view q, bool folded) {
  if (p + q.size() > t.size()) return false;
  for (size_t i = 0; i < q.size(); ++i) {
    uint8_t a = byte_at(t, p + i), b = byte_at(q, i);
    if (folded ? ascii_lower(a) != ascii_lower(b) : a != b) return false;
  }
  return true;
}

// find_text read literally: 1-based start (0 or absent: the beginning),
// every character start of the stretch tried in turn.
inline int32_t naive_find(std::string_view t, std::string_view q, int64_t start, bool folded) {
  size_t s = start > 1 ? size_t(start - 1) : 0;
  if (q.empty()) return s < t.size() ? 1 : -1;
  for (size_t p = s; p < t.size() && p + q.size() <= t.size(); p += char_length(t, p))
    if (same_at(t, p, q, folded)) return int32_t(p + 1);
  return -1;
}

inline bool is_blank_at(std::string_view t, size_t p) {
  if (byte_at(t, p) == 0x20) return true;
  return byte_at(t, p) == 0xA1 && p + 1 < t.size() && byte_at(t, p + 1) == 0xA1;
}

// trim_spaces read literally: leading blanks skipped character by character,
// the run of trailing blanks cut off, a lead byte at the very end dropped.
inline std::string naive_trim(std::string_view t) {
  size_t p = 0;
  while (p < t.size() && is_blank_at(t, p)) p += byte_at(t, p) == 0x20 ? 1 : 2;
  const size_t begin = p;
  size_t end = p;
  while (p < t.size()) {
    if (byte_at(t, p) >= 0x80 && p + 1 == t.size()) {
      end = p;
      break;
    }
    bool blank = is_blank_at(t, p);
    p += char_length(t, p);
    if (!blank) end = p;
  }
  return std::string(t.substr(begin, end - begin));
}

}  // namespace cx::fuzz
