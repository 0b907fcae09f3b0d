// Escape decoding on arbitrary answers. The decoding script is read back the
// way the engine gets it (GBK to UTF-16, then JScript's string reading): the
// answer must stay one literal that closes exactly at the fixed tail. The
// preparation does its steps as they read one by one, the helpers agree with
// plain readings of their rules, and decoding without a script engine gives
// back what the preparation hid. (The fallback's reading itself is fuzzed
// against a model in fuzz_escape_fallback.)
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "app/escape_decoding.h"
#include "app/escape_literal.h"
#include "app/escape_units.h"
#include "services/ascii.h"
#include "services/codepage.h"
#include "services/text.h"
#include "tests/fuzz/fuzz_support.h"

namespace cx::fuzz {
namespace {

const std::string_view kHead = "function xx(){var x='";
const std::string_view kTail = "';return unescape(x).replace(/\\x00/g,'');}";

// The converter's reading of GBK: a lead byte 0x81..0xFE with a trail byte
// 0x40..0xFE (not 0x7F) is one character; any other byte stands alone.
bool is_lead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool is_trail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Index of the first lead byte the converter would pair with a byte that is
// no trail byte (or with nothing), npos when there is none.
size_t stray_lead(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (!is_lead(byte_at(s, i))) {
      ++i;
    } else if (i + 1 < s.size() && is_trail(byte_at(s, i + 1))) {
      i += 2;
    } else {
      return i;
    }
  }
  return std::string_view::npos;
}

bool hex_unit(char16_t c) { return hex_digit_value(c) >= 0; }
bool line_end(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028 || c == 0x2029; }

// Reads the script as the engine would and fails unless the literal opened
// by the head closes exactly where the tail begins.
void check_script(std::string_view script) {
  CX_CHECK_MSG(script.size() >= kHead.size() + kTail.size() && script.substr(0, kHead.size()) == kHead &&
                   script.substr(script.size() - kTail.size()) == kTail,
               "head or tail changed: " + hex(script));
  // The only apostrophe before the tail is the one that opens the literal.
  size_t quotes = 0;
  for (char c : script) CX_CHECK_MSG(c != '\r' && c != '\n', "raw line break in " + hex(script));
  for (char c : script.substr(0, script.size() - kTail.size())) quotes += c == '\'';
  CX_CHECK_MSG(quotes == 1, "apostrophe byte inside the literal: " + hex(script));
  CX_CHECK_MSG(stray_lead(script) == std::string_view::npos, "lead byte without trail: " + hex(script));

  const std::u16string w = ansi_to_utf16(script);
  const std::u16string head_w = ansi_to_utf16(kHead), tail_w = ansi_to_utf16(kTail);
  size_t i = head_w.size();
  for (;;) {
    CX_CHECK_MSG(i < w.size(), "the literal never closes: " + hex(script));
    const char16_t c = w[i];
    if (c == u'\'') break;
    CX_CHECK_MSG(!line_end(c), "line break inside the literal: " + hex(script));
    if (c != u'\\') {
      ++i;
      continue;
    }
    CX_CHECK_MSG(i + 1 < w.size(), "backslash at the end: " + hex(script));
    const char16_t e = w[i + 1];
    CX_CHECK_MSG(!line_end(e), "escaped line break: " + hex(script));
    if (e == u'x' || e == u'u') {
      const size_t digits = e == u'x' ? 2 : 4;
      for (size_t k = 0; k < digits; ++k)
        CX_CHECK_MSG(i + 2 + k < w.size() && hex_unit(w[i + 2 + k]), "incomplete hexadecimal escape: " + hex(script));
      i += 2 + digits;
    } else {
      i += 2;  // the escaped unit, an apostrophe included, stays in the literal
    }
  }
  CX_CHECK_MSG(i == w.size() - tail_w.size(), "the literal closes early: " + hex(script));
}

// The preparation's steps one after the other, each a walk along the
// characters as the converter reads them (a lead byte with its trail byte
// is one character, 0x80 and 0xFF are single ones).
size_t converter_char(std::string_view s, size_t i) {
  return is_lead(byte_at(s, i)) && i + 1 < s.size() && is_trail(byte_at(s, i + 1)) ? 2 : 1;
}

std::string replace_all(std::string_view s, std::string_view sought, std::string_view by) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s.substr(i, sought.size()) == sought) {
      out += by;
      i += sought.size();
    } else {
      out += s.substr(i, converter_char(s, i));
      i += converter_char(s, i);
    }
  }
  return out;
}

