// Text primitives: searching, cutting and case. Texts are GBK: a byte of 0x80 or more starts a
// double-byte character, and the character-aware operations step over such a
// pair as one unit. Results that are assembled piece by piece grow in one
// heap buffer that becomes the result block; every scan is one linear pass.
#include "services/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "services/ascii.h"
#include "services/runtime.h"
#include "services/text_builder.h"
#include "services/text_internal.h"

namespace cx {

namespace detail {

// ---------------------------------------------------------------------------
// Searching

namespace {

bool equal_folded(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

// Finds the next occurrence of one byte at or after `from`, remembering the
// last answer so that a byte that is rare is not searched for again and again.
struct ByteCursor {
  static constexpr size_t kUnknown = size_t(-2);
  uint8_t byte;
  size_t at = kUnknown;  // kNotFound: none left
  size_t next(const uint8_t* t, size_t from, size_t last) {
    if (at == kNotFound) return at;
    if (at == kUnknown || at < from) {
      const void* hit = std::memchr(t + from, byte, last - from + 1);
      at = hit ? size_t(static_cast<const uint8_t*>(hit) - t) : kNotFound;
    }
    return at;
  }
};

// The first byte at or after `from` (up to `last`) that equals a or b. The
// search goes window by window, so a byte that is absent from the rest of a
// long page is not looked for all the way to its end when the other one is
// close by (cutting a page tile by tile would otherwise grow quadratic).
size_t next_of_either(const uint8_t* t, size_t from, size_t last, uint8_t a, uint8_t b) {
  constexpr size_t kWindow = 4096;
  while (from <= last) {
    const size_t n = last - from + 1 < kWindow ? last - from + 1 : kWindow;
    const void* ha = std::memchr(t + from, a, n);
    const size_t na = ha ? size_t(static_cast<const uint8_t*>(ha) - (t + from)) : n;
    const void* hb = std::memchr(t + from, b, na);
    if (hb) return size_t(static_cast<const uint8_t*>(hb) - t);
    if (ha) return from + na;
    from += n;
  }
  return kNotFound;
}

}  // namespace

bool is_char_start(const uint8_t* t, size_t known, size_t c) {
  // Every byte below 0x80 is followed by a character start, and between such
  // a point and c only lead/trail pairs can lie: parity decides. Long runs of
  // double-byte characters are crossed eight bytes at a time.
  size_t b = c;
  while (b - known >= 8) {
    uint64_t w;
    std::memcpy(&w, t + b - 8, 8);
    if ((w & 0x8080808080808080ull) != 0x8080808080808080ull) break;
    b -= 8;
  }
  while (b > known && t[b - 1] >= 0x80) --b;
  return ((c - b) & 1) == 0;
}

size_t find_in_zero_terminated(const uint8_t* t, size_t s, const uint8_t* q, size_t m) {
  // No length is taken first: the search runs to the closing zero, which no
  // candidate comparison can pass because the sought text holds no zero.
  if (m == 0 || strnlen(reinterpret_cast<const char*>(t), s + 1) <= s) return kNotFound;
  const char first = char(q[0]);
  const char* rest = reinterpret_cast<const char*>(q + 1);
  size_t known = s;
  const char* from = reinterpret_cast<const char*>(t + s);
  for (;;) {
    const char* hit = std::strchr(from, first);
    if (hit == nullptr) return kNotFound;
    size_t c = size_t(reinterpret_cast<const uint8_t*>(hit) - t);
    if (c == known || t[c - 1] < 0x80 || is_char_start(t, known, c)) {
      if (m == 1 || (hit[1] == rest[0] && std::strncmp(hit + 1, rest, m - 1) == 0)) return c;
      known = c;
    } else {
      known = c + 1;
    }
    from = hit + 1;
  }
}

size_t find_from(const uint8_t* t, size_t len, size_t s, const uint8_t* q, size_t m, bool fold_case) {
  if (m == 0 || s >= len || m > len - s) return kNotFound;
  const size_t last = len - m;
  ByteCursor a{q[0]};
  uint8_t lower = q[0], upper = q[0];
  if (fold_case) {
    lower = ascii_lower(q[0]);
    upper = ascii_upper(lower);
  }
  const bool two = lower != upper;
  size_t known = s;  // a character start at or before the next candidate
  size_t from = s;
  while (from <= last) {
    const size_t c = two ? next_of_either(t, from, last, lower, upper) : a.next(t, from, last);
    if (c == kNotFound) return kNotFound;
    if (is_char_start(t, known, c)) {
      bool eq = fold_case ? equal_folded(t + c + 1, q + 1, m - 1) : std::memcmp(t + c + 1, q + 1, m - 1) == 0;
      if (eq) return c;
      known = c;
    } else {
      known = c + 1;  // c is a trail byte, so the next byte starts a character
    }
    from = c + 1;
  }
  return kNotFound;
}

}  // namespace detail

using detail::kNotFound;

namespace {

inline const uint8_t* U(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

}  // namespace

// ---------------------------------------------------------------------------
// Texts

int32_t text_length(const Text& t) { return t.length(); }

Text detail::left_of(std::string_view t, int32_t count) {
  if (count <= 0) return Text();
  return Text::copy(t.data(), size_t(count) < t.size() ? size_t(count) : t.size());
}

Text detail::middle_of(std::string_view t, int32_t start, int32_t count) {
  int64_t s = int64_t(start) - 1;
  int64_t len = int64_t(t.size());
  if (s < 0 || s >= len || count <= 0) return Text();
  int64_t n = len - s < count ? len - s : count;
  return Text::copy(t.data() + s, size_t(n));
}

Text text_left(const Text& t, int32_t count) { return detail::left_of(t.view(), count); }
Text text_middle(const Text& t, int32_t start, int32_t count) { return detail::middle_of(t.view(), start, count); }

int32_t detail::find_in(const char* t, std::string_view q, std::optional<int32_t> start, int32_t ignore_case) {
  size_t s = 0;
  if (start) s = *start > 1 ? size_t(*start - 1) : 0;
  if (q.empty()) return strnlen(t, s + 1) > s ? 1 : -1;
  size_t r;
  if (ignore_case == 1)
    r = find_from(U(t), std::strlen(t), s, U(q.data()), q.size(), true);
  else
    r = find_in_zero_terminated(U(t), s, U(q.data()), q.size());
  return r == kNotFound ? -1 : int32_t(r + 1);
}

int32_t find_text(const Text& t, const Text& sought, std::optional<int32_t> start, int32_t ignore_case) {
  return detail::find_in(t.c_str(), sought.view(), start, ignore_case);
}

int32_t find_text_in(std::string_view t, const Text& sought, std::optional<int32_t> start, int32_t ignore_case) {
  size_t s = 0;
  if (start) s = *start > 1 ? size_t(*start - 1) : 0;
  if (sought.empty()) return s < t.size() ? 1 : -1;
  const size_t r = detail::find_from(U(t.data()), t.size(), s, U(sought.c_str()), size_t(sought.length()), ignore_case == 1);
  return r == kNotFound ? -1 : int32_t(r + 1);
}

Text text_middle_in(std::string_view t, int32_t start, int32_t count) { return detail::middle_of(t, start, count); }

Text detail::replace_in(std::string_view text, std::string_view sought, std::string_view replacement,
                        std::optional<int32_t> start, std::optional<int32_t> max_count, bool case_sensitive) {
  const size_t len = text.size(), m = sought.size();
  size_t s = 0;
  if (start) s = *start > 1 ? size_t(*start - 1) : 0;
  // 64 bits: counting down from the lowest limit must not overflow.
  int64_t k = max_count ? *max_count : -1;
  if (len == 0 || m == 0 || s >= len || k == 0) return Text::copy(text);
  const uint8_t* t = U(text.data());
  const uint8_t* q = U(sought.data());
  TextBuilder out(len + (len >> 3));
  out.put(t, s);
  size_t p = s;
  for (;;) {
    size_t c = find_from(t, len, p, q, m, !case_sensitive);
    if (c == kNotFound) break;
    out.put(t + p, c - p);
    out.put(replacement);
    p = c + m;
    if (k != -1 && --k == 0) break;
  }
  size_t end = len;
  // With a one-byte sought text the character walk reaches the last byte; a
  // lead byte there is a broken character and is left out.
  if (m == 1 && (k == -1 || k != 0) && p < len && t[len - 1] >= 0x80 && is_char_start(t, p, len - 1)) end = len - 1;
  if (end > p) out.put(t + p, end - p);
  return out.take();
}

Text replace_text(const Text& t, const Text& sought, const Text& replacement, std::optional<int32_t> start,
                  std::optional<int32_t> max_count, bool case_sensitive) {
  return detail::replace_in(t.view(), sought.view(), replacement.view(), start, max_count, case_sensitive);
}

Text detail::trim_of(std::string_view text) {
  const uint8_t* t = U(text.data());
  const size_t len = text.size();
  size_t p = 0;
  while (p < len) {
    if (t[p] == 0x20) ++p;
    else if (t[p] == 0xA1 && p + 1 < len && t[p + 1] == 0xA1) p += 2;
    else break;
  }
  const size_t begin = p;
  size_t end = p;  // end of the last character that is not a blank
  while (p < len) {
    uint8_t c = t[p];
    if (c >= 0x80) {
      if (p + 1 >= len) {  // broken lead byte: dropped; blanks before it stay
        end = p;
        break;
      }
      bool blank = c == 0xA1 && t[p + 1] == 0xA1;
      p += 2;
      if (!blank) end = p;
    } else {
      ++p;
      if (c != 0x20) end = p;
    }
  }
  return Text::copy(text.data() + begin, end - begin);
}

Text trim_spaces(const Text& t) { return detail::trim_of(t.view()); }
Text trim_spaces_in(std::string_view t) { return detail::trim_of(t); }

Text detail::upper_of(std::string_view text) {
  const size_t len = text.size();
  if (len == 0) return Text();
  char* p = static_cast<char*>(heap_allocate(len + 1));
  std::memcpy(p, text.data(), len);
  p[len] = 0;
  auto* u = reinterpret_cast<uint8_t*>(p);
  for (size_t i = 0; i < len;) {
    uint8_t c = u[i];
    if (c >= 0x80) {
      i += 2;  // a trail byte is never changed (a broken lead at the end is copied as it is)
    } else {
      if (const uint8_t upper = ascii_upper(c); upper != c) u[i] = upper;
      ++i;
    }
  }
  return Text::adopt(p);
}

Text to_upper(const Text& t) { return detail::upper_of(t.view()); }

bool all_ascii(std::string_view t) {
  const size_t n = t.size();
  size_t i = 0;
  uint64_t high = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, t.data() + i, 8);
    high |= w;
  }
  for (; i < n; ++i) high |= uint8_t(t[i]);
  return (high & 0x8080808080808080ull) == 0;
}

}  // namespace cx
