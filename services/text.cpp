// Text primitives. Texts are GBK: a byte of 0x80 or more starts a
// double-byte character, and the character-aware operations step over such a
// pair as one unit. Results that are assembled piece by piece grow in one
// heap buffer that becomes the result block; every scan is one linear pass.
#include "services/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "services/runtime.h"
#include "services/text_internal.h"

namespace cx {

namespace detail {

// ---------------------------------------------------------------------------
// Output buffer: `header` bytes reserved in front (the byte-string head).

OutBuf::OutBuf(size_t header, size_t expected) : header_(header) {
  cap_ = expected < 16 ? 16 : expected;
  p_ = static_cast<char*>(heap_allocate(header_ + cap_ + 1));
}

OutBuf::~OutBuf() { heap_release(p_); }

void OutBuf::grow(size_t more) {
  size_t want = n_ + more;
  size_t cap = cap_;
  while (cap < want) cap = cap < (size_t(1) << 30) ? cap * 2 : cap + (cap >> 1);
  p_ = static_cast<char*>(heap_reallocate(p_, header_ + cap + 1));
  cap_ = cap;
}

Text OutBuf::take_text() {
  if (n_ == 0) return Text();
  char* p = static_cast<char*>(heap_reallocate(p_, n_ + 1));
  p_ = nullptr;
  p[n_] = 0;
  return Text::adopt(p);
}

Bytes OutBuf::take_bytes() {
  if (n_ == 0) return Bytes();
  auto* b = static_cast<BytesBlock*>(heap_reallocate(p_, header_ + n_));
  p_ = nullptr;
  b->dims = 1;
  b->length = int32_t(n_);
  return Bytes::adopt(b);
}

// ---------------------------------------------------------------------------
// Searching

namespace {

inline uint8_t fold(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c + 0x20) : c; }

bool equal_folded(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (fold(a[i]) != fold(b[i])) return false;
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
    lower = fold(q[0]);
    upper = (lower >= 'a' && lower <= 'z') ? uint8_t(lower - 0x20) : lower;
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
using detail::OutBuf;

namespace {

inline const uint8_t* U(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

// ---------------------------------------------------------------------------
// Decimal formatting

size_t put_u64(char* out, uint64_t v) {
  char tmp[24];
  size_t n = 0;
  do {
    tmp[n++] = char('0' + v % 10);
    v /= 10;
  } while (v);
  for (size_t i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  return n;
}

Text decimal(int64_t v) {
  char buf[24];
  size_t n = 0;
  uint64_t u = uint64_t(v);
  if (v < 0) {
    buf[n++] = '-';
    u = 0 - u;
  }
  n += put_u64(buf + n, u);
  return Text::copy(buf, n);
}

// ---------------------------------------------------------------------------
// Date-time: days since 1899-12-30, the time of day as the fraction.

constexpr double kMinDate = -657434.0;  // 0100-01-01
constexpr double kMaxDate = 2958465.0;  // 9999-12-31

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yy + (*m <= 2);
}

Text date_text(double v) {
  if (std::isnan(v)) v = 0;
  v = detail::clamp_date(v);
  // Whole days count toward zero; the fraction is the time of day either way
  // (-1.25 is 1899-12-29 06:00).
  double whole = std::trunc(v);
  int64_t day = int64_t(whole);
  int64_t secs = std::llround(std::fabs(v - whole) * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    day += v < 0 ? -1 : 1;
  }
  int64_t y;
  unsigned m, d;
  civil_from_days(day + days_from_civil(1899, 12, 30), &y, &m, &d);
  int hh = int(secs / 3600), mm = int(secs / 60 % 60), ss = int(secs % 60);
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%d年%d月%d日", int(y), int(m), int(d));
  if (ss != 0)
    n += std::snprintf(buf + n, sizeof buf - size_t(n), "%d时%d分%d秒", hh, mm, ss);
  else if (mm != 0)
    n += std::snprintf(buf + n, sizeof buf - size_t(n), "%d时%d分", hh, mm);
  else if (hh != 0)
    n += std::snprintf(buf + n, sizeof buf - size_t(n), "%d时", hh);
  return Text::copy(buf, size_t(n));
}

Text float_text(double v, int digits) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, digits == 6 ? "%.6g" : "%.13g", v);
  return Text::copy(buf, size_t(n > 0 ? n : 0));
}

// Truncation toward zero to 64 bits; out-of-range and NaN give the integer
// indefinite value, as the processor's conversion does.
int64_t truncate_to_64(double v) {
  if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
  return int64_t(v);
}

size_t numeric_size(uint32_t base) {
  switch (base) {
    case TAG_BYTE: return 1;
    case TAG_SHORT: return 2;
    case TAG_INT: return 4;
    case TAG_LONG: return 8;
    case TAG_FLOAT: return 4;
    case TAG_DOUBLE: return 8;
    default: return 0;
  }
}

}  // namespace

double detail::clamp_date(double v) {
  if (v < kMinDate) return kMinDate;
  if (v > kMaxDate) return kMaxDate;
  return v;
}

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
  OutBuf out(0, len + (len >> 3));
  out.append(t, s);
  size_t p = s;
  for (;;) {
    size_t c = find_from(t, len, p, q, m, !case_sensitive);
    if (c == kNotFound) break;
    out.append(t + p, c - p);
    out.append(replacement.data(), replacement.size());
    p = c + m;
    if (k != -1 && --k == 0) break;
  }
  size_t end = len;
  // With a one-byte sought text the character walk reaches the last byte; a
  // lead byte there is a broken character and is left out.
  if (m == 1 && (k == -1 || k != 0) && p < len && t[len - 1] >= 0x80 && is_char_start(t, p, len - 1)) end = len - 1;
  if (end > p) out.append(t + p, end - p);
  return out.take_text();
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
      if (c >= 'a' && c <= 'z') u[i] = uint8_t(c - 0x20);
      ++i;
    }
  }
  return Text::adopt(p);
}