std::string prepared_step_by_step(std::string_view answer) {
  std::string t;
  for (size_t i = 0; i < answer.size(); i += converter_char(answer, i))  // stray lead bytes as "?"
    t += stray_lead(answer.substr(i, 2)) == 0 ? std::string("?") : std::string(answer.substr(i, converter_char(answer, i)));
  t = replace_all(t, "\r\n", "{$}");
  if (!t.empty() && t[0] == '\r') t.erase(0, 1);
  t = replace_all(t, "\\u", "%u");
  return replace_all(t, "'", "\xA1\xAF");
}

uint64_t naive_hex(std::string_view s) {
  uint64_t v = 0;
  for (char c : s) {
    const int digit = hex_digit_value(c);
    if (digit < 0) break;
    v = v * 16 + uint64_t(digit);
  }
  return v;
}

// True when preparing the answer changes nothing that decoding has to undo
// by other means than the two stand-ins: then decoding must give it back.
bool round_trips(std::string_view s) {
  if (s.empty() || s[0] == '\r') return false;  // a leading lone CR is dropped
  if (stray_lead(s) != std::string_view::npos) return false;
  if (s.find_first_of("%\\") != std::string_view::npos) return false;
  if (s.find("{$}") != std::string_view::npos || s.find("\xA1\xAF") != std::string_view::npos) return false;
  return true;
}

}  // namespace
}  // namespace cx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cx;
  using namespace cx::fuzz;
  const std::string_view answer = up_to_zero(std::string_view(reinterpret_cast<const char*>(data), size));
  const Text input = Text::copy(answer);

  // The prepared answer: the steps one by one, and so no apostrophe byte,
  // no line break pair, no lead byte left without its trail byte.
  const Text prepared = prepare_escaped_answer(input);
  const std::string_view p = prepared.view();
  CX_CHECK_MSG(p == prepared_step_by_step(answer), "preparation of " + hex(answer) + " gave " + hex(p));
  CX_CHECK_MSG(p.find('\'') == std::string_view::npos, "apostrophe left in " + hex(p));
  CX_CHECK_MSG(stray_lead(p) == std::string_view::npos, "stray lead left in " + hex(p));
  check_script(build_decoding_script(prepared).view());
  // The script is built for any bytes, not only prepared ones.
  check_script(build_decoding_script(input).view());

  // The helpers.
  CX_CHECK(uint64_t(hex_to_integer(input)) == naive_hex(answer));
  {
    // The native converter's composition check is slow under coverage
    // tracing: a few hundred units say as much as thousands.
    const size_t n = size < 512 ? size : 512;
    const Bytes units = Bytes::copy(data, n);
    const size_t count = n / 2;
    std::u16string w;
    for (size_t k = 0; k < count; ++k) {
      char16_t u = char16_t(data[2 * k] | (data[2 * k + 1] << 8));
      if (u == 0) break;
      w.push_back(u);
    }
    std::string want;
    if (!w.empty()) {
      int n = wide_to_multibyte_936(0x200, w.data(), int(w.size()), nullptr, 0);
      want.assign(size_t(n), '\0');
      wide_to_multibyte_936(0x200, w.data(), int(w.size()), want.data(), n);
    }
    const Text got = utf16_bytes_to_text(units);
    CX_CHECK_MSG(got.view() == want, "UTF-16 units " + hex(std::string_view(reinterpret_cast<const char*>(data), n)));
  }

  // Without a script engine the whole decoding is the fallback's, with the
  // apostrophes and line breaks put back: an answer without anything to
  // decode comes back as it was.
  const Text whole = decode_escapes(input);
  if (round_trips(answer)) CX_CHECK_MSG(whole.view() == answer, "decoding changed " + hex(answer) + " to " + hex(whole.view()));
  return 0;
}
