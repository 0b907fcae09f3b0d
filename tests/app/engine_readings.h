// What the script engine makes of a decoding script's literal, measured on
// the engine (Wine's JScript through the Script Control, 32-bit and 64-bit
// alike): every escape form the engine knows, the malformed ones, unescape's
// forms, surrogates and the conversion back to the code page. The engine's
// own tests check each row against the engine; the fallback's tests check
// that the fallback reads each row the same.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cx::engine_readings {

// One prepared answer (the text that goes between the script's quotes) and
// what the engine makes of it.
struct Reading {
  const char* what;
  std::string literal;
  // Whether the engine refuses the script with this text raw in its literal.
  bool refused;
  // Not refused: the units of unescape(x) with the zero characters left
  // out, x being the literal as the engine reads it raw.
  std::u16string units;
  // What the decoding route gives for it (the literal as the script builder
  // writes it, then the engine, then the conversion to the code page).
  std::string decoded;
};

inline void PrintTo(const Reading& r, std::ostream* os) { *os << r.what; }

inline const std::vector<Reading>& readings() {
  static const std::vector<Reading> all = {
      // The literal's escapes.
      {"control escapes", "\\b\\t\\n\\f\\r", false, u"\b\t\n\f\r", "\b\t\n\f\r"},
      {"\\v is the letter v", "\\v", false, u"v", "v"},
      {"escaped quotes, backslash and slash", "\\\"\\'\\\\\\/", false, u"\"'\\/", "\"\xA1\xAF\\/"},
      {"hexadecimal escapes, either case", "\\x41\\x4a\\x4A", false, u"AJJ", "AJJ"},
      {"unicode escapes, either case", "\\u0041\\u4e2d\\u4E2D", false, u"A中中", "A中中"},
      {"an escaped letter is the letter", "\\a\\c\\e\\z\\X41\\U0041", false, u"acezX41U0041", "acezX41U0041"},
      {"an escaped blank", "\\ ", false, u" ", " "},
      // Octal escapes: up to three decimal digits, each taken in base 8.
      {"octal escapes", "\\101\\7\\01\\47", false, u"A\x07\x01'", "A\x07\x01'"},
      {"\\8 and \\9 are units 8 and 9", "\\8\\9", false, u"\x08\x09", "\x08\x09"},
      {"an 8 or 9 after the first digit counts in base 8", "\\18\\38", false, u"\x10 ", "\x10 "},
      {"\\377 and beyond", "\\377\\400\\777\\477", false, u"\u00FF\u0100\u01FF\u013F", "?\xA8\xA1??"},
      {"three digits at most", "\\1234", false, u"S4", "S4"},
      // unescape ends at a zero character of the literal: the builder drops such escapes.
      {"octal zeros", "a\\0b\\00c\\000d\\0000e", false, u"a", "abcd0e"},
      // The builder drops "\0" before a digit 8: the engine would read \08 as unit 8.
      {"\\08", "\\08", false, u"\x08", "8"},
      // Escaped and raw characters beyond ASCII.
      {"an escaped double-byte character", "\\中", false, u"中", "中"},
      {"the euro sign and 0xFF, escaped and raw", "\\\x80\\\xFF\x80\xFF", false, u"\u20AC\uF8F5\u20AC\uF8F5",
       "\x80\xFF\x80\xFF"},
      // Raw line breaks: the engine takes them inside a literal, the builder escapes them.
      {"raw line breaks", "a\nb\rc", false, u"a\nb\rc", "a\nb\rc"},
      {"a backslash before a CR", "a\\\rb", false, u"a\rb", "a\\\rb"},
      // Two levels: an escape of the literal gives the "%" of unescape's.
      {"\\x25 opens a percent escape", "\\x25u0041\\x2541", false, u"AA", "AA"},
      {"octal 45 opens a percent escape", "\\45u0041\\04541", false, u"AA", "AA"},
      {"\\% opens a percent escape", "\\%u0041\\%41", false, u"AA", "AA"},
      {"\\u0025 opens a percent escape", "\\u0025u0041", false, u"A", "A"},
      // unescape.
      {"percent escapes", "%41%e9%u4e2d%u00E9", false, u"Aé中é", "A\xA8\xA6中\xA8\xA6"},
      {"percents that open no escape", "%|%4|%4g|%u004|%U0041|%u|%uzzzz|%u12g4", false,
       u"%|%4|%4g|%u004|%U0041|%u|%uzzzz|%u12g4", "%|%4|%4g|%u004|%U0041|%u|%uzzzz|%u12g4"},
      {"a percent before an escape", "%%41", false, u"%A", "%A"},
      {"zero characters of either level", "a\\x00b\\u0000c%00d%u0000e", false, u"a", "abcde"},
      {"zero characters of unescape are dropped", "a%00b%u0000c", false, u"abc", "abc"},
      // Surrogates: each half alone is a "?", and so is each half of a pair.
      {"a surrogate pair", "%uD83D%uDE00", false, u"\xD83D\xDE00", "??"},
      {"a surrogate pair of the literal", "\\uD83D\\uDE00", false, u"\xD83D\xDE00", "??"},
      {"halves reversed", "%uDE00%uD83D", false, u"\xDE00\xD83D", "??"},
      {"a half alone", "a%uD83Db", false, u"a\xD83D" u"b", "a?b"},
      {"a pair with a zero between its halves", "%uD83D%00%uDE00", false, u"\xD83D\xDE00", "??"},
      // The conversion back: what the code page lacks, its near matches and private use.
      {"characters the code page lacks", "\\u0e01e\\u0301\\u30fb\\uffff", false, u"\u0E01e\u0301\u30FB\uFFFF", "?e???"},
      {"near matches", "\\u00c0\\u00aa\\u00b2", false, u"\u00C0\u00AA\u00B2", "\xA8\xA4" "a2"},
      {"private use", "\\ue000\\uf8f5", false, u"\uE000\uF8F5", "\xAA\xA1\xFF"},
      // Forms the engine refuses: the builder writes them the lenient way.
      {"incomplete hexadecimal escapes", "\\x4g|\\x4|\\xg1|\\x4G", true, u"", "x4g|x4|xg1|x4G"},
      {"incomplete unicode escapes", "\\u12|\\u12g4|\\u004G", true, u"", "u12|u12g4|u004G"},
      {"\\x at the end", "a\\x", true, u"", "ax"},
      {"\\u at the end", "a\\u", true, u"", "au"},
      {"a backslash at the end", "a\\", true, u"", "a\\"},
  };
  return all;
}

}  // namespace cx::engine_readings
