// The decoding script's literal read as the script engine reads it. Both
// readings run in place over one UTF-16 copy of the literal: each escape is
// at least as long as the unit it gives, so the write position never
// overtakes the read position.
#include "app/literal_reading.h"

#include "services/codepage.h"
#include "services/runtime.h"

namespace cx {

namespace {

int hex_digit(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of `count` hexadecimal digits at w[at], or -1 when there are
// fewer than that before `end` or one of them is no digit.
long hex_value(const char16_t* w, size_t at, size_t end, size_t count) {
  if (end - at < count) return -1;
  long v = 0;
  for (size_t k = at; k < at + count; ++k) {
    const int d = hex_digit(w[k]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

bool is_decimal(char16_t c) { return c >= '0' && c <= '9'; }

// The window's turn at the first character and then once per kCharsPerTurn.
class WindowTurns {
 public:
  void at(size_t position) {
    if (position >= next_) {
      process_events();
      next_ = position + kCharsPerTurn;
    }
  }

 private:
  size_t next_ = 0;
};

// The engine's string reading of w[0, n) into w[0, result), up to its first
// zero character: unescape reads its argument only that far, and what
// follows is lost. (The literal's builder drops the escapes of zero, so that
// nothing is.)
size_t read_script_escapes(char16_t* w, size_t n, WindowTurns& turns) {
  size_t out = 0;
  for (size_t i = 0; i < n && (out == 0 || w[out - 1] != 0);) {
    turns.at(i);
    const char16_t c = w[i];
    if (c != '\\' || i + 1 == n) {  // a backslash at the end: the builder's way, itself
      w[out++] = c;
      ++i;
      continue;
    }
    const char16_t e = w[i + 1];
    i += 2;
    switch (e) {
      case 'b': w[out++] = 0x08; break;
      case 't': w[out++] = 0x09; break;
      case 'n': w[out++] = 0x0A; break;
      case 'f': w[out++] = 0x0C; break;
      case 'r': w[out++] = 0x0D; break;
      case 'x':
      case 'u': {
        const size_t digits = e == 'x' ? 2 : 4;
        const long v = hex_value(w, i, n, digits);
        if (v < 0) {  // incomplete: the letter alone, as the builder writes it
          w[out++] = e;
        } else {
          w[out++] = char16_t(v);
          i += digits;
        }
        break;
      }
      default:
        if (is_decimal(e)) {
          unsigned v = unsigned(e - '0');
          for (int more = 0; more < 2 && i < n && is_decimal(w[i]); ++more, ++i) v = v * 8 + unsigned(w[i] - '0');
          w[out++] = char16_t(v);
        } else {
          w[out++] = e;
        }
    }
  }
  return out > 0 && w[out - 1] == 0 ? out - 1 : out;
}

// unescape of w[0, n) into w[0, result), zero units left out.
size_t unescape_dropping_zeros(char16_t* w, size_t n, size_t read_before, WindowTurns& turns) {
  size_t out = 0;
  for (size_t i = 0; i < n;) {
    turns.at(read_before + i);
    char16_t c = w[i];
    long v = -1;
    if (c == '%') {
      if (i + 1 < n && w[i + 1] == 'u') v = hex_value(w, i + 2, n, 4);
      if (v >= 0) {
        i += 6;
      } else if ((v = hex_value(w, i + 1, n, 2)) >= 0) {
        i += 3;
      }
    }
    if (v >= 0) {
      c = char16_t(v);
    } else {
      ++i;
    }
    if (c != 0) w[out++] = c;
  }
  return out;
}

}  // namespace

std::u16string read_literal_units(std::string_view literal) {
  std::u16string w = ansi_to_utf16(literal);
  WindowTurns turns;
  size_t n = read_script_escapes(w.data(), w.size(), turns);
  n = unescape_dropping_zeros(w.data(), n, w.size(), turns);
  w.resize(n);
  return w;
}

Text read_literal(std::string_view literal) {
  const std::u16string w = read_literal_units(literal);
  return utf16_to_ansi(w.data(), w.size());
}

}  // namespace cx
