// The fallback decoder against a model of the script engine, on answers made
// by the generator the engine's differential test uses. The model reads the
// literal rule by rule as the engine was measured to (tests/app/
// engine_readings.h): the fallback must give its text exactly. The same
// model read piece by piece, as the engine is given a long answer, must give
// the whole answer's units, with no surrogate pair parted at a piece's end.
#include <cstdio>
#include <string>

#include "app/escape_decoding.h"
#include "app/escape_literal.h"
#include "app/literal_reading.h"
#include "services/ascii.h"
#include "services/codepage.h"
#include "tests/app/escape_answers.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/provider_entry.h"

namespace cx::fuzz {
namespace {

// The value of n hexadecimal digits at w[at], or -1.
long hex_at(const std::u16string& w, size_t at, size_t n) { return hex_digits_value(w.data(), at, w.size(), n); }

// The script's string reading of the literal, as measured on the engine.
std::u16string string_reading(const std::u16string& w) {
  static const std::u16string kLetters = u"btnfr", kControls = u"\b\t\n\f\r";
  std::u16string x;
  size_t i = 0;
  while (i < w.size()) {
    if (w[i] != u'\\' || i + 1 == w.size()) {
      x += w[i++];
      continue;
    }
    const char16_t e = w[i + 1];
    if (kLetters.find(e) != std::u16string::npos) {
      x += kControls[kLetters.find(e)];
      i += 2;
    } else if (e == u'x' || e == u'u') {
      const size_t n = e == u'x' ? 2 : 4;
      const long v = hex_at(w, i + 2, n);
      x += v < 0 ? e : char16_t(v);
      i += v < 0 ? 2 : 2 + n;
    } else if (e >= u'0' && e <= u'9') {
      unsigned v = 0;
      size_t k = i + 1;
      for (int d = 0; d < 3 && k < w.size() && w[k] >= u'0' && w[k] <= u'9'; ++d, ++k) v = v * 8 + unsigned(w[k] - u'0');
      x += char16_t(v);
      i = k;
    } else {
      x += e;
      i += 2;
    }
  }
  return x;
}

// unescape, which reads its argument up to its first zero character, then
// the zero characters left out.
std::u16string unescaped(std::u16string x) {
  if (const size_t zero = x.find(u'\0'); zero != std::u16string::npos) x.resize(zero);
  std::u16string y;
  for (size_t i = 0; i < x.size();) {
    long v = -1;
    size_t n = 1;
    if (x[i] == u'%' && i + 1 < x.size() && x[i + 1] == u'u' && (v = hex_at(x, i + 2, 4)) >= 0) {
      n = 6;
    } else if (x[i] == u'%' && (v = hex_at(x, i + 1, 2)) >= 0) {
      n = 3;
    }
    const char16_t c = v >= 0 ? char16_t(v) : x[i];
    if (c != 0) y += c;
    i += n;
  }
  return y;
}

std::u16string model_units(const Text& prepared) {
  return unescaped(string_reading(ansi_to_utf16(script_literal(prepared).view())));
}

std::string units_hex(const std::u16string& w) {
  std::string s;
  char buf[8];
  for (size_t i = 0; i < w.size() && i < 48; ++i) {
    std::snprintf(buf, sizeof buf, "%04X ", unsigned(w[i]));
    s += buf;
  }
  return s;
}

bool high_half(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool low_half(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

}  // namespace

void fuzz_input(FuzzedDataProvider& in) {
  auto pick = [&](int n) { return n <= 1 ? 0 : in.ConsumeIntegralInRange<int>(0, n - 1); };
  const size_t piece_bytes = size_t(24 + pick(232));
  const std::string answer = escape_answers::answer(pick, piece_bytes);
  const Text prepared = prepare_escaped_answer(Text::copy(answer));

  // The fallback reads the whole answer as the model does.
  const std::u16string model = model_units(prepared);
  const std::u16string units = read_literal_units(script_literal(prepared).view());
  CX_CHECK_MSG(units == model, "units of " + hex(answer) + "\n  fallback " + units_hex(units) + "\n  model    " +
                                   units_hex(model));
  // Whole, and written and read in small parts (an escape of either level, a
  // surrogate pair across two of them).
  const Text wanted = utf16_to_ansi(model.data(), model.size());
  const Text fallback = percent_decode_fallback(prepared);
  CX_CHECK_MSG(fallback.view() == wanted.view(), "text of " + hex(answer) + " is " + hex(fallback.view()));
  const size_t part_bytes = size_t(1 + pick(64));
  const Text in_parts = percent_decode_fallback(prepared, part_bytes);
  CX_CHECK_MSG(in_parts.view() == wanted.view(), "text of " + hex(answer) + " in parts of " +
                                                    std::to_string(part_bytes) + " is " + hex(in_parts.view()));

  // Read piece by piece, the answer gives the same units, and no piece ends
  // between the halves of a surrogate pair.
  std::u16string joined;
  const std::string_view p = prepared.view();
  for (size_t from = 0, to; from < p.size(); from = to) {
    to = script_piece_end(p, from, piece_bytes);
    CX_CHECK(to > from);
    const std::u16string piece = model_units(Text::copy(p.substr(from, to - from)));
    CX_CHECK_MSG(joined.empty() || piece.empty() || !(high_half(joined.back()) && low_half(piece.front())),
                 "a piece ends inside a surrogate pair at " + std::to_string(to) + " of " + hex(p.substr(from), 200));
    joined += piece;
  }
  CX_CHECK_MSG(joined == model, "pieces of " + hex(p, 400) + "\n  joined " + units_hex(joined) + "\n  whole  " +
                                    units_hex(model));
}

}  // namespace cx::fuzz
