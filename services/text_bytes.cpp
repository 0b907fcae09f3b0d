// Byte-string primitives: cutting, and reading typed values out of the bytes.
#include "services/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "services/runtime.h"
#include "services/text_builder.h"
#include "services/text_internal.h"

namespace cx {

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
  TextBuilder out = TextBuilder::byte_string(len);
  out.put(t, s);
  size_t p = s;
  while (p + m <= len) {
    const auto* hit = static_cast<const uint8_t*>(std::memchr(t + p, q[0], len - m - p + 1));
    if (hit == nullptr) break;
    size_t c = size_t(hit - t);
    if (std::memcmp(t + c + 1, q + 1, m - 1) != 0) {
      out.put(t + p, c + 1 - p);
      p = c + 1;
      continue;
    }
    out.put(t + p, c - p);
    if (rn > 0) out.put(r, size_t(rn));
    p = c + m;
    if (k != -1 && --k == 0) break;
  }
  out.put(t + p, len - p);
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
  static const int32_t kSizes[] = {0, 1, 2, 4, 8, 4, 8, 4, 8, kSubroutineBytes, 0};
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
