// The text primitives on arbitrary bytes: every result agrees with a plain
// character-by-character reading of the same rule, and the by-reference
// position walk of bytes_read_value always ends.

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "services/text.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/provider_entry.h"

namespace cx::fuzz {
namespace {

std::optional<int32_t> maybe(FuzzedDataProvider& in) {
  if (!in.ConsumeBool()) return std::nullopt;
  // Mostly small positions around the text, now and then any value at all.
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-3, 80) : in.ConsumeIntegral<int32_t>();
}

// replace_text read literally: the walk from start, matches replaced without
// overlap, a lead byte that the walk meets at the very end dropped.
std::string naive_replace(std::string_view t, std::string_view q, std::string_view r, std::optional<int32_t> start,
                          std::optional<int32_t> max_count, bool case_sensitive) {
  const size_t L = t.size(), M = q.size();
  size_t s = start && *start > 1 ? size_t(*start - 1) : 0;
  int64_t k = max_count ? *max_count : -1;
  if (L == 0 || M == 0 || s >= L || k == 0) return std::string(t);
  std::string out(t.substr(0, s));
  size_t p = s;
  while (p + M <= L) {
    if (same_at(t, p, q, !case_sensitive)) {
      out += r;
      p += M;
      if (k != -1 && --k == 0) break;
      continue;
    }
    if (byte_at(t, p) >= 0x80 && p + 1 == L) {  // broken lead: dropped, the loop ends
      p = L;
      break;
    }
    size_t n = char_length(t, p);
    out += t.substr(p, n);
    p += n;
  }
  if (p < L) out += t.substr(p);
  return out;
}

std::string naive_upper(std::string_view t) {
  std::string out(t);
  for (size_t i = 0; i < out.size(); i += char_length(out, i))
    out[i] = ascii_upper(out[i]);
  return out;
}

// to_integer's full-width folding, then the decimal reading.
int32_t naive_integer(std::string_view t) {
  std::string f;
  for (size_t i = 0; i < t.size();) {
    uint8_t c = byte_at(t, i);
    if (c < 0x80) {
      f += char(c);
      ++i;
      continue;
    }
    if (i + 1 >= t.size()) break;  // broken lead: left out
    uint8_t d = byte_at(t, i + 1);
    i += 2;
    if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) f += char(d - 0x80);
    else if (c == 0xA1 && d == 0xA1) f += ' ';
    else if (c == 0xA1 && d == 0xAB) f += '~';
    else if (c == 0xA1 && (d == 0xEE || d == 0xEF)) f += '*';
    else f += "\x01\x01";  // any other character stops a number
  }
  size_t i = 0;
  while (i < f.size() && (f[i] == ' ' || (f[i] >= 0x09 && f[i] <= 0x0D))) ++i;
  bool negative = false;
  if (i < f.size() && (f[i] == '+' || f[i] == '-')) negative = f[i++] == '-';
  uint32_t v = 0;
  for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) v = v * 10u + uint32_t(f[i] - '0');
  return int32_t(negative ? 0u - v : v);
}

std::string naive_replace_bytes(std::string_view t, std::string_view q, std::string_view r,
                                std::optional<int32_t> start, std::optional<int32_t> max_count) {
  const size_t L = t.size(), M = q.size();
  size_t s = start && *start > 1 ? size_t(*start - 1) : 0;
  int64_t k = max_count ? (*max_count < 0 ? 0 : *max_count) : -1;
  if (L == 0 || M == 0 || s >= L || k == 0) return std::string(t);
  std::string out(t.substr(0, s));
  size_t p = s;
  while (p + M <= L) {
    if (t.compare(p, M, q) == 0) {
      out += r;
      p += M;
      if (k != -1 && --k == 0) break;
    } else {
      out += t[p++];
    }
  }
  out += t.substr(p);
  return out;
}

