// Conversions between values and texts: decimal and float formatting, the
// date-time calendar (days since 1899-12-30), number parsing with full-width
// folding, and the text and byte forms of every value kind.
#include "services/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "services/runtime.h"
#include "services/text_internal.h"

namespace cx {

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
    case TAG_BOOL: return Bytes::copy(&v.v, 4);
    case TAG_SUB: return Bytes::copy(&v.v, size_t(kSubroutineBytes));
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

}  // namespace cx
