// Pieces the escape-decoding tests share: texts to and from the program's
// form, readable dumps of bytes and units, the table of answers with the
// text each step makes of them, and random answers built from the bytes the
// decoding looks at.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "services/ascii.h"
#include "services/text.h"

namespace cx::escape_cases {

inline Text T(const std::string& s) { return Text::copy(s); }
inline std::string S(const Text& t) { return std::string(t.view()); }

inline std::string hex_dump(const std::string& s) {
  std::string out;
  for (unsigned char c : s) (out += hex_digit_char(c >> 4)) += hex_digit_char(c), out += ' ';
  return out;
}

// UTF-16 units as four hexadecimal digits each.
inline std::string units_dump(const std::u16string& w) {
  std::string s;
  char buf[8];
  for (char16_t u : w) {
    std::snprintf(buf, sizeof buf, "%04X ", unsigned(u));
    s += buf;
  }
  return s;
}

// An answer, the text its preparation gives (what the script's literal and
// the fallback read) and its decoded text, whichever reading decodes it.
struct Answer {
  const char* what;
  std::string answer, prepared, decoded;
};

inline void PrintTo(const Answer& a, std::ostream* os) { *os << a.what; }

inline const std::vector<Answer>& answers() {
  static const std::vector<Answer> all = {
      // Line breaks and apostrophes, hidden from the literal and given back.
      {"line breaks", "a\r\nb\r\n", "a{$}b{$}", "a\r\nb\r\n"},
      {"a leading lone CR is dropped, a later one stays", "\ra\rb", "a\rb", "a\rb"},
      {"a leading lone CR with line breaks", "\rab\r\ncd\r", "ab{$}cd\r", "ab\r\ncd\r"},
      {"CR before a line break at the start", "\r\r\nx", "{$}x", "\r\nx"},
      {"a lone line feed", "a\nb", "a\nb", "a\nb"},
      {"apostrophes", "it's 'x'", "it’s ’x’", "it's 'x'"},
      {"GBK text with apostrophes", "标题 'x'", "标题 ’x’", "标题 'x'"},
      {"apostrophe after a whole character", "中'", "中’", "中'"},
      {"a right quotation mark comes back as an apostrophe", "a’b", "a’b", "a'b"},
      {"the placeholder comes back as a line break", "a{$}b", "a{$}b", "a\r\nb"},
      // The single-byte euro sign and 0xFF hide nothing behind them.
      {"the euro sign before the stand-ins", "\x80’\x80{$}", "\x80’\x80{$}", "\x80'\x80\r\n"},
      {"apostrophe after the euro sign", "\x80'", "\x80’", "\x80'"},
      {"apostrophe after 0xFF", "\xff'", "\xff’", "\xff'"},
      {"line break after 0xFF", "\xff\r\n", "\xff{$}", "\xff\r\n"},
      {"backslash-u after the euro sign and 0xFF", "\x80\\u0041\xff\\u0042", "\x80%u0041\xff%u0042", "\x80" "A\xff" "B"},
      {"an escape after the euro sign", "\x80%41", "\x80%41", "\x80" "A"},
      // A lead byte without its trail byte is read as the converter reads it.
      {"apostrophe after a stray lead byte", "a\x81'b", "a?’b", "a?'b"},
      {"stray lead byte at the end", "ab\x81", "ab?", "ab?"},
      {"stray lead byte before a line break", "\x81\r\n", "?{$}", "?\r\n"},
      {"stray lead byte, apostrophe, line break", "\xfe'\r\n", "?’{$}", "?'\r\n"},
      {"pair with a backslash trail byte stays whole", "\x81\\u", "\x81\\u", "\x81\\u"},
      // The literal's escapes and unescape's.
      {"backslash-u escapes", "\\u4e2d\\u0027", "%u4e2d%u0027", "中'"},
      {"an escaped apostrophe between letters", "it\\u0027s", "it%u0027s", "it's"},
      {"Chinese escapes become GBK", "\\u4e2d\\u6587\\u6807\\u9898", "%u4e2d%u6587%u6807%u9898", "中文标题"},
      {"escaped quotes and slashes", "<a href=\\\"\\/watch?v=1\\\">", "<a href=\\\"\\/watch?v=1\\\">", "<a href=\"/watch?v=1\">"},
      {"markup escaped either way", "\\u003ca href=\\\"\\/watch?\\x76=1\\\"\\u003e\\'", "%u003ca href=\\\"\\/watch?\\x76=1\\\"%u003e\\’", "<a href=\"/watch?v=1\">'"},
      {"an escaped backslash before u", "\\\\u0041", "\\%u0041", "A"},
      {"a trailing backslash", "ab\\", "ab\\", "ab\\"},
      {"percent escapes", "%u4E2D%41", "%u4E2D%41", "中A"},
      {"lower-case digits", "%u4e2d", "%u4e2d", "中"},
      {"two-digit escapes", "%41%2f%22", "%41%2f%22", "A/\""},
      {"text between escapes", "a中%41b{$}", "a中%41b{$}", "a中Ab\r\n"},
      {"a percent before an escape", "%%41", "%%41", "%A"},
      {"percent at the end", "100%", "100%", "100%"},
      {"one digit only", "%4", "%4", "%4"},
      {"not hexadecimal", "%zz%u12G4", "%zz%u12G4", "%zz%u12G4"},
      {"percent-u with too few digits", "%u00", "%u00", "%u00"},
      {"a character outside GBK becomes a question mark", "%u00E9%u0E01", "%u00E9%u0E01", "é?"},
      // A zero character must not end the decoded page: it is dropped.
      {"a unicode escape of zero", "a\\u0000b cx-lockup-title", "a%u0000b cx-lockup-title", "ab cx-lockup-title"},
      {"percent escapes of zero", "a%00b%u0000c", "a%00b%u0000c", "abc"},
      {"script escapes of zero", "a\\x00b\\0c", "a\\x00b\\0c", "abc"},
      {"the empty answer", "", "", ""},
  };
  return all;
}

// Rows named by their place: the descriptions are prose.
inline std::string answer_index(const ::testing::TestParamInfo<Answer>& info) {
  return "answer" + std::to_string(info.index);
}

// Up to `most` pieces, each one of `pieces` or a single non-zero byte.
inline std::string random_answer(std::mt19937& rng, const std::vector<std::string>& pieces, int most) {
  std::uniform_int_distribution<int> len(0, most), pick(0, int(pieces.size()) - 1), byte(1, 255), coin(0, 1);
  std::string s;
  for (int n = len(rng); n > 0; --n) s += coin(rng) ? pieces[size_t(pick(rng))] : std::string(1, char(byte(rng)));
  return s;
}

}  // namespace cx::escape_cases