void check_find(std::string_view t, std::string_view q, std::optional<int32_t> start, int32_t ignore) {
  const Text tt = Text::copy(t), qq = Text::copy(q);
  const int32_t got = find_text(tt, qq, start, ignore);
  const int32_t want = naive_find(t, q, start ? int64_t(*start) : 0, ignore == 1);
  CX_CHECK_MSG(got == want, "find_text " + std::to_string(got) + " want " + std::to_string(want) + " in " + hex(t) +
                                " for " + hex(q));
  // The form over a measured text gives the same answer.
  CX_CHECK(find_text_in(t, qq, start, ignore) == want);
  if (got != -1 && !q.empty()) {
    CX_CHECK(got >= 1 && size_t(got) - 1 + q.size() <= t.size());
    CX_CHECK(same_at(t, size_t(got - 1), q, ignore == 1));
  }
}

void check_read_walk(const std::string& raw, int32_t kind, int32_t first) {
  // A subroutine value is as wide as a code address.
  static const int32_t kSizes[] = {0, 1, 2, 4, 8, 4, 8, 4, 8, kSubroutineBytes, 0};
  static const uint32_t kTags[] = {0, TAG_BYTE, TAG_SHORT, TAG_INT, TAG_LONG, TAG_FLOAT,
                                   TAG_DOUBLE, TAG_BOOL, TAG_DATE, TAG_SUB, TAG_TEXT};
  const Bytes b = Bytes::copy(raw.data(), raw.size());
  const int64_t len = int64_t(raw.size());
  int32_t position = first;
  Cell ref = cell_ref(TAG_INT, &position);
  // Every step moves forward by at least one byte or ends the walk: it
  // cannot take more steps than there are bytes.
  for (int64_t steps = 0;; ++steps) {
    CX_CHECK_MSG(steps <= len + 1, "the position walk does not end");
    const int32_t at = position;
    Cell v = bytes_read_value(b, kind, &ref);
    CX_CHECK(v.tag == kTags[kind]);
    const int64_t from = int64_t(at) - 1;
    const int64_t avail = (at >= 1 && from < len) ? len - from : 0;
    int64_t consumed;
    if (kind == 10) {
      std::string_view rest = avail > 0 ? std::string_view(raw).substr(size_t(from)) : std::string_view();
      std::string_view want = up_to_zero(rest);
      consumed = int64_t(want.size()) + (want.size() < rest.size() ? 1 : 0);
      Text got = cell_take_text(&v);
      CX_CHECK_MSG(got.view() == want, "read text " + hex(got.view()) + " want " + hex(want));
    } else {
      unsigned char want[8] = {};
      if (avail > 0) std::memcpy(want, raw.data() + from, size_t(std::min<int64_t>(avail, kSizes[kind])));
      Cell expect{};
      std::memcpy(&expect.v, want, 8);
      if (kind == 7) expect.v.i64 = expect.v.w.lo ? 1 : 0;
      if (kind == 8) {
        double d = expect.v.f64;
        if (d < -657434.0) expect.v.f64 = -657434.0;
        else if (d > 2958465.0) expect.v.f64 = 2958465.0;
      }
      // Values are compared bit by bit (a NaN read is the same NaN).
      const size_t n = kind == 7 ? 8 : size_t(kSizes[kind]);
      CX_CHECK_MSG(std::memcmp(&v.v, &expect.v, n) == 0, "read value of kind " + std::to_string(kind));
      consumed = kSizes[kind];
    }
    const int64_t next = from + consumed;
    const int32_t want_position = (avail == 0 || next >= len) ? -1 : int32_t(next + 1);
    CX_CHECK_MSG(position == want_position, "position " + std::to_string(position) + " want " +
                                                std::to_string(want_position));
    if (position == -1) break;
    CX_CHECK(position > at);
  }
}

}  // namespace