Text to_upper(const Text& t) { return detail::upper_of(t.view()); }

// ---------------------------------------------------------------------------
// Numbers

// The full-width folding of to_integer, one character at a time.
struct FoldReader {
  const uint8_t* t;
  size_t len;
  size_t p = 0;
  int next() {
    if (p >= len) return -1;
    uint8_t c = t[p];
    if (c < 0x80) {
      ++p;
      return c;
    }
    if (p + 1 >= len) {  // broken lead byte: left out, the walk ends
      p = len;
      return -1;
    }
    uint8_t d = t[p + 1];
    p += 2;
    if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) return d - 0x80;
    if (c == 0xA1) {
      if (d == 0xA1) return 0x20;
      if (d == 0xAB) return 0x7E;
      if (d == 0xEE || d == 0xEF) return 0x2A;
    }
    return c;  // any other character: its lead byte stops a number
  }
};

int32_t detail::integer_of(std::string_view text) {
  FoldReader r{U(text.data()), text.size()};
  int c = r.next();
  while (c == 0x20 || (c >= 0x09 && c <= 0x0D)) c = r.next();
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = r.next();
  }
  uint32_t v = 0;
  while (c >= '0' && c <= '9') {
    v = v * 10u + uint32_t(c - '0');
    c = r.next();
  }
  return int32_t(negative ? 0u - v : v);
}

int32_t to_integer(const Text& t) { return detail::integer_of(t.view()); }

int32_t to_integer(const Cell& v) {
  switch (v.tag) {
    case TAG_TEXT: return detail::integer_of(std::string_view(cell_as_text(v)));
    case TAG_BOOL:
    case TAG_INT:
    case TAG_SUB:
    case TAG_LONG: return int32_t(v.v.w.lo);
    case TAG_BYTE: return int32_t(v.v.w.lo & 0xFF);
    case TAG_SHORT: return int32_t(int16_t(v.v.w.lo & 0xFFFF));
    case TAG_FLOAT: return int32_t(uint32_t(uint64_t(truncate_to_64(double(v.v.f32)))));
    case TAG_DOUBLE: return int32_t(uint32_t(uint64_t(truncate_to_64(v.v.f64))));
    default: return 0;
  }
}

Text to_text(int64_t v) { return decimal(v); }

