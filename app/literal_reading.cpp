// The decoding script's literal read as the script engine reads it, a part
// at a time: each level keeps back what it cannot decide yet (an escape that
// may go on in the next part, the first half of a surrogate pair) and reads
// it with that part.
#include "app/literal_reading.h"

#include "services/ascii.h"
#include "services/codepage.h"
#include "services/runtime.h"

namespace cx {

namespace {

// The longest escape of either level: \uHHHH and %uHHHH, six units each.
constexpr size_t kLongestEscape = 6;

bool is_decimal(char16_t c) { return c >= '0' && c <= '9'; }
bool is_high_half(char16_t u) { return u >= 0xD800 && u < 0xDC00; }

}  // namespace

void LiteralReader::turn_at(size_t characters) {
  characters_ += characters;
  if (characters_ >= next_turn_) {
    process_events();
    next_turn_ = characters_ + kCharsPerTurn;
  }
}

void LiteralReader::read(std::string_view part) {
  unread_ += ansi_to_utf16(part);
  step(false);
}

Text LiteralReader::finish() {
  step(true);
  return text_.take();
}

std::u16string LiteralReader::finish_units() {
  step(true);
  return std::move(decoded_);
}

void LiteralReader::step(bool last) {
  // The literal's own escapes. A zero character ends unescape's reading:
  // what follows it is lost.
  const char16_t* w = unread_.data();
  const size_t n = unread_.size();
  size_t i = 0, counted = 0;
  while (i < n && !ended_) {
    turn_at(i - counted);
    counted = i;
    const char16_t c = w[i];
    if (c != '\\') {
      if (c == 0) ended_ = true;
      else literal_ += c;
      ++i;
      continue;
    }
    if (!last && n - i < kLongestEscape) break;  // the escape may go on in the next part
    if (i + 1 == n) {  // at the very end: the builder's way, a backslash
      literal_ += c;
      ++i;
      continue;
    }
    const char16_t e = w[i + 1];
    i += 2;
    char16_t unit = e;  // any other escaped character stands for itself
    switch (e) {
      case 'b': unit = 0x08; break;
      case 't': unit = 0x09; break;
      case 'n': unit = 0x0A; break;
      case 'f': unit = 0x0C; break;
      case 'r': unit = 0x0D; break;
      case 'x':
      case 'u': {
        const size_t digits = e == 'x' ? 2 : 4;
        const long v = hex_digits_value(w, i, n, digits);
        if (v >= 0) {  // else incomplete: the letter alone, as the builder writes it
          unit = char16_t(v);
          i += digits;
        }
        break;
      }
      default:
        if (is_decimal(e)) {
          unsigned v = unsigned(e - '0');
          for (int more = 0; more < 2 && i < n && is_decimal(w[i]); ++more, ++i) v = v * 8 + unsigned(w[i] - '0');
          unit = char16_t(v);
        }
    }
    if (unit == 0) ended_ = true;
    else literal_ += unit;
  }
  unread_.erase(0, ended_ ? n : i);

  // unescape's escapes, the zero characters they give dropped.
  const char16_t* x = literal_.data();
  const size_t m = literal_.size();
  size_t j = 0;
  while (j < m) {
    char16_t c = x[j];
    size_t length = 1;
    if (c == '%') {
      if (!last && !ended_ && m - j < kLongestEscape) break;  // the escape may go on
      long v = j + 1 < m && x[j + 1] == 'u' ? hex_digits_value(x, j + 2, m, 4) : -1;
      if (v >= 0) {
        length = 6;
      } else if ((v = hex_digits_value(x, j + 1, m, 2)) >= 0) {
        length = 3;
      }
      if (v >= 0) c = char16_t(v);
    }
    if (c != 0) decoded_ += c;
    j += length;
  }
  literal_.erase(0, j);

  // The conversion, but for a first half of a pair whose second may follow.
  if (keep_units_) return;
  size_t k = decoded_.size();
  if (!last && k > 0 && is_high_half(decoded_[k - 1])) --k;
  if (k == 0) return;
  text_.put(utf16_to_ansi(decoded_.data(), k).view());
  decoded_.erase(0, k);
}

Text read_literal(std::string_view literal) {
  LiteralReader reader(literal.size());
  reader.read(literal);
  return reader.finish();
}

std::u16string read_literal_units(std::string_view literal) {
  LiteralReader reader(0, true);
  reader.read(literal);
  return reader.finish_units();
}

}  // namespace cx