void fuzz_input(FuzzedDataProvider& in) {
  const std::string raw_q = in.ConsumeRandomLengthString(16);
  const std::string raw_r = in.ConsumeRandomLengthString(16);
  const auto start = maybe(in);
  const auto limit = maybe(in);
  const int32_t ignore = in.PickValueInArray<int32_t>({0, 1, 2, -1});
  const int32_t count = in.ConsumeIntegralInRange<int32_t>(-2, 64);
  const int32_t kind = in.ConsumeIntegralInRange<int32_t>(1, 10);
  const int32_t first = in.ConsumeIntegralInRange<int32_t>(-2, 40);
  const std::string raw = in.ConsumeRemainingBytesAsString();
  const std::string_view t = up_to_zero(raw), q = up_to_zero(raw_q), r = up_to_zero(raw_r);
  const Text tt = Text::copy(t), qq = Text::copy(q), rr = Text::copy(r);

  // Searching: as given, with the sought text taken from the text itself
  // (so that matches exist), and from a character that is a trail byte.
  check_find(t, q, start, ignore);
  if (!t.empty()) {
    size_t from = size_t(count < 0 ? 0 : count) % t.size();
    check_find(t, t.substr(from, q.size() + 1), start, ignore);
    check_find(t, t.substr(from, 1), std::nullopt, ignore);
  }

  // Replacing, both comparisons; a sought text that does not occur leaves
  // the text as it was but for a broken lead byte that the walk drops.
  for (bool sensitive : {true, false}) {
    const Text got = replace_text(tt, qq, rr, start, limit, sensitive);
    const std::string want = naive_replace(t, q, r, start, limit, sensitive);
    CX_CHECK_MSG(got.view() == want, "replace_text " + hex(got.view()) + " want " + hex(want) + " in " + hex(t) +
                                        " for " + hex(q));
    if (naive_find(t, q, start ? *start : 0, !sensitive) == -1 && !q.empty()) {
      const bool dropped = q.size() == 1 && !t.empty() && byte_at(t, t.size() - 1) >= 0x80 &&
                           got.length() + 1 == int32_t(t.size());
      CX_CHECK(got.view() == t || dropped);
    }
  }

  // Trimming, upper case, numbers, cutting by bytes.
  {
    const Text trimmed = trim_spaces(tt);
    CX_CHECK_MSG(trimmed.view() == naive_trim(t), "trim_spaces of " + hex(t));
    const Text upper = to_upper(tt);
    CX_CHECK(upper.length() == int32_t(t.size()));
    CX_CHECK_MSG(upper.view() == naive_upper(t), "to_upper of " + hex(t));
    CX_CHECK_MSG(to_integer(tt) == naive_integer(t), "to_integer of " + hex(t));
    CX_CHECK(to_integer(cell_text(tt)) == naive_integer(t));

    const Text left = text_left(tt, count);
    CX_CHECK(left.view() == (count <= 0 ? std::string_view() : t.substr(0, size_t(count))));
    const int32_t middle_start = start.value_or(1);
    const Text middle = text_middle(tt, middle_start, count);
    const int64_t s0 = int64_t(middle_start) - 1;
    std::string_view want_middle =
        (s0 < 0 || s0 >= int64_t(t.size()) || count <= 0) ? std::string_view() : t.substr(size_t(s0), size_t(count));
    CX_CHECK(middle.view() == want_middle);
    CX_CHECK(text_middle_in(t, middle_start, count).view() == want_middle);
  }

  // Byte strings keep zero bytes: the raw input, unshortened.
  {
    const Bytes b = Bytes::copy(raw.data(), raw.size());
    const Bytes bq = Bytes::copy(raw_q.data(), raw_q.size());
    const Bytes br = Bytes::copy(raw_r.data(), raw_r.size());
    const Bytes got = replace_bytes(b, bq, br, start, limit);
    const std::string want = naive_replace_bytes(raw, raw_q, raw_r, start, limit);
    CX_CHECK_MSG(got.view() == want, "replace_bytes " + hex(got.view()) + " want " + hex(want));
    CX_CHECK(to_text(b).view() == up_to_zero(raw));
    CX_CHECK(to_bytes(tt).view() == t);
    CX_CHECK(bytes_left(b, count).view() == (count <= 0 ? std::string_view() : std::string_view(raw).substr(0, size_t(count))));
    check_read_walk(raw, kind, first);
    // A position given by value reads the same but is not written anywhere.
    Cell pos = cell_int(first);
    Cell by_value = bytes_read_value(b, 10, &pos);
    Text read = cell_take_text(&by_value);
    const int64_t from = int64_t(first) - 1;
    std::string_view rest = (first >= 1 && from < int64_t(raw.size())) ? std::string_view(raw).substr(size_t(from))
                                                                       : std::string_view();
    CX_CHECK(read.view() == up_to_zero(rest));
    CX_CHECK(bytes_read_text(b).view() == up_to_zero(raw));
  }
}

}  // namespace cx::fuzz