Text detail::text_of_bytes(const uint8_t* data, int32_t n) {
  if (data == nullptr || n <= 0) return Text();
  const void* z = std::memchr(data, 0, size_t(n));
  size_t len = z ? size_t(static_cast<const uint8_t*>(z) - data) : size_t(n);
  return Text::copy(reinterpret_cast<const char*>(data), len);
}

Text to_text(const Bytes& b) { return detail::text_of_bytes(b.data(), b.size()); }

Text to_text(const Cell& v) {
  switch (v.tag) {
    case TAG_TEXT: return Text::copy(std::string_view(cell_as_text(v)));
    case TAG_BYTES: {
      const BytesBlock* b = cell_as_bytes(v);
      return detail::text_of_bytes(b->data, b->length);
    }
    case TAG_BYTE: return decimal(int64_t(v.v.w.lo & 0xFF));
    case TAG_SHORT: return decimal(int16_t(v.v.w.lo & 0xFFFF));
    case TAG_INT: return decimal(int32_t(v.v.w.lo));
    case TAG_LONG: return decimal(v.v.i64);
    case TAG_FLOAT: return float_text(double(v.v.f32), 6);
    case TAG_DOUBLE: return float_text(v.v.f64, 13);
    case TAG_BOOL: return Text::copy(std::string_view(v.v.w.lo ? "真" : "假"));
    case TAG_DATE: return date_text(v.v.f64);
    default: return Text();
  }
}

Bytes to_bytes(const Text& t) { return Bytes::copy(t.c_str(), size_t(t.length())); }

Bytes to_bytes(int64_t v) { return Bytes::copy(&v, sizeof v); }  // both targets are little-endian

Bytes to_bytes(const Cell& v) {
  switch (v.tag) {
    case TAG_TEXT: return Bytes::copy(cell_as_text(v), std::strlen(cell_as_text(v)));
    case TAG_BYTES: {
      const BytesBlock* b = cell_as_bytes(v);
      return b->length > 0 ? Bytes::copy(b->data, size_t(b->length)) : Bytes();
    }
    case TAG_BYTE:
    case TAG_SHORT:
    case TAG_INT:
    case TAG_LONG:
    case TAG_FLOAT:
    case TAG_DOUBLE: return Bytes::copy(&v.v, numeric_size(v.tag));
    case TAG_BOOL:
    case TAG_SUB: return Bytes::copy(&v.v, 4);
    case TAG_DATE: return Bytes::copy(&v.v, 8);
    default: break;
  }
  if ((v.tag & TAG_BYREF) != 0 && v.tag >= 0x40000000u) {
    // A numeric array: all its elements' bytes in order.
    size_t es = numeric_size(v.tag & ~uint32_t(TAG_BYREF));
    const auto* block = static_cast<const int32_t*>(v.v.ptr);
    if (es == 0 || block == nullptr) return Bytes();
    int32_t d = block[0];
    if (d < 1) return Bytes();
    uint64_t count = 1;
    for (int32_t i = 0; i < d; ++i) {
      if (block[1 + i] < 0) return Bytes();
      count *= uint64_t(block[1 + i]);
      if (count > 0x7FFFFFFFu) return Bytes();
    }
    uint64_t n = count * es;
    if (n > 0x7FFFFFFFu) return Bytes();
    return Bytes::copy(block + 1 + d, size_t(n));
  }
  return Bytes();
}

// ---------------------------------------------------------------------------
// Byte strings

int32_t bytes_length(const Bytes& b) { return b.size(); }

Bytes detail::bytes_left_of(const uint8_t* data, int32_t n, int32_t count) {
  if (count <= 0 || n <= 0) return Bytes();
  return Bytes::copy(data, size_t(count < n ? count : n));
}

Bytes bytes_left(const Bytes& b, int32_t count) { return detail::bytes_left_of(b.data(), b.size(), count); }

