// Continuation answers made up from every form the decoding meets: the
// literal's escapes (well-formed and malformed), unescape's, escapes of one
// level opening those of the other, surrogate halves and pairs, zero
// characters, GBK pairs (with ASCII trail bytes too), stray lead bytes, 0x80
// and 0xFF, "’", "{$}", apostrophes, line breaks, plain runs short and long.
// A long answer is given to the engine in pieces: the forms that could be
// cut are put where a piece ends. The same generator drives the engine's
// differential test under Wine and the fallback's fuzzer, from any source of
// choices: `pick(n)` gives a number from 0 to n - 1.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/escape_literal.h"

namespace cx::escape_answers {

template <class Pick>
std::string hex_digits(Pick& pick, int count) {
  static const char kDigits[] = "0123456789abcdefABCDEF";
  std::string s;
  for (int i = 0; i < count; ++i) s += kDigits[pick(22)];
  return s;
}

// A UTF-16 unit as four hexadecimal digits, in either case.
template <class Pick>
std::string unit_digits(Pick& pick, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, pick(2) ? "%04x" : "%04X", unit & 0xFFFF);
  return buf;
}

// Units worth naming: ASCII (the markup's), Chinese, letters the code page
// holds, near matches, private use, characters it lacks, the euro sign,
// surrogate halves, zero and anything at all.
template <class Pick>
unsigned some_unit(Pick& pick) {
  static const unsigned kUnits[] = {0x3C, 0x3E, 0x22, 0x27, 0x25, 0x5C, 0x2F, 0x75, 0x41, 0x0A, 0x0D, 0x4E2D,
                                    0x6587, 0x89C6, 0xE9, 0x101, 0xC0, 0xAA, 0xB2, 0xE000, 0xF8F5, 0x20AC,
                                    0x0E01, 0x301, 0x30FB, 0xFFFF, 0xD83D, 0xDE00, 0x0, 0x3000, 0xFF01};
  return pick(4) ? kUnits[pick(sizeof kUnits / sizeof kUnits[0])] : unsigned(pick(0x10000));
}

// A character that stands for itself in the literal: plain ASCII (hex
// digits and the letters u and x included, to tempt the escapes before them).
template <class Pick>
char plain_char(Pick& pick) {
  static const char kPlain[] = "0123456789abcdefABCDEFuxUXghz <>=\"/.-_:;?&#!|{}$";
  return kPlain[pick(sizeof kPlain - 1)];
}

template <class Pick>
std::string plain_run(Pick& pick, size_t length) {
  std::string s;
  for (size_t i = 0; i < length; ++i) s += plain_char(pick);
  return s;
}

// A GBK pair: any lead byte with any trail byte, an ASCII one (the
// backslash, "u", "@") often.
template <class Pick>
std::string gbk_pair(Pick& pick) {
  static const char kTrails[] = "\\u@x{\x7E\x80\xA1\xAF\xFE";
  const char lead = char(0x81 + pick(0x7E));
  char trail;
  if (pick(2)) {
    trail = kTrails[pick(sizeof kTrails - 1)];
  } else {
    do trail = char(0x40 + pick(0xBF)); while (uint8_t(trail) == 0x7F);
  }
  return std::string{lead, trail};
}

// A lead byte without its trail byte: before an ASCII byte that is none
// (an apostrophe, a backslash's neighbours, a line break) or 0x7F or 0xFF.
template <class Pick>
std::string stray_lead(Pick& pick) {
  static const char kNotTrails[] = "'\r\n0%\x7F\xFF \"";
  return std::string{char(0x81 + pick(0x7E)), kNotTrails[pick(sizeof kNotTrails - 1)]};
}

// An escape of the zero character, of either level.
template <class Pick>
std::string zero_escape(Pick& pick) {
  static const char* const kZeros[] = {"\\0", "\\00", "\\000", "\\x00", "\\u0000", "%00", "%u0000", "\\08"};
  return kZeros[pick(8)];
}

// A "%" made by an escape of the literal, for unescape to read on.
template <class Pick>
std::string percent_by_escape(Pick& pick) {
  static const char* const kPercents[] = {"\\x25", "\\45", "\\045", "\\%", "\\u0025"};
  return kPercents[pick(5)];
}

