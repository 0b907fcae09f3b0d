// ASCII letters and hexadecimal digits, for one byte or one UTF-16 unit
// alike. Header only and free of any run-time library, so that Updata.dll,
// which links none, shares them with the program. Every other byte or unit
// (0x80 and above included) stays as it is: in GBK such a byte belongs to a
// double-byte character, whose bytes are never folded here.
#pragma once

#include <cstddef>

namespace cx {

// A to Z as a to z.
template <class C>
constexpr C ascii_lower(C c) {
  return c >= C('A') && c <= C('Z') ? C(c + ('a' - 'A')) : c;
}

// a to z as A to Z.
template <class C>
constexpr C ascii_upper(C c) {
  return c >= C('a') && c <= C('z') ? C(c - ('a' - 'A')) : c;
}

// The value of a hexadecimal digit (either case), -1 for anything else.
template <class C>
constexpr int hex_digit_value(C c) {
  return c >= C('0') && c <= C('9') ? int(c - C('0'))
         : c >= C('a') && c <= C('f') ? int(c - C('a')) + 10
         : c >= C('A') && c <= C('F') ? int(c - C('A')) + 10
                                      : -1;
}

// The value of `count` hexadecimal digits (seven at the most) at s[at], or
// -1 when fewer than that stand before s[end] or one of them is no digit.
template <class C>
constexpr long hex_digits_value(const C* s, size_t at, size_t end, size_t count) {
  if (at > end || end - at < count) return -1;
  long v = 0;
  for (size_t k = at; k < at + count; ++k) {
    const int d = hex_digit_value(s[k]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// The upper-case digit of a value from 0 to 15.
constexpr char hex_digit_char(unsigned value) { return "0123456789ABCDEF"[value & 15]; }

}  // namespace cx