Bytes detail::replace_bytes_in(const uint8_t* t, int32_t n, const uint8_t* q, int32_t qn, const uint8_t* r,
                               int32_t rn, std::optional<int32_t> start, std::optional<int32_t> max_count) {
  const size_t len = n > 0 ? size_t(n) : 0, m = qn > 0 ? size_t(qn) : 0;
  size_t s = 0;
  if (start) s = *start > 1 ? size_t(*start - 1) : 0;
  int32_t k = max_count ? (*max_count < 0 ? 0 : *max_count) : -1;
  if (len == 0 || m == 0 || s >= len || k == 0) return len ? Bytes::copy(t, len) : Bytes();
  OutBuf out(offsetof(BytesBlock, data), len);
  out.append(t, s);
  size_t p = s;
  while (p + m <= len) {
    const auto* hit = static_cast<const uint8_t*>(std::memchr(t + p, q[0], len - m - p + 1));
    if (hit == nullptr) break;
    size_t c = size_t(hit - t);
    if (std::memcmp(t + c + 1, q + 1, m - 1) != 0) {
      out.append(t + p, c + 1 - p);
      p = c + 1;
      continue;
    }
    out.append(t + p, c - p);
    if (rn > 0) out.append(r, size_t(rn));
    p = c + m;
    if (k != -1 && --k == 0) break;
  }
  out.append(t + p, len - p);
  return out.take_bytes();
}

Bytes replace_bytes(const Bytes& b, const Bytes& sought, const Bytes& replacement, std::optional<int32_t> start,
                    std::optional<int32_t> max_count) {
  return detail::replace_bytes_in(b.data(), b.size(), sought.data(), sought.size(), replacement.data(),
                                  replacement.size(), start, max_count);
}

Bytes blank_bytes(int32_t count) { return count <= 0 ? Bytes() : Bytes::zeros(size_t(count)); }

Cell detail::read_value(const uint8_t* data, int32_t n, int32_t kind, const Cell* position) {
  static const uint32_t kTags[] = {0, TAG_BYTE, TAG_SHORT, TAG_INT, TAG_LONG, TAG_FLOAT,
                                   TAG_DOUBLE, TAG_BOOL, TAG_DATE, TAG_SUB, TAG_TEXT};
  static const int32_t kSizes[] = {0, 1, 2, 4, 8, 4, 8, 4, 8, 4, 0};
  if (kind < 1 || kind > 10) runtime_error("“欲取出数据的类型”参数值无效", 0);
  const int64_t len = n > 0 ? n : 0;
  int32_t* variable = nullptr;
  int64_t pos = 1;
  if (position != nullptr && !cell_is_absent(*position)) {
    if ((position->tag & TAG_BYREF) != 0 && position->tag >= 0x40000000u) {
      variable = static_cast<int32_t*>(position->v.ptr);
      pos = variable ? *variable : 1;
    } else {
      pos = to_integer(*position);
    }
  }
  const int64_t at = pos - 1;
  const int64_t avail = (pos >= 1 && at < len) ? len - at : 0;
  Cell result{};
  result.tag = kTags[kind];
  int64_t consumed = 0;
  if (kind == 10) {
    if (avail > 0) {
      const uint8_t* p = data + at;
      const void* z = std::memchr(p, 0, size_t(avail));
      size_t tl = z ? size_t(static_cast<const uint8_t*>(z) - p) : size_t(avail);
      consumed = z ? int64_t(tl) + 1 : int64_t(tl);
      result.v.ptr = Text::copy(reinterpret_cast<const char*>(p), tl).release();
    }
  } else {
    int32_t size = kSizes[kind];
    if (avail > 0) std::memcpy(&result.v, data + at, size_t(avail < size ? avail : size));
    consumed = size;
    if (kind == 7) {
      result.v.w.lo = result.v.w.lo ? 1u : 0u;
      result.v.w.hi = 0;
    }
    if (kind == 8) result.v.f64 = clamp_date(result.v.f64);
  }
  if (variable != nullptr) {
    // Nothing to read (before the start or past the end) also ends the walk.
    int64_t next = at + consumed;
    *variable = (avail == 0 || next >= len) ? -1 : int32_t(next + 1);
  }
  return result;
}

Cell bytes_read_value(const Bytes& b, int32_t kind, const Cell* position) {
  return detail::read_value(b.data(), b.size(), kind, position);
}

Text bytes_read_text(const Bytes& b) {
  Cell c = detail::read_value(b.data(), b.size(), 10, nullptr);
  return cell_take_text(&c);
}

}  // namespace cx