// One form of the answer.
template <class Pick>
std::string form(Pick& pick) {
  switch (pick(24)) {
    case 0: {  // the literal's character escapes
      static const char* const kSimple[] = {"\\b", "\\t", "\\n", "\\v", "\\f", "\\r", "\\\"", "\\'",
                                            "\\\\", "\\/", "\\a", "\\z", "\\ ", "\\X41", "\\U0041", "\\%"};
      return kSimple[pick(16)];
    }
    case 1: return "\\x" + hex_digits(pick, 2);
    case 2: return "\\u" + unit_digits(pick, some_unit(pick));
    case 3: {  // octal, any decimal digits
      std::string s = "\\";
      for (int n = 1 + pick(3); n > 0; --n) s += char('0' + pick(10));
      return s;
    }
    case 4: {  // an escaped character beyond ASCII
      const int k = pick(4);
      return "\\" + (k == 0 ? std::string("\x80") : k == 1 ? std::string("\xFF") : gbk_pair(pick));
    }
    case 5: return "%" + hex_digits(pick, 2);
    case 6: return "%u" + unit_digits(pick, some_unit(pick));
    case 7: {  // malformed escapes of the literal
      static const char* const kBad[] = {"\\x4g", "\\x4", "\\xg1", "\\x", "\\u12", "\\u12g4", "\\u004G", "\\u",
                                         "\\", "\\\r", "\\\n", "\\\r\n"};
      return kBad[pick(12)];
    }
    case 8: {  // percents that open nothing
      static const char* const kBad[] = {"%", "%4", "%4g", "%u", "%u004", "%U0041", "%uzzzz", "%u12g4", "%%"};
      return kBad[pick(9)];
    }
    case 9: {  // surrogates: pairs, halves alone, reversed, zeros between
      const std::string hi = unit_digits(pick, 0xD800 + unsigned(pick(0x400)));
      const std::string lo = unit_digits(pick, 0xDC00 + unsigned(pick(0x400)));
      const std::string lead = pick(2) ? "%u" : "\\u", trail = pick(2) ? "%u" : "\\u";
      switch (pick(4)) {
        case 0: return lead + hi + trail + lo;
        case 1: return lead + (pick(2) ? hi : lo);
        case 2: return lead + lo + trail + hi;
        default: return lead + hi + zero_escape(pick) + zero_escape(pick) + trail + lo;
      }
    }
    case 10: return zero_escape(pick);
    case 11: return percent_by_escape(pick) + (pick(2) ? "u" + unit_digits(pick, some_unit(pick)) : hex_digits(pick, 2));
    case 12: return gbk_pair(pick);
    case 13: return stray_lead(pick);
    case 14: return pick(2) ? "\x80" : "\xFF";
    case 15: return "\xA1\xAF";  // "’"
    case 16: return "{$}";
    case 17: return "'";
    case 18: {
      static const char* const kBreaks[] = {"\r\n", "\r", "\n", "\r\r\n"};
      return kBreaks[pick(4)];
    }
    case 19: return "中文";
    case 20: return plain_run(pick, size_t(1 + pick(12)));
    case 21: return plain_run(pick, size_t(1 + pick(400)));
    case 22: return "\\\\u" + unit_digits(pick, some_unit(pick));  // an escaped backslash before u
    default: return std::string(1, plain_char(pick));
  }
}

// A form that ends in plain characters which a piece's end must not take
// for a run of its own: escapes of both levels whose digits and letters are
// plain, surrogate pairs whose halves a cut would part, after the characters
// a walk could misread (0x80, 0xFF, a pair with an ASCII trail byte).
template <class Pick>
std::string piece_end_hazard(Pick& pick) {
  std::string before;
  switch (pick(5)) {
    case 0: before = "\x80"; break;
    case 1: before = "\xFF"; break;
    case 2: before = gbk_pair(pick); break;
    case 3: before = stray_lead(pick); break;
    default: break;
  }
  switch (pick(6)) {
    case 0: return before + "\\u0025u" + unit_digits(pick, some_unit(pick));
    case 1: return before + percent_by_escape(pick) + "u" + unit_digits(pick, some_unit(pick));
    case 2: return before + percent_by_escape(pick) + hex_digits(pick, 2);
    case 3: {
      const std::string hi = unit_digits(pick, 0xD800 + unsigned(pick(0x400)));
      const std::string lo = unit_digits(pick, 0xDC00 + unsigned(pick(0x400)));
      return before + (pick(2) ? "%u" : "\\u") + hi + (pick(2) ? zero_escape(pick) : "") + (pick(2) ? "%u" : "\\u") + lo;
    }
    case 4: return before + "\\x" + hex_digits(pick, 2) + hex_digits(pick, 4);
    default: return before + form(pick);
  }
}

// Forms without a run of plain characters long enough to end a piece.
template <class Pick>
std::string dense(Pick& pick, size_t length) {
  std::string s;
  while (s.size() < length) {
    std::string f = form(pick);
    if (f.size() > 12 && f.find_first_of("%\\\x80\xFF") == std::string::npos) continue;  // a long plain run
    s += f;
  }
  return s;
}

// An answer of one to five pieces of `piece_bytes` (as the preparation
// leaves it), with one of the forms above where each piece ends: its first
// byte from a few bytes before the end's earliest place to just behind it.
template <class Pick>
std::string answer(Pick& pick, size_t piece_bytes) {
  const int pieces = 1 + pick(5);
  std::string s;
  if (pick(8) == 0) s += "\r";  // a lone CR first is dropped
  if (pieces == 1) {
    const size_t length = size_t(pick(int(piece_bytes)));
    while (s.size() < length) s += pick(4) ? form(pick) : piece_end_hazard(pick);
    return s;
  }
  size_t from = 0;  // where the current piece starts in the prepared answer
  for (int p = 1; p < pieces; ++p) {
    const size_t at = from + piece_bytes - 16 + size_t(pick(20));
    for (;;) {
      const size_t prepared = size_t(prepare_escaped_answer(Text::copy(s)).length());
      if (prepared + 24 >= at) {
        if (prepared < at) s += plain_run(pick, at - prepared);  // exactly there
        break;
      }
      s += dense(pick, std::max<size_t>((at - prepared - 24) / 2, 1));
    }
    s += piece_end_hazard(pick);
    s += plain_run(pick, size_t(pick(16)));
    const Text prepared = prepare_escaped_answer(Text::copy(s + plain_run(pick, 24)));
    from = script_piece_end(prepared.view(), from, piece_bytes);
  }
  const size_t tail = size_t(pick(int(piece_bytes)));
  for (size_t end = s.size() + tail; s.size() < end;) s += form(pick);
  return s;
}

}  // namespace cx::escape_answers
